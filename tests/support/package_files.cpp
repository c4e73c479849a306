#include "support/package_files.h"

#include <algorithm>
#include <array>
#include <stdexcept>
#include <string>

#include <zip.h>
#include <zlib.h>

#include "foundation/zip_archive.h"

namespace tavo::test {

namespace {

void lf_put16(std::string& out, std::uint16_t v) {
    out.push_back(static_cast<char>(v & 0xFF));
    out.push_back(static_cast<char>(v >> 8));
}

void lf_put32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i) out.push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

std::uint32_t lf_crc32(std::string_view data) {
    std::uint32_t crc = 0xFFFFFFFFu;
    for (const char c : data) {
        crc ^= static_cast<unsigned char>(c);
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

// Bytes that no test looks into, varied so that nothing matches by chance.
std::string lf_filler(std::size_t count, unsigned seed) {
    std::string out(count, '\0');
    for (std::size_t i = 0; i < count; ++i) out[i] = static_cast<char>((i * 31 + seed) % 251);
    return out;
}

}  // namespace

void writeZip(const std::filesystem::path& path, const std::vector<ZipItem>& items) {
    const auto fail = [&path](const std::string& what) {
        throw std::runtime_error("writeZip " + path.string() + ": " + what);
    };
    ZipArchive archive;
    if (!archive.open(path, ZIP_CREATE | ZIP_TRUNCATE)) fail(archive.errorText());
    for (const ZipItem& item : items) {
        if (!item.name.empty() && item.name.back() == '/') {
            if (zip_dir_add(archive.handle(), item.name.c_str(), ZIP_FL_ENC_UTF_8) < 0)
                fail(zip_strerror(archive.handle()));
            continue;
        }
        // The source copies nothing: the content must live until close().
        zip_source_t* source = zip_source_buffer(archive.handle(), item.content.data(), item.content.size(), 0);
        if (source == nullptr) fail(zip_strerror(archive.handle()));
        if (zip_file_add(archive.handle(), item.name.c_str(), source, ZIP_FL_ENC_UTF_8) < 0) {
            zip_source_free(source);
            fail(zip_strerror(archive.handle()));
        }
    }
    if (!archive.close()) fail(archive.errorText());
}

namespace {

// An archive of one entry from its parts: the compression method (0 stored,
// 8 deflated), the CRC and the bytes as they stand in the archive, and the
// uncompressed size the headers declare.
std::string lf_oneEntryZip(std::string_view name, std::uint16_t method, std::uint32_t crc, std::string_view stored,
                           std::uint32_t declaredSize) {
    // The fields the local header and the central directory entry share, from
    // "version needed" to the extra field's length: no flags, no time.
    const auto shared = [&](std::string& out) {
        lf_put16(out, 20);
        lf_put16(out, 0);
        lf_put16(out, method);
        lf_put16(out, 0);
        lf_put16(out, 0);
        lf_put32(out, crc);
        lf_put32(out, static_cast<std::uint32_t>(stored.size()));
        lf_put32(out, declaredSize);
        lf_put16(out, static_cast<std::uint16_t>(name.size()));
        lf_put16(out, 0);
    };
    std::string out;
    lf_put32(out, 0x04034b50);  // local file header
    shared(out);
    out += name;
    out += stored;
    const auto directoryOffset = static_cast<std::uint32_t>(out.size());
    lf_put32(out, 0x02014b50);  // central directory entry
    lf_put16(out, 20);          // made by
    shared(out);
    for (int i = 0; i < 3; ++i) lf_put16(out, 0);  // comment, disk, internal attributes
    lf_put32(out, 0);                              // external attributes
    lf_put32(out, 0);                              // offset of the local header
    out += name;
    const auto directorySize = static_cast<std::uint32_t>(out.size() - directoryOffset);
    // End of central directory.
    lf_put32(out, 0x06054b50);
    lf_put16(out, 0);
    lf_put16(out, 0);
    lf_put16(out, 1);
    lf_put16(out, 1);
    lf_put32(out, directorySize);
    lf_put32(out, directoryOffset);
    lf_put16(out, 0);
    return out;
}

}  // namespace

std::string handMadeZip(std::string_view name, std::string_view data, std::uint32_t declaredSize) {
    return lf_oneEntryZip(name, 0, lf_crc32(data), data, declaredSize);
}

std::string handMadeDeflatedZip(std::string_view name, std::uint64_t zeroBytes, std::uint32_t declaredSize) {
    // Raw deflate (no zlib header), as zip entries hold it, fed in slices so
    // that the inflated size never has to fit in memory here.
    z_stream stream{};
    if (deflateInit2(&stream, Z_BEST_COMPRESSION, Z_DEFLATED, -15, 9, Z_DEFAULT_STRATEGY) != Z_OK) {
        throw std::runtime_error("handMadeDeflatedZip: zlib refused to start");
    }
    const std::string zeros(65536, '\0');
    std::string compressed;
    std::array<unsigned char, 65536> chunk{};
    uLong crc = crc32(0L, Z_NULL, 0);
    std::uint64_t left = zeroBytes;
    int flush = Z_NO_FLUSH;
    do {
        const auto slice = static_cast<uInt>(std::min<std::uint64_t>(left, zeros.size()));
        crc = crc32(crc, reinterpret_cast<const Bytef*>(zeros.data()), slice);
        stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(zeros.data()));
        stream.avail_in = slice;
        left -= slice;
        flush = left == 0 ? Z_FINISH : Z_NO_FLUSH;
        do {
            stream.next_out = chunk.data();
            stream.avail_out = static_cast<uInt>(chunk.size());
            deflate(&stream, flush);
            compressed.append(reinterpret_cast<const char*>(chunk.data()), chunk.size() - stream.avail_out);
        } while (stream.avail_out == 0);
    } while (flush != Z_FINISH);
    deflateEnd(&stream);
    return lf_oneEntryZip(name, 8, static_cast<std::uint32_t>(crc), compressed, declaredSize);
}

std::string FakeInstaller::bytes() const {
    std::string out = "MZ";
    out += lf_filler(leadingBytes, 7);
    if (decoyBefore) {
        // "cmp dword ptr [eax], 0FEEF04BDh" at an odd offset, followed by
        // numbers that must not be taken for a product version.
        out += "\x81\x38";
        lf_put32(out, 0xFEEF04BD);
        out += lf_filler(60, 3);
    }
    // Align the resource as a linker does.
    while (out.size() % 4 != 0) out.push_back('\0');
    if (withKey) {
        lf_put16(out, 0x0300);  // wLength (not looked at)
        lf_put16(out, valueLength);
        lf_put16(out, 0);  // binary
        for (const char c : std::string_view("VS_VERSION_INFO")) lf_put16(out, static_cast<std::uint16_t>(c));
        lf_put16(out, 0);
        lf_put16(out, 0);  // padding to 32 bits
    }
    if (withSignature) {
        std::string block;
        lf_put32(block, 0xFEEF04BD);
        lf_put32(block, 0x00010000);
        lf_put32(block, (std::uint32_t{productVersion[0]} << 16) | productVersion[1]);  // file version
        lf_put32(block, (std::uint32_t{productVersion[2]} << 16) | productVersion[3]);
        lf_put32(block, (std::uint32_t{productVersion[0]} << 16) | productVersion[1]);  // product version
        lf_put32(block, (std::uint32_t{productVersion[2]} << 16) | productVersion[3]);
        for (int i = 0; i < 7; ++i) lf_put32(block, 0);
        out += block.substr(0, blockBytes);
    }
    if (blockBytes >= 52 || !withSignature) out += lf_filler(trailingBytes, 11);
    return out;
}

}  // namespace tavo::test
