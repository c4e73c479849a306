#pragma once
// What the program update asks of the system about an installer and the place
// the program runs from: the product version the installer carries, the
// folders programs are installed in, whether the process has administrator
// rights, and whether a folder can be written. Each query passes through the
// fault hook of platform/os/os.h, so tests (which run as root in CI) can make
// it fail.

#include <cstdint>
#include <filesystem>
#include <optional>
#include <system_error>

#include "platform/os/os.h"

// The four numbers of a product version, most significant first.
struct ProductVersionNumbers {
    std::uint16_t major = 0;
    std::uint16_t minor = 0;
    std::uint16_t patch = 0;
    std::uint16_t build = 0;
};

enum class ProductVersionStatus {
    ok,
    sizeQueryFailed,  // the file's size could not be asked (systemError tells why)
    readFailed,       // the file could not be read (systemError tells why)
    invalidData,      // no fixed-file-info block, or one shorter than 52 bytes
};

struct ProductVersionResult {
    ProductVersionStatus status = ProductVersionStatus::invalidData;
    int systemError = 0;  // errno of the failed query
    ProductVersionNumbers version;
};

// The fixed-file-info block of a version resource: 13 little-endian 32-bit
// words beginning with this signature; the product version is words 4 and 5.
inline constexpr std::uint32_t kFixedFileInfoSignature = 0xFEEF04BD;
inline constexpr std::size_t kFixedFileInfoSize = 52;

// Reads the product version of an installer file. The block is found by its
// signature; where the file holds the signature more than once (installers
// carry code that tests for it), the block that follows the resource's
// "VS_VERSION_INFO" key wins, else the first one. The file is read in chunks,
// never whole.
ProductVersionResult gf_osReadProductVersion(const std::filesystem::path& file);

// The two folders programs are installed in (on Windows Program Files and
// Program Files (x86)): /usr and /opt unless tests set others.
struct ProgramFilesFolders {
    std::filesystem::path programFiles;
    std::filesystem::path programFilesX86;
};
ProgramFilesFolders gf_osProgramFilesFolders();
// Nothing restores the defaults.
void gf_osSetProgramFilesFolders(std::optional<ProgramFilesFolders> folders);

// True when the process runs with administrator rights (the effective user is
// root). False also when the question cannot be asked (the fault hook of
// OsOperation::elevationQuery).
bool gf_osIsElevated();
// Tests fix the answer (nothing: ask the system again).
void gf_osSetElevated(std::optional<bool> elevated);

// Creates ".write_test.tmp" in the folder afresh, writes one byte into it and
// removes it again. Succeeded when all of that worked.
OsResult gf_osProbeWritable(const std::filesystem::path& folder);
