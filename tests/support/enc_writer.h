#pragma once
// Encrypted data files (.enc) for tests: the writer (with the options that
// craft broken files) and raw byte access for crafted damage.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "tools/enc_writer.h"

namespace tavo::test {

// The writer itself is shared with the build-time encryptor.
using tavo::tools::EncWriterOptions;
using tavo::tools::makeEncryptedBytes;
using tavo::tools::writeBytes;
using tavo::tools::writeEncryptedFile;

// Raw bytes of a file (for crafted damage).
std::vector<unsigned char> readBytes(const std::filesystem::path& path);

// A plaintext of n bytes with a recognisable, position-dependent pattern.
std::string patternText(std::size_t n, std::uint32_t seed = 1);

}  // namespace tavo::test
