#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "foundation/encrypted.h"
#include "support/enc_writer.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::EncWriterOptions;

constexpr std::uint64_t kLimit = 16 * 1024 * 1024;

class EncryptedFileTest : public ::testing::Test {
protected:
    void TearDown() override { gf_setEncryptedFileSizeQuery(nullptr); }

    fs::path file(const std::string& name) const { return dir_.path() / name; }

    // Reads the file and expects failure with exactly "<prefix><path>".
    void expectError(const fs::path& path, const std::string& prefix, std::uint64_t limit = kLimit) {
        const DecryptResult r = gf_readEncryptedFile(path, limit);
        EXPECT_FALSE(r.ok);
        EXPECT_TRUE(r.buffer.empty());
        EXPECT_EQ(r.error, prefix + path.string());
    }

    std::string roundTrip(const std::string& plain, const EncWriterOptions& options = {}) {
        const fs::path p = file("rt.enc");
        tavo::test::writeEncryptedFile(p, plain, options);
        const DecryptResult r = gf_readEncryptedFile(p, kLimit);
        EXPECT_TRUE(r.ok) << r.error;
        if (!r.ok) {
            return {};
        }
        EXPECT_LE(r.buffer.size(), r.buffer.capacity());
        EXPECT_EQ(r.buffer.capacity(), gf_encryptedPlaintextBound(fs::file_size(p)));
        return std::string(reinterpret_cast<const char*>(r.buffer.data()), r.buffer.size());
    }

    tavo::test::ScopedTempDir dir_;
};

std::uintmax_t reportHundredBytes(const fs::path&, std::error_code& ec) {
    ec.clear();
    return 100;
}
std::uintmax_t reportTenMegabytes(const fs::path&, std::error_code& ec) {
    ec.clear();
    return 10u * 1024 * 1024;
}

TEST(EncryptedBoundTest, FollowsTheChunkLayout) {
    EXPECT_EQ(gf_encryptedPlaintextBound(41), 0u);
    EXPECT_EQ(gf_encryptedPlaintextBound(24 + 4113), 4096u);
    EXPECT_EQ(gf_encryptedPlaintextBound(24 + 4113 + 17 + 904), 5000u);
    EXPECT_EQ(gf_encryptedPlaintextBound(24 + 2 * 4113 + 17), 8192u);
    EXPECT_EQ(gf_encryptedPlaintextBound(10), 0u);
}

TEST_F(EncryptedFileTest, PlaintextsRoundTripExactly) {
    for (const std::size_t n : {std::size_t{0}, std::size_t{1}, std::size_t{4095}, std::size_t{4096},
                                std::size_t{5000}, std::size_t{8192}, std::size_t{100000}}) {
        const std::string plain = tavo::test::patternText(n, static_cast<std::uint32_t>(n));
        EXPECT_EQ(roundTrip(plain), plain) << n << " bytes";
    }
    // A multiple of the chunk size followed by an empty FINAL chunk.
    EncWriterOptions trailer;
    trailer.emptyFinalChunk = true;
    for (const std::size_t n : {std::size_t{4096}, std::size_t{3 * 4096}}) {
        const std::string plain = tavo::test::patternText(n, 7);
        EXPECT_EQ(roundTrip(plain, trailer), plain) << n << " bytes with an empty final chunk";
    }
}

TEST_F(EncryptedFileTest, SmallestFileGivesNoPlaintextInAOneByteAllocation) {
    const fs::path p = file("empty.enc");
    tavo::test::writeEncryptedFile(p, "");
    ASSERT_EQ(fs::file_size(p), 41u);
    DecryptResult r = gf_readEncryptedFile(p, kLimit);
    ASSERT_TRUE(r.ok) << r.error;
    EXPECT_EQ(r.buffer.size(), 0u);
    EXPECT_EQ(r.buffer.capacity(), 0u);
    EXPECT_EQ(r.buffer.allocatedSize(), 1u);
    EXPECT_FALSE(r.buffer.empty());
    r.buffer.release();
    EXPECT_TRUE(r.buffer.empty());
    EXPECT_EQ(r.buffer.allocatedSize(), 0u);
    r.buffer.release();  // a second release leaves the empty buffer alone
    EXPECT_TRUE(r.buffer.empty());
}

TEST_F(EncryptedFileTest, MovingAResultHandsTheMemoryOn) {
    const fs::path p = file("m.enc");
    tavo::test::writeEncryptedFile(p, "hello");
    DecryptResult r = gf_readEncryptedFile(p, kLimit);
    ASSERT_TRUE(r.ok);
    const unsigned char* data = r.buffer.data();
    SecureBuffer moved = std::move(r.buffer);
    EXPECT_TRUE(r.buffer.empty());
    EXPECT_EQ(r.buffer.size(), 0u);
    EXPECT_EQ(moved.data(), data);
    EXPECT_EQ(std::string(reinterpret_cast<const char*>(moved.data()), moved.size()), "hello");
    SecureBuffer other(10);
    other = std::move(moved);
    EXPECT_EQ(other.data(), data);
    EXPECT_TRUE(moved.empty());
}

TEST_F(EncryptedFileTest, EveryMessageInItsOrder) {
    // 1. the size query fails
    {
        const fs::path p = file("missing.enc");
        const DecryptResult r = gf_readEncryptedFile(p, kLimit);
        EXPECT_FALSE(r.ok);
        EXPECT_EQ(r.error.rfind("Could not determine encrypted file size for " + p.string() + ": ", 0), 0u)
            << r.error;
        EXPECT_GT(r.error.size(), ("Could not determine encrypted file size for " + p.string() + ": ").size());
    }
    // 2. below 41 bytes
    {
        const fs::path p = file("small.enc");
        std::vector<unsigned char> bytes = tavo::test::makeEncryptedBytes("");
        bytes.pop_back();
        tavo::test::writeBytes(p, bytes);
        expectError(p, "Encrypted file is too small: ");
    }
    // 3. over the limit, decided from the size alone: the file is never opened
    {
        const fs::path p = file("large.enc");
        tavo::test::writeEncryptedFile(p, tavo::test::patternText(5000));
        expectError(p, "Encrypted file exceeds the plaintext size limit of 4999 bytes: ", 4999);
        const DecryptResult exact = gf_readEncryptedFile(p, 5000);
        EXPECT_TRUE(exact.ok) << exact.error;
        gf_setEncryptedFileSizeQuery(&reportTenMegabytes);
        expectError(file("not-there.enc"), "Encrypted file exceeds the plaintext size limit of 1048576 bytes: ",
                    1048576);
        gf_setEncryptedFileSizeQuery(nullptr);
    }
    // 4. the file cannot be opened (it vanished after the size query)
    {
        gf_setEncryptedFileSizeQuery(&reportHundredBytes);
        expectError(file("vanished.enc"), "Could not open input file: ");
        // 5. the file shrank below a header after the size query
        const fs::path p = file("short.enc");
        tavo::test::writeBytes(p, std::vector<unsigned char>(10, 0x41));
        expectError(p, "Encrypted file has an incomplete header: ");
        gf_setEncryptedFileSizeQuery(nullptr);
    }
    const std::string plain = tavo::test::patternText(5000);
    const std::vector<unsigned char> good = tavo::test::makeEncryptedBytes(plain);
    ASSERT_EQ(good.size(), 24u + 4113u + 921u);
    // 6. a file of another key fails to authenticate its first chunk
    {
        EncWriterOptions foreign;
        foreign.key.assign(32, 0x5a);
        const fs::path p = file("foreign.enc");
        tavo::test::writeEncryptedFile(p, plain, foreign);
        expectError(p, "Decryption failed for: ");
        // ... and reads with that key
        unsigned char key[32];
        std::fill(std::begin(key), std::end(key), 0x5a);
        EXPECT_TRUE(gf_readEncryptedFileWithKey(p, kLimit, key).ok);
    }
    // 7. one flipped byte in the header, the first chunk, the last chunk, the last byte
    for (const std::size_t at : {std::size_t{0}, std::size_t{23}, std::size_t{24}, std::size_t{2000},
                                 std::size_t{24 + 4113 + 5}, good.size() - 1}) {
        std::vector<unsigned char> bytes = good;
        bytes[at] ^= 0x01;
        const fs::path p = file("flipped.enc");
        tavo::test::writeBytes(p, bytes);
        SCOPED_TRACE(at);
        expectError(p, "Decryption failed for: ");
    }
    // 8. cut after a whole non-final chunk, inside a chunk, leaving a stub
    {
        const fs::path p = file("cut.enc");
        tavo::test::writeBytes(p, {good.begin(), good.begin() + 24 + 4113});
        expectError(p, "Encrypted file ended without a final block: ");
        tavo::test::writeBytes(p, {good.begin(), good.begin() + 24 + 4113 + 500});
        expectError(p, "Decryption failed for: ");
        // A stub of fewer than 17 bytes after whole chunks always breaks the
        // size bound first ...
        tavo::test::writeBytes(p, {good.begin(), good.begin() + 24 + 4113 + 16});
        expectError(p, "Decrypted data exceeds its validated size: ");
        // ... so only a file that shrank after the size query shows a stub.
        gf_setEncryptedFileSizeQuery(&reportHundredBytes);
        tavo::test::writeBytes(p, {good.begin(), good.begin() + 24 + 10});
        expectError(p, "Encrypted file contains an incomplete block: ");
        gf_setEncryptedFileSizeQuery(nullptr);
        tavo::test::writeBytes(p, {good.begin(), good.begin() + 24 + 4000});
        expectError(p, "Decryption failed for: ");
    }
    // 9. 1..16 trailing bytes: after a short final chunk they spoil its
    // authentication; after a full final chunk they break the size bound.
    {
        const std::vector<unsigned char> full = tavo::test::makeEncryptedBytes(tavo::test::patternText(4096));
        for (std::size_t extra = 1; extra <= 16; ++extra) {
            SCOPED_TRACE(extra);
            const fs::path p = file("trailing.enc");
            std::vector<unsigned char> bytes = good;
            bytes.insert(bytes.end(), extra, 0);
            tavo::test::writeBytes(p, bytes);
            expectError(p, "Decryption failed for: ");
            bytes = full;
            bytes.insert(bytes.end(), extra, 0);
            tavo::test::writeBytes(p, bytes);
            expectError(p, "Decrypted data exceeds its validated size: ");
        }
        // 10. data after the final chunk
        const fs::path p = file("after.enc");
        std::vector<unsigned char> bytes = full;
        bytes.insert(bytes.end(), 17, 0);
        tavo::test::writeBytes(p, bytes);
        expectError(p, "Encrypted file contains data after the final block: ");
        bytes = tavo::test::makeEncryptedBytes(tavo::test::patternText(3 * 4096));
        bytes.push_back(0);
        bytes.push_back(1);
        bytes.insert(bytes.end(), 200, 2);
        tavo::test::writeBytes(p, bytes);
        expectError(p, "Encrypted file contains data after the final block: ");
    }
    // 11. no chunk carries FINAL
    {
        EncWriterOptions noFinal;
        noFinal.omitFinalTag = true;
        const fs::path p = file("nofinal.enc");
        tavo::test::writeEncryptedFile(p, plain, noFinal);
        expectError(p, "Encrypted file ended without a final block: ");
        tavo::test::writeEncryptedFile(p, tavo::test::patternText(4096), noFinal);
        expectError(p, "Encrypted file ended without a final block: ");
    }
    // 12. chunks of another size than 4096 cannot be read
    {
        EncWriterOptions small;
        small.chunkBytes = 1000;
        const fs::path p = file("chunks1000.enc");
        tavo::test::writeEncryptedFile(p, plain, small);
        expectError(p, "Decryption failed for: ");
        // one chunk of 1000 bytes alone is an ordinary short final chunk
        const std::string thousand = tavo::test::patternText(1000);
        tavo::test::writeEncryptedFile(p, thousand, small);
        const DecryptResult r = gf_readEncryptedFile(p, kLimit);
        ASSERT_TRUE(r.ok) << r.error;
        EXPECT_EQ(std::string(reinterpret_cast<const char*>(r.buffer.data()), r.buffer.size()), thousand);
    }
}

TEST(EncryptedKeyTest, KeyIsStableAndNotTrivial) {
    unsigned char a[kEncKeyBytes];
    unsigned char b[kEncKeyBytes];
    gf_buildDataFileKey(a);
    gf_buildDataFileKey(b);
    EXPECT_TRUE(std::equal(std::begin(a), std::end(a), std::begin(b)));
    int zeros = 0;
    for (const unsigned char c : a) {
        zeros += c == 0 ? 1 : 0;
    }
    EXPECT_LT(zeros, 4);
}

}  // namespace
