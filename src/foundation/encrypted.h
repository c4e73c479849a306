#pragma once
// The encrypted form (.enc) of the program's reference data files: a secret
// stream header followed by authenticated chunks of at most 4096 plaintext
// bytes, the last one tagged FINAL. The program only reads these files; the
// plaintext lives in guarded memory that is wiped when it is released.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <system_error>

// Layout of the files.
inline constexpr std::size_t kEncHeaderBytes = 24;        // secret-stream header
inline constexpr std::size_t kEncChunkPlainBytes = 4096;  // plaintext per chunk
inline constexpr std::size_t kEncChunkOverhead = 17;      // tag and authenticator
inline constexpr std::size_t kEncChunkBytes = kEncChunkPlainBytes + kEncChunkOverhead;
inline constexpr std::size_t kEncKeyBytes = 32;
inline constexpr std::uintmax_t kEncMinimumFileBytes = kEncHeaderBytes + kEncChunkOverhead;

// Plaintext limits the data-file readers pass.
inline constexpr std::uint64_t kRegcodesEncLimit = 8388608;
inline constexpr std::uint64_t kArchivesEncLimit = 4194304;
inline constexpr std::uint64_t kAirportsEncLimit = 8388608;
inline constexpr std::uint64_t kDbaseEncLimit = 16777216;
inline constexpr std::uint64_t kWktrafficEncLimit = 1048576;
inline constexpr std::uint64_t kAirportFileEncLimit = 67108864;

// The most plaintext a file of the given size can hold.
std::uint64_t gf_encryptedPlaintextBound(std::uintmax_t fileSize);

// Plaintext in guarded memory. Owns its memory; moving hands it on and leaves
// the source empty. The destructor releases it.
class SecureBuffer {
public:
    SecureBuffer() = default;
    // Allocates capacity bytes (at least one) of guarded memory; throws
    // std::bad_alloc when that fails.
    explicit SecureBuffer(std::size_t capacity);
    ~SecureBuffer() { release(); }
    SecureBuffer(SecureBuffer&& other) noexcept;
    SecureBuffer& operator=(SecureBuffer&& other) noexcept;
    SecureBuffer(const SecureBuffer&) = delete;
    SecureBuffer& operator=(const SecureBuffer&) = delete;

    // Wipes and frees the memory; all sizes become 0. An empty buffer stays as
    // it is.
    void release() noexcept;

    unsigned char* data() { return data_; }
    const unsigned char* data() const { return data_; }
    std::size_t size() const { return used_; }
    std::size_t capacity() const { return capacity_; }
    std::size_t allocatedSize() const { return allocated_; }
    bool empty() const { return data_ == nullptr; }
    void setSize(std::size_t used) { used_ = used; }

private:
    unsigned char* data_ = nullptr;
    std::size_t used_ = 0;
    std::size_t capacity_ = 0;
    std::size_t allocated_ = 0;
};

// Either the plaintext (ok) or the error text.
struct DecryptResult {
    bool ok = false;
    SecureBuffer buffer;
    std::string error;
};

// Reads, authenticates and decrypts one encrypted data file whose plaintext
// may be at most limit bytes. Never throws; every failure is an error text.
DecryptResult gf_readEncryptedFile(const std::filesystem::path& path, std::uint64_t limit);

// The same with a key of the caller's (tests of foreign keys).
DecryptResult gf_readEncryptedFileWithKey(const std::filesystem::path& path, std::uint64_t limit,
                                          const unsigned char (&key)[kEncKeyBytes]);

// Builds the data-file key into out; the caller wipes it (sodium_memzero)
// after use. Used by the reader and by the tools that make .enc files.
void gf_buildDataFileKey(unsigned char (&out)[kEncKeyBytes]);

// Makes sure libsodium is initialised (once, thread-safe); throws
// std::runtime_error when it cannot be.
void gf_ensureSodium();

// Tests replace the file-size query (to reach the failures that a file which
// changes between the size check and the read would cause); nullptr restores
// std::filesystem::file_size.
using EncryptedFileSizeQuery = std::uintmax_t (*)(const std::filesystem::path&, std::error_code&);
void gf_setEncryptedFileSizeQuery(EncryptedFileSizeQuery query);
