#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <sodium.h>
#include <sys/wait.h>
#include <unistd.h>

#include "foundation/encrypted.h"
#include "support/enc_writer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<unsigned char>;
using tavo::test::EncWriterOptions;
using tavo::test::makeEncryptedBytes;
using tavo::test::patternText;

constexpr std::uint64_t kLimit = 16 * 1024 * 1024;
constexpr std::size_t kHeader = 24;
constexpr std::size_t kChunk = 4096 + 17;  // plaintext and its tag and MAC

std::string text(const SecureBuffer& b) { return std::string(reinterpret_cast<const char*>(b.data()), b.size()); }

// A size query that claims 100 bytes whatever the file: simulates a file that
// vanished or shrank after its size was taken.
std::uintmax_t reportHundredBytes(const fs::path&, std::error_code& ec) {
    ec.clear();
    return 100;
}

class EncryptedFileTest : public ::testing::Test {
protected:
    void TearDown() override { gf_setEncryptedFileSizeQuery(nullptr); }

    fs::path write(const Bytes& bytes) {
        tavo::test::writeBytes(path_, bytes);
        return path_;
    }
    // Reads the bytes and expects failure with exactly "<prefix><path>".
    void expectError(const Bytes& bytes, const std::string& prefix, std::uint64_t limit = kLimit) {
        const DecryptResult r = gf_readEncryptedFile(write(bytes), limit);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.buffer.empty());
        EXPECT_EQ(r.error, prefix + path_.string());
    }
    static Bytes cut(const Bytes& bytes, std::size_t n) { return {bytes.begin(), bytes.begin() + n}; }
    static Bytes plus(Bytes bytes, std::size_t n, unsigned char value = 0) {
        bytes.insert(bytes.end(), n, value);
        return bytes;
    }

    tavo::test::ScopedTempDir dir_;
    const fs::path path_ = dir_.path() / "data.enc";
};

TEST_F(EncryptedFileTest, PlaintextsRoundTripExactly) {
    EncWriterOptions emptyFinal;  // a multiple of the chunk size, then an empty FINAL chunk
    emptyFinal.emptyFinalChunk = true;
    const std::pair<std::size_t, bool> cases[] = {{0, false},    {1, false},    {4096, false},    {5000, false},
                                                  {8192, false}, {100000, false}, {4096, true}, {3 * 4096, true}};
    for (const auto& [n, trailer] : cases) {
        const std::string plain = patternText(n, static_cast<std::uint32_t>(n));
        const fs::path p = write(makeEncryptedBytes(plain, trailer ? emptyFinal : EncWriterOptions{}));
        const DecryptResult r = gf_readEncryptedFile(p, kLimit);
        ASSERT_TRUE(r.ok) << n << ": " << r.error;
        EXPECT_EQ(text(r.buffer), plain) << n << " bytes, empty final chunk " << trailer;
        EXPECT_EQ(r.buffer.capacity(), gf_encryptedPlaintextBound(fs::file_size(p)));
    }
}

TEST_F(EncryptedFileTest, WriterRefusesAnEmptyFinalChunkAfterAShortChunk) {
    EncWriterOptions emptyFinal;
    emptyFinal.emptyFinalChunk = true;
    for (const std::size_t n : {1u, 4095u, 5000u, 8191u})
        EXPECT_THROW(makeEncryptedBytes(patternText(n), emptyFinal), std::invalid_argument) << n;
}

TEST_F(EncryptedFileTest, BufferOwnsItsMemoryUntilReleasedOrMoved) {
    DecryptResult r = gf_readEncryptedFile(write(makeEncryptedBytes("")), kLimit);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(fs::file_size(path_), 41u);
    EXPECT_EQ(r.buffer.allocatedSize(), 1u);  // no plaintext, still one guarded byte
    r.buffer.release();
    r.buffer.release();  // a second release leaves the empty buffer alone
    EXPECT_TRUE(r.buffer.empty());

    r = gf_readEncryptedFile(write(makeEncryptedBytes("hello")), kLimit);
    ASSERT_TRUE(r.ok);
    const unsigned char* data = r.buffer.data();
    SecureBuffer other(10);
    other = std::move(r.buffer);
    EXPECT_TRUE(r.buffer.empty());
    EXPECT_EQ(other.data(), data);
    EXPECT_EQ(text(other), "hello");
}

TEST_F(EncryptedFileTest, EveryMessageInItsOrder) {
    // The size query fails.
    const DecryptResult missing = gf_readEncryptedFile(dir_.path() / "missing.enc", kLimit);
    EXPECT_EQ(missing.error.rfind("Could not determine encrypted file size for " + (dir_.path() / "missing.enc").string() + ": ", 0), 0u)
        << missing.error;
    // Below 41 bytes.
    expectError(cut(makeEncryptedBytes(""), 40), "Encrypted file is too small: ");
    // Over the limit, decided from the size alone; exactly at it is fine.
    const std::string plain = patternText(5000);
    const Bytes good = makeEncryptedBytes(plain);
    ASSERT_EQ(good.size(), kHeader + kChunk + 921u);
    expectError(good, "Encrypted file exceeds the plaintext size limit of 4999 bytes: ", 4999);
    EXPECT_TRUE(gf_readEncryptedFile(path_, 5000).ok);
    gf_setEncryptedFileSizeQuery([](const fs::path&, std::error_code& ec) -> std::uintmax_t {
        ec.clear();
        return 10u * 1024 * 1024;
    });
    EXPECT_EQ(gf_readEncryptedFile(dir_.path() / "absent.enc", 1048576).error,  // never opened
              "Encrypted file exceeds the plaintext size limit of 1048576 bytes: " +
                  (dir_.path() / "absent.enc").string());
    // The file vanished or shrank after the size query.
    gf_setEncryptedFileSizeQuery(&reportHundredBytes);
    EXPECT_EQ(gf_readEncryptedFile(dir_.path() / "gone.enc", kLimit).error,
              "Could not open input file: " + (dir_.path() / "gone.enc").string());
    expectError(Bytes(10, 0x41), "Encrypted file has an incomplete header: ");
    expectError(cut(good, kHeader + 10), "Encrypted file contains an incomplete block: ");
    gf_setEncryptedFileSizeQuery(nullptr);
    // Another key fails to authenticate the first chunk, and reads with that key.
    EncWriterOptions foreign;
    foreign.key.assign(32, 0x5a);
    expectError(makeEncryptedBytes(plain, foreign), "Decryption failed for: ");
    unsigned char key[kEncKeyBytes];
    std::fill(std::begin(key), std::end(key), 0x5a);
    EXPECT_TRUE(gf_readEncryptedFileWithKey(path_, kLimit, key).ok);
    // One flipped byte in the header, the first chunk, the last chunk, the last byte.
    for (const std::size_t at : {std::size_t{0}, kHeader - 1, kHeader, kHeader + kChunk + 5, good.size() - 1}) {
        Bytes bytes = good;
        bytes[at] ^= 0x01;
        SCOPED_TRACE(at);
        expectError(bytes, "Decryption failed for: ");
    }
    // Cut after a whole non-final chunk, inside a chunk, leaving a short stub.
    expectError(cut(good, kHeader + kChunk), "Encrypted file ended without a final block: ");
    expectError(cut(good, kHeader + kChunk + 500), "Decryption failed for: ");
    expectError(cut(good, kHeader + 4000), "Decryption failed for: ");
    expectError(cut(good, kHeader + kChunk + 16), "Decrypted data exceeds its validated size: ");
    // 1..16 trailing bytes: after a short final chunk they spoil its
    // authentication; after a full final chunk they break the size bound.
    const Bytes full = makeEncryptedBytes(patternText(4096));
    for (std::size_t extra = 1; extra <= 16; ++extra) {
        SCOPED_TRACE(extra);
        expectError(plus(good, extra), "Decryption failed for: ");
        expectError(plus(full, extra), "Decrypted data exceeds its validated size: ");
    }
    // Data after the final chunk.
    expectError(plus(full, 17), "Encrypted file contains data after the final block: ");
    expectError(plus(makeEncryptedBytes(patternText(3 * 4096)), 200, 2),
                "Encrypted file contains data after the final block: ");
    // No chunk carries FINAL.
    EncWriterOptions noFinal;
    noFinal.omitFinalTag = true;
    expectError(makeEncryptedBytes(plain, noFinal), "Encrypted file ended without a final block: ");
    expectError(makeEncryptedBytes(patternText(4096), noFinal), "Encrypted file ended without a final block: ");
    // Chunks of 1000 bytes cannot be read; one alone is an ordinary short final chunk.
    EncWriterOptions small;
    small.chunkBytes = 1000;
    expectError(makeEncryptedBytes(plain, small), "Decryption failed for: ");
    const DecryptResult one = gf_readEncryptedFile(write(makeEncryptedBytes(patternText(1000), small)), kLimit);
    ASSERT_TRUE(one.ok) << one.error;
    EXPECT_EQ(text(one.buffer), patternText(1000));
}

}  // namespace

namespace {

// The program's first use of libsodium may well be a data-file read: the
// reader initialises the library itself (without it the guarded allocation
// aborts). The file is made in a child process, so that this process reads
// it without having touched libsodium before. ctest runs every test in a
// process of its own; run among other tests in one process, the test can
// only skip.
TEST(EncryptedFileFirstUse, AReadIsTheProcesssFirstUseOfLibsodium) {
    tavo::test::ScopedTempDir dir;
    const fs::path path = dir.path() / "first.enc";
    const std::string plain = patternText(5000, 7);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fresh = sodium_init();  // 0: this process had not initialised it
        try {
            tavo::test::writeEncryptedFile(path, plain);
        } catch (...) {
            ::_exit(3);
        }
        ::_exit(fresh == 0 ? 0 : 2);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    ASSERT_NE(WEXITSTATUS(status), 3) << "the child could not write the file";
    if (WEXITSTATUS(status) == 2) GTEST_SKIP() << "libsodium was already in use in this process";
    const DecryptResult r = gf_readEncryptedFile(path, kLimit);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(text(r.buffer), plain);
}

}  // namespace
