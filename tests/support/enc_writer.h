#pragma once
// Makes encrypted data files (.enc) as the maker's data pipeline does: a
// secret-stream header, chunks of plaintext each pushed with the tag MESSAGE,
// the last one with FINAL. Options craft broken files for the reader's tests.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::test {

struct EncWriterOptions {
    // Plaintext bytes per chunk; the program's files use 4096.
    std::size_t chunkBytes = 4096;
    // Push one more, empty chunk tagged FINAL after the data, so that every
    // data chunk carries the tag MESSAGE (the shape of a file whose length is
    // a multiple of the chunk size).
    bool emptyFinalChunk = false;
    // Tag the last chunk MESSAGE instead of FINAL.
    bool omitFinalTag = false;
    // Encrypt with this key instead of the program's (must be 32 bytes).
    std::vector<unsigned char> key;
};

// The encrypted bytes of the plaintext.
std::vector<unsigned char> makeEncryptedBytes(std::string_view plaintext, const EncWriterOptions& options = {});

// Writes them to path (throws std::runtime_error when that fails).
void writeEncryptedFile(const std::filesystem::path& path, std::string_view plaintext,
                        const EncWriterOptions& options = {});

// Raw bytes of a file, and writing raw bytes (for crafted damage).
std::vector<unsigned char> readBytes(const std::filesystem::path& path);
void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);

// A plaintext of n bytes with a recognisable, position-dependent pattern.
std::string patternText(std::size_t n, std::uint32_t seed = 1);

}  // namespace tavo::test
