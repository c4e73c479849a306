#include "support/package_files.h"

#include <stdexcept>
#include <string>

#include <zip.h>

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

std::string handMadeZip(std::string_view name, std::string_view data, std::uint32_t declaredSize) {
    // The fields the local header and the central directory entry share, from
    // "version needed" to the extra field's length: stored, no flags, no time.
    const auto shared = [&](std::string& out) {
        lf_put16(out, 20);
        for (int i = 0; i < 4; ++i) lf_put16(out, 0);
        lf_put32(out, lf_crc32(data));
        lf_put32(out, static_cast<std::uint32_t>(data.size()));
        lf_put32(out, declaredSize);
        lf_put16(out, static_cast<std::uint16_t>(name.size()));
        lf_put16(out, 0);
    };
    std::string out;
    lf_put32(out, 0x04034b50);  // local file header
    shared(out);
    out += name;
    out += data;
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
