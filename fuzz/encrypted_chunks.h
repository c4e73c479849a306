#pragma once
// Turns a fuzz input into an encrypted data file that authenticates, so the
// fuzzer explores the chunk structure rather than the cipher.
//
// Input: one byte choosing the plaintext limit, then chunks, each two bytes of
// big-endian plaintext length, one byte whose low two bits choose the tag
// (MESSAGE, PUSH, REKEY, FINAL) and the plaintext (cut at the end of input).

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tavo::fuzz {

struct ChunkedFile {
    std::vector<std::uint8_t> bytes;  // header and chunks, encrypted with the program's key
    std::uint64_t limit = 0;          // the plaintext limit the reader is given
};

ChunkedFile encryptChunkDescription(const std::uint8_t* data, std::size_t size);

}  // namespace tavo::fuzz
