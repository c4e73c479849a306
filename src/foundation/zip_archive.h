#pragma once
// A zip archive held open through libzip. The object owns the archive handle:
// it is discarded (nothing written) when the object goes without close(), so
// no path out of a function leaks the handle or half-writes an archive.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

struct zip;

// One entry of the archive's central directory.
struct ZipEntry {
    std::uint64_t index = 0;
    std::string name;
    std::uint64_t size = 0;  // uncompressed, as the central directory declares it

    // Folder entries are named with a trailing '/'.
    bool isFolder() const { return !name.empty() && name.back() == '/'; }
};

class ZipArchive {
public:
    ZipArchive() = default;
    ~ZipArchive();
    ZipArchive(ZipArchive&& other) noexcept;
    ZipArchive& operator=(ZipArchive&& other) noexcept;
    ZipArchive(const ZipArchive&) = delete;
    ZipArchive& operator=(const ZipArchive&) = delete;

    // Opens the archive with libzip's open flags (ZIP_RDONLY, ZIP_CREATE, ...);
    // an archive already held is discarded first. False on failure, with the
    // reason in errorText().
    bool open(const std::filesystem::path& path, int flags);
    // Read-only, without libzip's consistency check.
    bool openForReading(const std::filesystem::path& path);
    bool isOpen() const { return handle_ != nullptr; }

    // The entries in index order; nothing (reason in errorText()) when one of
    // them cannot be read.
    std::optional<std::vector<ZipEntry>> entries();

    // Writes the entry's uncompressed content to the stream, chunkBytes at a
    // time and never more than the size the central directory declares. 0
    // when exactly the declared content was read (libzip also checks its CRC);
    // ZIP_ER_INCONS when the entry holds more (the copy stops one byte past
    // the declared size, having written only the declared bytes) or fewer
    // bytes; otherwise libzip's error code (ZIP_ER_...). The reason is in
    // errorText(). The stream's own state is the caller's to check.
    int copyEntry(std::uint64_t index, std::ostream& out, std::size_t chunkBytes);

    // Adds (or replaces) the entry `name` holding the bytes. The archive keeps
    // the bytes until it is closed or discarded, when libzip has read them.
    // False (reason in errorText()) when the entry cannot be added.
    bool addData(const std::string& name, std::string bytes);

    // Writes pending changes and releases the archive. False (reason in
    // errorText()) when the archive could not be written; it is discarded then.
    bool close();
    // Releases the archive without writing anything.
    void discard() noexcept;

    // The libzip handle, for operations this class does not wrap; null while
    // nothing is open. Stays owned by this object.
    zip* handle() const { return handle_; }
    const std::string& errorText() const { return error_; }

private:
    zip* handle_ = nullptr;
    std::string error_;
    std::filesystem::path path_;
    // The bytes of entries added, alive until libzip has written them.
    std::vector<std::unique_ptr<std::string>> pending_;
};

// --- seam for tests ------------------------------------------------------------

// The steps of writing an archive a fault hook can make fail: opening with
// ZIP_CREATE, adding an entry, and closing (the write itself).
enum class ZipWriteStep { open, add, close };
// Called before each such step with the archive's path; true makes the step
// fail as if libzip had refused it (the archive is then discarded on close).
using ZipWriteFaultHook = std::function<bool(ZipWriteStep step, const std::filesystem::path& archive)>;
// Installs the hook (an empty one removes it). Thread-safe.
void gf_setZipWriteFaultHook(ZipWriteFaultHook hook);
