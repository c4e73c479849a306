#include "foundation/encrypted.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <new>
#include <stdexcept>
#include <utility>

#include <fmt/format.h>
#include <sodium.h>

#include "foundation/text.h"

static_assert(kEncHeaderBytes == crypto_secretstream_xchacha20poly1305_HEADERBYTES);
static_assert(kEncChunkOverhead == crypto_secretstream_xchacha20poly1305_ABYTES);
static_assert(kEncKeyBytes == crypto_secretstream_xchacha20poly1305_KEYBYTES);

namespace {

// The key is never stored as such: it is the byte-wise exclusive or of these
// two tables, built at every read and wiped afterwards.
constexpr unsigned char lf_keyTableA[kEncKeyBytes] = {
    0xf5, 0x22, 0xb0, 0xf9, 0xd1, 0x55, 0x41, 0x0d, 0x8b, 0xb0, 0xb8, 0xad, 0x15, 0x23, 0xef, 0x8f,
    0xce, 0xfd, 0x1b, 0xee, 0xa4, 0x55, 0xfc, 0x3f, 0xd2, 0x78, 0x1c, 0x39, 0xe7, 0xf4, 0xbc, 0x16};
constexpr unsigned char lf_keyTableB[kEncKeyBytes] = {
    0xfe, 0x19, 0xc0, 0x40, 0xa6, 0x42, 0x33, 0xfa, 0x62, 0x5f, 0x0f, 0x25, 0xaa, 0x55, 0x05, 0x24,
    0x3f, 0x29, 0x57, 0x9f, 0x91, 0xea, 0x72, 0xcf, 0x45, 0xad, 0x41, 0xa8, 0xb3, 0xc2, 0xbb, 0x51};

std::atomic<EncryptedFileSizeQuery> l_sizeQuery{nullptr};

std::uintmax_t lf_fileSize(const std::filesystem::path& path, std::error_code& ec) {
    if (const EncryptedFileSizeQuery query = l_sizeQuery.load()) {
        return query(path, ec);
    }
    return std::filesystem::file_size(path, ec);
}

struct FileCloser {
    void operator()(std::FILE* f) const { std::fclose(f); }
};

// Wipes the stream state on every way out of the decryption.
struct StateWiper {
    crypto_secretstream_xchacha20poly1305_state* state;
    ~StateWiper() { sodium_memzero(state, sizeof(*state)); }
};

SecureBuffer lf_decryptFile(const unsigned char (&key)[kEncKeyBytes], const std::filesystem::path& path,
                            std::uint64_t limit) {
    const std::string name = gf_pathToUtf8(path);
    std::error_code ec;
    const std::uintmax_t size = lf_fileSize(path, ec);
    if (ec) {
        throw std::runtime_error(
            fmt::format("Could not determine encrypted file size for {}: {}", name, ec.message()));
    }
    if (size < kEncMinimumFileBytes) {
        throw std::runtime_error(fmt::format("Encrypted file is too small: {}", name));
    }
    const std::uint64_t bound = gf_encryptedPlaintextBound(size);
    if (bound > limit) {
        throw std::runtime_error(
            fmt::format("Encrypted file exceeds the plaintext size limit of {} bytes: {}", limit, name));
    }
    std::unique_ptr<std::FILE, FileCloser> file(std::fopen(path.c_str(), "rb"));
    if (!file) {
        throw std::runtime_error(fmt::format("Could not open input file: {}", name));
    }
    unsigned char header[kEncHeaderBytes];
    if (std::fread(header, 1, sizeof header, file.get()) != sizeof header) {
        throw std::runtime_error(fmt::format("Encrypted file has an incomplete header: {}", name));
    }
    crypto_secretstream_xchacha20poly1305_state state;
    StateWiper wiper{&state};
    if (crypto_secretstream_xchacha20poly1305_init_pull(&state, header, key) != 0) {
        throw std::runtime_error(fmt::format("Invalid encryption header or key: {}", name));
    }
    SecureBuffer buffer(static_cast<std::size_t>(bound));
    auto chunk = std::make_unique<unsigned char[]>(kEncChunkBytes);
    unsigned char tag = 0;
    do {
        const std::size_t got = std::fread(chunk.get(), 1, kEncChunkBytes, file.get());
        if (std::ferror(file.get())) {
            throw std::runtime_error(fmt::format("Error while reading encrypted file: {}", name));
        }
        if (got == 0) {
            throw std::runtime_error(fmt::format("Encrypted file ended without a final block: {}", name));
        }
        if (got < kEncChunkOverhead) {
            throw std::runtime_error(fmt::format("Encrypted file contains an incomplete block: {}", name));
        }
        if (buffer.size() + (got - kEncChunkOverhead) > buffer.capacity()) {
            throw std::runtime_error(fmt::format("Decrypted data exceeds its validated size: {}", name));
        }
        unsigned long long produced = 0;
        if (crypto_secretstream_xchacha20poly1305_pull(&state, buffer.data() + buffer.size(), &produced, &tag,
                                                       chunk.get(), got, nullptr, 0) != 0) {
            throw std::runtime_error(fmt::format("Decryption failed for: {}", name));
        }
        buffer.setSize(buffer.size() + static_cast<std::size_t>(produced));
    } while (tag != crypto_secretstream_xchacha20poly1305_TAG_FINAL);

    const int next = std::fgetc(file.get());
    if (next == EOF && std::ferror(file.get())) {
        throw std::runtime_error(fmt::format("Error while checking the end of encrypted file: {}", name));
    }
    if (next != EOF) {
        throw std::runtime_error(fmt::format("Encrypted file contains data after the final block: {}", name));
    }
    return buffer;
}

DecryptResult lf_read(const unsigned char (&key)[kEncKeyBytes], const std::filesystem::path& path,
                      std::uint64_t limit) {
    DecryptResult result;
    try {
        gf_ensureSodium();
        result.buffer = lf_decryptFile(key, path, limit);
        result.ok = true;
    } catch (const std::exception& e) {
        result.buffer.release();
        result.error = e.what();
    }
    return result;
}

}  // namespace

std::uint64_t gf_encryptedPlaintextBound(std::uintmax_t fileSize) {
    if (fileSize <= kEncHeaderBytes) {
        return 0;
    }
    const std::uint64_t body = fileSize - kEncHeaderBytes;
    const std::uint64_t chunks = (body + kEncChunkBytes - 1) / kEncChunkBytes;
    const std::uint64_t overhead = kEncChunkOverhead * chunks;
    return body > overhead ? body - overhead : 0;
}

void gf_ensureSodium() {
    // A function-local static: initialised exactly once even when several
    // threads arrive at the same time. Without sodium_init the guarded
    // allocation of libsodium aborts the process.
    static const int rc = sodium_init();
    if (rc < 0) {
        throw std::runtime_error("libsodium could not be initialised");
    }
}

SecureBuffer::SecureBuffer(std::size_t capacity) {
    gf_ensureSodium();
    const std::size_t allocated = capacity == 0 ? 1 : capacity;
    void* memory = sodium_malloc(allocated);
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    data_ = static_cast<unsigned char*>(memory);
    capacity_ = capacity;
    allocated_ = allocated;
}

SecureBuffer::SecureBuffer(SecureBuffer&& other) noexcept
    : data_(std::exchange(other.data_, nullptr)),
      used_(std::exchange(other.used_, 0)),
      capacity_(std::exchange(other.capacity_, 0)),
      allocated_(std::exchange(other.allocated_, 0)) {}

SecureBuffer& SecureBuffer::operator=(SecureBuffer&& other) noexcept {
    if (this != &other) {
        release();
        data_ = std::exchange(other.data_, nullptr);
        used_ = std::exchange(other.used_, 0);
        capacity_ = std::exchange(other.capacity_, 0);
        allocated_ = std::exchange(other.allocated_, 0);
    }
    return *this;
}

void SecureBuffer::release() noexcept {
    if (data_ == nullptr) {
        return;
    }
    sodium_memzero(data_, allocated_);
    sodium_free(data_);
    data_ = nullptr;
    used_ = 0;
    capacity_ = 0;
    allocated_ = 0;
}

void gf_buildDataFileKey(unsigned char (&out)[kEncKeyBytes]) {
    std::memset(out, 0, kEncKeyBytes);
    for (std::size_t i = 0; i < kEncKeyBytes; ++i) {
        out[i] ^= lf_keyTableA[i];
    }
    for (std::size_t i = 0; i < kEncKeyBytes; ++i) {
        out[i] ^= lf_keyTableB[i];
    }
}

DecryptResult gf_readEncryptedFile(const std::filesystem::path& path, std::uint64_t limit) {
    unsigned char key[kEncKeyBytes];
    gf_buildDataFileKey(key);
    DecryptResult result = lf_read(key, path, limit);
    sodium_memzero(key, sizeof key);
    return result;
}

DecryptResult gf_readEncryptedFileWithKey(const std::filesystem::path& path, std::uint64_t limit,
                                          const unsigned char (&key)[kEncKeyBytes]) {
    return lf_read(key, path, limit);
}

void gf_setEncryptedFileSizeQuery(EncryptedFileSizeQuery query) { l_sizeQuery.store(query); }
