#include "platform/os/installer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <mutex>
#include <string>
#include <string_view>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "platform/os/os.h"

namespace fs = std::filesystem;

namespace {

std::mutex l_mutex;
std::optional<ProgramFilesFolders> l_programFilesFolders;  // guarded by l_mutex
std::optional<bool> l_elevated;                            // guarded by l_mutex

constexpr std::size_t kReadChunk = std::size_t{1} << 20;

// A version resource starts with wLength, wValueLength, wType (16 bits each)
// and the key "VS_VERSION_INFO" in UTF-16 with its terminating zero, padded
// to 32 bits; the fixed-file-info block follows as the resource's value.
constexpr std::size_t kKeyBytes = 32;
constexpr std::size_t kHeaderBeforeValue = 40;
constexpr std::size_t kKeyOffset = 6;
constexpr std::size_t kValueLengthOffset = 2;

constexpr std::array<char, kKeyBytes> lf_versionInfoKey() {
    constexpr std::string_view key = "VS_VERSION_INFO";
    std::array<char, kKeyBytes> bytes{};
    for (std::size_t i = 0; i < key.size(); ++i) {
        bytes[2 * i] = key[i];
    }
    return bytes;
}
constexpr std::array<char, kKeyBytes> kVersionInfoKey = lf_versionInfoKey();

constexpr std::array<char, 4> kSignatureBytes{
    static_cast<char>(kFixedFileInfoSignature & 0xFF), static_cast<char>((kFixedFileInfoSignature >> 8) & 0xFF),
    static_cast<char>((kFixedFileInfoSignature >> 16) & 0xFF), static_cast<char>((kFixedFileInfoSignature >> 24) & 0xFF)};

std::uint32_t lf_u32(std::string_view bytes, std::size_t at) {
    std::uint32_t value = 0;
    for (std::size_t i = 0; i < 4; ++i) {
        value |= static_cast<std::uint32_t>(static_cast<unsigned char>(bytes[at + i])) << (8 * i);
    }
    return value;
}

std::uint16_t lf_u16(std::string_view bytes, std::size_t at) {
    return static_cast<std::uint16_t>(static_cast<unsigned char>(bytes[at]) |
                                      (static_cast<unsigned char>(bytes[at + 1]) << 8));
}

ProductVersionResult lf_parseBlock(std::string_view block) {
    ProductVersionResult result;
    if (block.size() < kFixedFileInfoSize || lf_u32(block, 0) != kFixedFileInfoSignature) {
        return result;
    }
    const std::uint32_t mostSignificant = lf_u32(block, 16);
    const std::uint32_t leastSignificant = lf_u32(block, 20);
    result.status = ProductVersionStatus::ok;
    result.version.major = static_cast<std::uint16_t>(mostSignificant >> 16);
    result.version.minor = static_cast<std::uint16_t>(mostSignificant & 0xFFFF);
    result.version.patch = static_cast<std::uint16_t>(leastSignificant >> 16);
    result.version.build = static_cast<std::uint16_t>(leastSignificant & 0xFFFF);
    return result;
}

// The block that starts at `at` in the window, as far as it reaches: up to
// the resource's declared value length after the key, else 52 bytes.
std::string_view lf_blockAt(std::string_view window, std::size_t at, std::optional<std::uint16_t> valueLength) {
    const std::size_t available = window.size() - at;
    const std::size_t wanted = valueLength ? *valueLength : kFixedFileInfoSize;
    return window.substr(at, std::min(available, wanted));
}

// The declared value length when the key of a version resource stands just
// before the signature at `at`.
std::optional<std::uint16_t> lf_keyedValueLength(std::string_view window, std::size_t at) {
    if (at < kHeaderBeforeValue) {
        return std::nullopt;
    }
    const std::size_t start = at - kHeaderBeforeValue;
    if (window.substr(start + kKeyOffset, kKeyBytes) != std::string_view(kVersionInfoKey.data(), kKeyBytes)) {
        return std::nullopt;
    }
    return lf_u16(window, start + kValueLengthOffset);
}

struct FdCloser {
    int fd = -1;
    ~FdCloser() {
        if (fd >= 0) ::close(fd);
    }
};

}  // namespace

ProductVersionResult gf_osReadProductVersion(const fs::path& file) {
    ProductVersionResult result;
    if (auto ec = gf_osInjectedFault(OsOperation::productVersionSize, file)) {
        result.status = ProductVersionStatus::sizeQueryFailed;
        result.systemError = ec.value();
        return result;
    }
    struct stat status {};
    if (::stat(file.c_str(), &status) != 0) {
        result.status = ProductVersionStatus::sizeQueryFailed;
        result.systemError = errno;
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.status = ProductVersionStatus::sizeQueryFailed;
        result.systemError = S_ISDIR(status.st_mode) ? EISDIR : EINVAL;
        return result;
    }
    if (auto ec = gf_osInjectedFault(OsOperation::productVersionRead, file)) {
        result.status = ProductVersionStatus::readFailed;
        result.systemError = ec.value();
        return result;
    }
    FdCloser in{::open(file.c_str(), O_RDONLY | O_CLOEXEC)};
    if (in.fd < 0) {
        result.status = ProductVersionStatus::readFailed;
        result.systemError = errno;
        return result;
    }

    // The window holds the bytes not yet searched plus enough of the bytes
    // before them for the key test; positions are searched once their 52
    // bytes have arrived (or the file has ended).
    std::string window;
    std::string chunk(kReadChunk, '\0');
    std::optional<std::string> firstBlock;
    std::size_t searchFrom = 0;  // in the window
    bool atEnd = false;
    while (!atEnd) {
        const ssize_t got = ::read(in.fd, chunk.data(), chunk.size());
        if (got < 0) {
            if (errno == EINTR) continue;
            result.status = ProductVersionStatus::readFailed;
            result.systemError = errno;
            return result;
        }
        atEnd = got == 0;
        window.append(chunk.data(), static_cast<std::size_t>(got));
        const std::size_t searchEnd =
            atEnd ? window.size() : (window.size() >= kFixedFileInfoSize ? window.size() - kFixedFileInfoSize + 1 : 0);
        const std::string_view view(window);
        for (std::size_t at = view.find(std::string_view(kSignatureBytes.data(), 4), searchFrom);
             at != std::string_view::npos && at < searchEnd;
             at = view.find(std::string_view(kSignatureBytes.data(), 4), at + 1)) {
            if (const auto valueLength = lf_keyedValueLength(view, at)) {
                return lf_parseBlock(lf_blockAt(view, at, valueLength));
            }
            if (!firstBlock) {
                firstBlock = std::string(lf_blockAt(view, at, std::nullopt));
            }
        }
        searchFrom = std::max(searchFrom, searchEnd);
        // Keep what is still to be searched and the header room before it.
        const std::size_t keepFrom = searchFrom >= kHeaderBeforeValue ? searchFrom - kHeaderBeforeValue : 0;
        window.erase(0, keepFrom);
        searchFrom -= keepFrom;
    }
    if (firstBlock) {
        return lf_parseBlock(*firstBlock);
    }
    return result;
}

ProgramFilesFolders gf_osProgramFilesFolders() {
    std::lock_guard lock(l_mutex);
    if (l_programFilesFolders) {
        return *l_programFilesFolders;
    }
    return ProgramFilesFolders{"/usr", "/opt"};
}

void gf_osSetProgramFilesFolders(std::optional<ProgramFilesFolders> folders) {
    std::lock_guard lock(l_mutex);
    l_programFilesFolders = std::move(folders);
}

bool gf_osIsElevated() {
    if (gf_osInjectedFault(OsOperation::elevationQuery, {})) {
        return false;
    }
    {
        std::lock_guard lock(l_mutex);
        if (l_elevated) {
            return *l_elevated;
        }
    }
    return ::geteuid() == 0;
}

void gf_osSetElevated(std::optional<bool> elevated) {
    std::lock_guard lock(l_mutex);
    l_elevated = elevated;
}

OsResult gf_osProbeWritable(const fs::path& folder) {
    const fs::path probe = folder / ".write_test.tmp";
    if (auto ec = gf_osInjectedFault(OsOperation::writeProbe, probe)) {
        return ec;
    }
    // Whatever stands under the name goes first, and the file is then made
    // anew: opening an existing name would follow a symbolic link planted
    // there and write into (and cut) a file elsewhere.
    ::unlink(probe.c_str());
    const int fd = ::open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600);
    if (fd < 0) {
        return std::error_code(errno, std::generic_category());
    }
    std::error_code ec;
    const char byte = 0;
    ssize_t written = 0;
    do {
        written = ::write(fd, &byte, 1);
    } while (written < 0 && errno == EINTR);
    if (written != 1) {
        ec = written < 0 ? std::error_code(errno, std::generic_category()) : std::make_error_code(std::errc::io_error);
    }
    if (::close(fd) != 0 && !ec) {
        ec = {errno, std::generic_category()};
    }
    ::unlink(probe.c_str());
    return ec;
}
