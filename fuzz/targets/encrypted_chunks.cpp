// Encrypted data files that authenticate: the input describes a chunk
// structure (sizes, tags, plaintext) that is encrypted with the program's key,
// so the reader's handling of what decrypts is reached, not only of damage.

#include "encrypted_chunks.h"
#include "foundation/encrypted.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::ChunkedFile file = tavo::fuzz::encryptChunkDescription(data, size);
    const auto path = tavo::fuzz::writeScratchFile("chunks.enc", file.bytes.data(), file.bytes.size());
    gf_readEncryptedFile(path, file.limit);
    tavo::fuzz::settle();
    return 0;
}
