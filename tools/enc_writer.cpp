#include "tools/enc_writer.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <string>
#include <system_error>

#include <sodium.h>

#include "foundation/encrypted.h"
#include "foundation/text.h"

namespace tavo::tools {

std::vector<unsigned char> makeEncryptedBytes(std::string_view plaintext, const EncWriterOptions& options) {
    gf_ensureSodium();
    if (options.chunkBytes == 0) {
        throw std::invalid_argument("makeEncryptedBytes: chunk size 0");
    }
    unsigned char key[crypto_secretstream_xchacha20poly1305_KEYBYTES];
    if (options.key.empty()) {
        gf_buildDataFileKey(key);
    } else if (options.key.size() == sizeof key) {
        std::copy(options.key.begin(), options.key.end(), key);
    } else {
        throw std::invalid_argument("makeEncryptedBytes: key must have 32 bytes");
    }
    // A short last data chunk followed by an empty FINAL chunk is a shape the
    // program's files never have and its reader refuses: such a call would
    // make a file that tests a different thing than it says.
    if (options.emptyFinalChunk && plaintext.size() % options.chunkBytes != 0) {
        throw std::invalid_argument(
            "makeEncryptedBytes: an empty final chunk needs a length that is a multiple of the chunk size");
    }

    std::vector<unsigned char> out(crypto_secretstream_xchacha20poly1305_HEADERBYTES);
    crypto_secretstream_xchacha20poly1305_state state;
    crypto_secretstream_xchacha20poly1305_init_push(&state, out.data(), key);
    sodium_memzero(key, sizeof key);

    const auto push = [&](std::string_view piece, unsigned char tag) {
        const std::size_t at = out.size();
        out.resize(at + piece.size() + crypto_secretstream_xchacha20poly1305_ABYTES);
        unsigned long long written = 0;
        crypto_secretstream_xchacha20poly1305_push(&state, out.data() + at, &written,
                                                   reinterpret_cast<const unsigned char*>(piece.data()),
                                                   piece.size(), nullptr, 0, tag);
        out.resize(at + static_cast<std::size_t>(written));
    };
    const unsigned char lastTag =
        options.omitFinalTag ? crypto_secretstream_xchacha20poly1305_TAG_MESSAGE : crypto_secretstream_xchacha20poly1305_TAG_FINAL;

    std::size_t offset = 0;
    if (plaintext.empty() && !options.emptyFinalChunk) {
        push({}, lastTag);
    }
    while (offset < plaintext.size()) {
        const std::size_t n = std::min(options.chunkBytes, plaintext.size() - offset);
        const bool last = offset + n == plaintext.size();
        const unsigned char tag =
            (last && !options.emptyFinalChunk) ? lastTag : crypto_secretstream_xchacha20poly1305_TAG_MESSAGE;
        push(plaintext.substr(offset, n), tag);
        offset += n;
    }
    if (options.emptyFinalChunk) {
        push({}, lastTag);
    }
    sodium_memzero(&state, sizeof state);
    return out;
}

void writeBytes(const std::filesystem::path& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out) {
        throw std::runtime_error("cannot write " + gf_pathToUtf8(path));
    }
}

void writeEncryptedFile(const std::filesystem::path& path, std::string_view plaintext,
                        const EncWriterOptions& options) {
    writeBytes(path, makeEncryptedBytes(plaintext, options));
}

void encryptDataFile(const std::filesystem::path& from, const std::filesystem::path& to) {
    std::ifstream in(from, std::ios::binary);
    if (!in) {
        throw std::runtime_error("cannot open " + gf_pathToUtf8(from));
    }
    const std::string plaintext{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) {
        throw std::runtime_error("cannot read " + gf_pathToUtf8(from));
    }
    std::error_code ec;
    if (to.has_parent_path()) {
        std::filesystem::create_directories(to.parent_path(), ec);
        if (ec) {
            throw std::runtime_error("cannot create " + gf_pathToUtf8(to.parent_path()) + ": " + ec.message());
        }
    }
    std::filesystem::path temporary = to;
    temporary += ".tmp";
    try {
        writeEncryptedFile(temporary, plaintext);
        std::filesystem::rename(temporary, to);
    } catch (...) {
        std::filesystem::remove(temporary, ec);
        throw;
    }
}

}  // namespace tavo::tools
