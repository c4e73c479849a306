#pragma once
// Makes encrypted data files (.enc) in the form the program reads: a
// secret-stream header, chunks of plaintext each pushed with the tag MESSAGE,
// the last one with FINAL, under the program's data-file key. The build uses
// it to encrypt the sample data files into the installation folder; tests use
// it (with the options that craft broken files) to make the files they read.

#include <cstddef>
#include <filesystem>
#include <string_view>
#include <vector>

namespace tavo::tools {

struct EncWriterOptions {
    // Plaintext bytes per chunk; the program's files use 4096.
    std::size_t chunkBytes = 4096;
    // Push one more, empty chunk tagged FINAL after the data, so that every
    // data chunk carries the tag MESSAGE (the shape of a file whose length is
    // a multiple of the chunk size). Only for such lengths: any other length
    // is refused with std::invalid_argument.
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

// Writes raw bytes as the whole file (throws std::runtime_error on failure).
void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes);

// Encrypts the file `from` into `to` with the program's key, through a
// temporary file beside `to` (created with its folders), so that a failed run
// leaves no half-written target. Throws std::runtime_error with the reason.
void encryptDataFile(const std::filesystem::path& from, const std::filesystem::path& to);

}  // namespace tavo::tools
