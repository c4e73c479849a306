#pragma once
// The operating-system services the program needs, on Linux: the user's known
// folders, moving and replacing files durably, opening a folder in the file
// manager. Every operation that can fail passes through a fault hook, so tests
// can make it fail even when they run as root, where permissions cannot.

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

// What a file operation gives back: success, or the error that stopped it.
// It cannot be tested as a bool on purpose: a plain std::error_code reads
// "true" on failure, so `if (!move(...))` meant "if the move worked". Callers
// ask failed() or succeeded(). It still converts to std::error_code, for
// callers that keep the error under that name.
class OsResult {
public:
    OsResult() noexcept = default;
    OsResult(std::error_code error) noexcept : m_error(error) {}

    bool failed() const noexcept { return static_cast<bool>(m_error); }
    bool succeeded() const noexcept { return !m_error; }
    // The error; empty after success.
    const std::error_code& error() const noexcept { return m_error; }
    std::string message() const { return m_error.message(); }
    operator std::error_code() const noexcept { return m_error; }

private:
    std::error_code m_error;
};

// The user folders the program keeps data in.
enum class KnownFolder {
    roamingAppData,  // $TAVO_APPDATA_DIR, else $XDG_CONFIG_HOME, else ~/.config
    localAppData,    // $TAVO_LOCALAPPDATA_DIR, else $XDG_DATA_HOME, else ~/.local/share
};

// The folder, or nothing when neither the variables nor a home folder tell it.
// The folder is not created.
std::optional<std::filesystem::path> gf_osKnownFolder(KnownFolder folder);

// Renames `from` over `to`, replacing it. Across file systems it copies to a
// temporary file beside the target, renames that over the target and removes
// the source. With write-through the data and the folder entry reach the disk
// before the call returns (a folder sync that fails after the rename is logged:
// the file is in place, so the move has succeeded).
OsResult gf_osMoveFile(const std::filesystem::path& from, const std::filesystem::path& to, bool writeThrough);
// Copies `from` over `to` through a temporary file, so a failed copy leaves an
// existing target untouched.
OsResult gf_osCopyFile(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes a file; a missing file is no error.
OsResult gf_osRemoveFile(const std::filesystem::path& path);
// Writes the bytes as the file's new content: a temporary file beside it,
// written, flushed to disk and renamed over the target. On any failure the
// temporary file is removed and the old content stays.
OsResult gf_osReplaceFileContent(const std::filesystem::path& path, std::string_view bytes);

// Renames the folder `from` to `to`, which must not exist: an existing target
// (even an empty folder) is an error and stays untouched. The rename reaches
// the disk before the call returns.
OsResult gf_osRenameFolder(const std::filesystem::path& from, const std::filesystem::path& to);
// Removes the folder with everything in it (a file is removed too); a missing
// path is no error. The removal reaches the disk before the call returns.
OsResult gf_osRemoveTree(const std::filesystem::path& path);
// Creates the folder and its missing parents, durably; an existing folder is
// no error.
OsResult gf_osCreateFolder(const std::filesystem::path& path);
// Flushes the folder's entries (names created, renamed or removed) to disk.
OsResult gf_osSyncFolder(const std::filesystem::path& folder);

// Opens the folder in the desktop's file manager (xdg-open, detached: the
// call does not wait for the file manager). False when it could not start.
bool gf_osOpenInFileManager(const std::filesystem::path& folder);

// --- seams for tests ---------------------------------------------------------

// The operations a fault hook can make fail. syncFolder is the sync of a
// folder after a file was renamed into it (`from` is the folder); its failure
// is logged, the file operation still succeeds.
enum class OsOperation {
    move,
    copy,
    remove,
    replace,
    openInFileManager,
    productVersionSize,  // the size query of an installer's version data (platform/os/installer.h)
    productVersionRead,  // reading that data
    writeProbe,          // the probe file of gf_osProbeWritable
    elevationQuery,      // asking whether the process has administrator rights
    renameFolder,        // gf_osRenameFolder
    removeTree,          // gf_osRemoveTree
    createFolder,        // gf_osCreateFolder
    syncFolder,          // the folder sync after a rename (logged, never a failure)
    listFolder,          // opening a folder to list it (platform/os/sorted_walk.h)
    readEntry,           // reading the type of one entry of a listing
};

// Called before each operation with its paths (`to` empty where there is
// none); a non-zero error code makes the operation fail with it, untouched.
using OsFaultHook =
    std::function<std::error_code(OsOperation, const std::filesystem::path& from, const std::filesystem::path& to)>;
// Installs the hook (an empty one removes it). Thread-safe.
void gf_osSetFaultHook(OsFaultHook hook);
// What the installed hook says of an operation (no error without a hook); for
// the operating-system layers in other files of this folder.
std::error_code gf_osInjectedFault(OsOperation op, const std::filesystem::path& from,
                                   const std::filesystem::path& to = {});

// Starts a detached program; true when it started. The default runs it.
using OsLauncher = std::function<bool(const std::vector<std::string>& argv)>;
// Replaces the launcher (an empty one restores the default), so tests record
// what would have been started instead of starting it.
void gf_osSetLauncher(OsLauncher launcher);

// Installs a fault hook for the life of a scope.
class ScopedOsFaultHook {
public:
    explicit ScopedOsFaultHook(OsFaultHook hook) { gf_osSetFaultHook(std::move(hook)); }
    ~ScopedOsFaultHook() { gf_osSetFaultHook({}); }
    ScopedOsFaultHook(const ScopedOsFaultHook&) = delete;
    ScopedOsFaultHook& operator=(const ScopedOsFaultHook&) = delete;
};

// Records, for the life of a scope, the programs that would have been started.
class ScopedOsLaunchRecorder {
public:
    ScopedOsLaunchRecorder();
    ~ScopedOsLaunchRecorder();
    ScopedOsLaunchRecorder(const ScopedOsLaunchRecorder&) = delete;
    ScopedOsLaunchRecorder& operator=(const ScopedOsLaunchRecorder&) = delete;

    // The argument lists recorded so far, in order.
    std::vector<std::vector<std::string>> launches() const;
    // What the recorded launches report (true: started).
    void setResult(bool started);

private:
    struct State;
    std::shared_ptr<State> state_;
};

// --- single instance -----------------------------------------------------------

// The folder of the single-instance lock file: /tmp, whatever the
// environment says, so that every copy a user starts finds the same file.
std::filesystem::path gf_osSingleInstanceFolder();

// The lock that lets one copy of the program run per user: an exclusive,
// non-blocking flock on "TAVO-<uid>.lock" held until the object goes away,
// which the program never does before it exits (the system releases it then).
class SingleInstanceLock {
public:
    enum class Outcome : std::uint8_t {
        Held,           // this process holds the lock
        HeldByAnother,  // another process holds it: another copy runs
        Refused,        // the lock file cannot be used; error() says why
    };

    SingleInstanceLock() = default;
    ~SingleInstanceLock();
    SingleInstanceLock(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock& operator=(SingleInstanceLock&& other) noexcept;
    SingleInstanceLock(const SingleInstanceLock&) = delete;
    SingleInstanceLock& operator=(const SingleInstanceLock&) = delete;

    // Takes the lock in the folder (the default folder when empty). The file
    // is opened without following a symbolic link and must be a plain file of
    // this user: the folder is shared by every user, and a lock that cannot
    // be used cannot tell whether another copy runs, so it is refused rather
    // than ignored.
    Outcome acquire(const std::filesystem::path& folder = {});
    const std::string& error() const { return m_error; }
    bool held() const { return m_fd >= 0; }
    std::filesystem::path path() const { return m_path; }

private:
    int m_fd = -1;
    std::filesystem::path m_path;
    std::string m_error;
};
