#pragma once
// Files the program update reads, made by the tests: zip archives (through
// libzip, or byte by byte where an archive must declare what libzip would
// never write) and installer-like files that carry a version resource.

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tavo::test {

// A name ending in '/' is a folder entry (its content is ignored).
struct ZipItem {
    std::string name;
    std::string content;
};

// Writes the archive with libzip (files deflated); throws std::runtime_error
// on error.
void writeZip(const std::filesystem::path& path, const std::vector<ZipItem>& items);

// The bytes of an archive with one stored file whose central directory says
// it holds `declaredSize` bytes while it holds `data`.
std::string handMadeZip(std::string_view name, std::string_view data, std::uint32_t declaredSize);
// The same with a deflated entry that inflates to `zeroBytes` zero bytes (its
// CRC right for them) while the headers declare `declaredSize`: a few
// kilobytes of archive that unpack to as much as the test asks.
std::string handMadeDeflatedZip(std::string_view name, std::uint64_t zeroBytes, std::uint32_t declaredSize);

// An installer-like file: an executable's head, a version resource and a
// payload behind it.
struct FakeInstaller {
    std::uint16_t productVersion[4] = {16, 9, 0, 7};
    std::size_t leadingBytes = 4096;    // before the resource
    std::size_t trailingBytes = 4096;   // after it
    bool withSignature = true;          // false: the resource has no fixed-file-info block
    bool withKey = true;                // the "VS_VERSION_INFO" header before the block
    std::uint16_t valueLength = 52;     // the length the header declares
    std::size_t blockBytes = 52;        // how much of the block is written (the file may end inside it)
    bool decoyBefore = false;           // the signature as a code constant earlier in the file

    std::string bytes() const;
};

}  // namespace tavo::test
