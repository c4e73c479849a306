#include "encrypted_chunks.h"

#include <algorithm>
#include <array>

#include <sodium.h>

#include "foundation/encrypted.h"

namespace tavo::fuzz {

ChunkedFile encryptChunkDescription(const std::uint8_t* data, std::size_t size) {
    constexpr std::array<std::uint64_t, 4> limits{0, 4096, 8192, kDbaseEncLimit};
    constexpr std::array<unsigned char, 4> tags{
        crypto_secretstream_xchacha20poly1305_TAG_MESSAGE, crypto_secretstream_xchacha20poly1305_TAG_PUSH,
        crypto_secretstream_xchacha20poly1305_TAG_REKEY, crypto_secretstream_xchacha20poly1305_TAG_FINAL};
    gf_ensureSodium();
    ChunkedFile file;
    file.limit = limits[size == 0 ? 3 : data[0] % limits.size()];

    unsigned char key[kEncKeyBytes];
    gf_buildDataFileKey(key);
    crypto_secretstream_xchacha20poly1305_state state;
    file.bytes.resize(crypto_secretstream_xchacha20poly1305_HEADERBYTES);
    crypto_secretstream_xchacha20poly1305_init_push(&state, file.bytes.data(), key);
    sodium_memzero(key, sizeof key);

    std::size_t at = std::min<std::size_t>(size, 1);
    while (at + 3 <= size) {
        const std::size_t wanted = (static_cast<std::size_t>(data[at]) << 8) | data[at + 1];
        const unsigned char tag = tags[data[at + 2] & 3];
        at += 3;
        const std::size_t length = std::min(wanted, size - at);
        const std::size_t start = file.bytes.size();
        file.bytes.resize(start + length + crypto_secretstream_xchacha20poly1305_ABYTES);
        crypto_secretstream_xchacha20poly1305_push(&state, file.bytes.data() + start, nullptr, data + at, length,
                                                   nullptr, 0, tag);
        at += length;
    }
    return file;
}

}  // namespace tavo::fuzz
