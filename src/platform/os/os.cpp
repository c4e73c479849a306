#include "platform/os/os.h"

#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <utility>

#include <fcntl.h>
#include <stdio.h>
#include <pwd.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fmt/format.h>

#include "foundation/log.h"

namespace fs = std::filesystem;

namespace {

std::mutex l_seamMutex;
OsFaultHook l_faultHook;  // guarded by l_seamMutex
OsLauncher l_launcher;    // guarded by l_seamMutex
std::atomic<unsigned> l_tempCounter{0};

std::error_code lf_injectedFault(OsOperation op, const fs::path& from, const fs::path& to) {
    OsFaultHook hook;
    {
        std::lock_guard lock(l_seamMutex);
        hook = l_faultHook;
    }
    return hook ? hook(op, from, to) : std::error_code{};
}

std::error_code lf_errno() { return {errno, std::generic_category()}; }

std::string lf_env(const char* name) {
    const char* value = std::getenv(name);
    return value ? std::string(value) : std::string();
}

std::optional<fs::path> lf_homeFolder() {
    std::string home = lf_env("HOME");
    if (home.empty()) {
        if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir) {
            home = pw->pw_dir;
        }
    }
    if (home.empty()) {
        return std::nullopt;
    }
    return fs::path(home);
}

// A name beside the target that no other writer in this process uses.
fs::path lf_tempPathBeside(const fs::path& target) {
    fs::path temp = target;
    temp += ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(l_tempCounter++);
    return temp;
}

// fsync of whatever the path names, opened read-only with the extra flags.
std::error_code lf_syncPath(const fs::path& path, int extraFlags) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | extraFlags);
    if (fd < 0) {
        return lf_errno();
    }
    std::error_code ec;
    if (::fsync(fd) != 0) {
        ec = lf_errno();
    }
    ::close(fd);
    return ec;
}

std::error_code lf_syncFile(const fs::path& path) { return lf_syncPath(path, 0); }

// fsync of the folder that holds `path`: where the caller must know that a
// folder change reached the disk (the scan transaction's renames), the error is
// returned.
std::error_code lf_syncFolderOf(const fs::path& path) {
    fs::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    return lf_syncPath(folder, O_DIRECTORY);
}

// fsync of the folder a file was renamed into, so that the rename survives a
// crash. The rename itself has succeeded by then: the file is in place with
// its new content, and a caller told otherwise would report a saved file as
// lost. A failed sync is therefore logged, not returned.
void lf_syncFolderAfterRename(const fs::path& path) {
    fs::path folder = path.parent_path();
    if (folder.empty()) {
        folder = ".";
    }
    std::error_code ec = lf_injectedFault(OsOperation::syncFolder, folder, {});
    if (!ec) {
        ec = lf_syncPath(folder, O_DIRECTORY);
    }
    if (ec) {
        gf_logError(fmt::format("'{}' is in place, but its folder could not be synced to disk: {}", path.string(),
                                ec.message()));
    }
}

// The last step of a write through a temporary file: unless an earlier step
// failed, the file is renamed over the target and the rename made durable;
// on any failure the temporary file is removed.
std::error_code lf_finishReplacing(const fs::path& temp, const fs::path& target, std::error_code ec) {
    if (!ec && ::rename(temp.c_str(), target.c_str()) != 0) {
        ec = lf_errno();
    }
    if (ec) {
        ::unlink(temp.c_str());
        return ec;
    }
    lf_syncFolderAfterRename(target);
    return {};
}

std::error_code lf_writeAll(int fd, std::string_view bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR) {
                continue;
            }
            return lf_errno();
        }
        bytes.remove_prefix(static_cast<std::size_t>(written));
    }
    return {};
}

// Writes the bytes into a new temporary file beside the target, flushed to
// disk, and renames it over the target. The temporary file never survives.
std::error_code lf_writeReplacing(const fs::path& target, std::string_view bytes) {
    const fs::path temp = lf_tempPathBeside(target);
    // A replaced file keeps the permissions it had (a credential the user
    // restricted stays restricted); a new file gets the usual 0644.
    struct stat existing {};
    const bool hadTarget = ::stat(target.c_str(), &existing) == 0;
    const int fd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
    if (fd < 0) {
        return lf_errno();
    }
    std::error_code ec;
    if (hadTarget && ::fchmod(fd, existing.st_mode & 07777) != 0) {
        ec = lf_errno();
    }
    if (!ec) {
        ec = lf_writeAll(fd, bytes);
    }
    if (!ec && ::fsync(fd) != 0) {
        ec = lf_errno();
    }
    if (::close(fd) != 0 && !ec) {
        ec = lf_errno();
    }
    return lf_finishReplacing(temp, target, ec);
}

// Copies through a temporary file beside the target.
std::error_code lf_copyReplacing(const fs::path& from, const fs::path& to) {
    const fs::path temp = lf_tempPathBeside(to);
    std::error_code ec;
    fs::copy_file(from, temp, fs::copy_options::overwrite_existing, ec);
    if (!ec) {
        ec = lf_syncFile(temp);
    }
    return lf_finishReplacing(temp, to, ec);
}

// Starts argv[0] (searched in PATH) in a new session, without waiting for it:
// a middle child forks the program and exits at once, so the program is
// re-parented and never becomes a zombie of ours. A close-on-exec pipe tells
// whether exec succeeded.
bool lf_launchDetached(const std::vector<std::string>& argv) {
    if (argv.empty()) {
        return false;
    }
    std::vector<char*> args;
    args.reserve(argv.size() + 1);
    for (const auto& arg : argv) {
        args.push_back(const_cast<char*>(arg.c_str()));
    }
    args.push_back(nullptr);

    int pipeFds[2];
    if (::pipe2(pipeFds, O_CLOEXEC) != 0) {
        return false;
    }
    const pid_t middle = ::fork();
    if (middle < 0) {
        ::close(pipeFds[0]);
        ::close(pipeFds[1]);
        return false;
    }
    if (middle == 0) {
        ::close(pipeFds[0]);
        ::setsid();
        const pid_t child = ::fork();
        if (child == 0) {
            const int devNull = ::open("/dev/null", O_RDWR);
            if (devNull >= 0) {
                ::dup2(devNull, 0);
                ::dup2(devNull, 1);
                ::dup2(devNull, 2);
            }
            ::execvp(args[0], args.data());
            const int error = errno;
            [[maybe_unused]] auto ignored = ::write(pipeFds[1], &error, sizeof error);
            ::_exit(127);
        }
        if (child < 0) {
            const int error = errno;
            [[maybe_unused]] auto ignored = ::write(pipeFds[1], &error, sizeof error);
        }
        ::_exit(0);
    }
    ::close(pipeFds[1]);
    int status = 0;
    while (::waitpid(middle, &status, 0) < 0 && errno == EINTR) {
    }
    int error = 0;
    ssize_t got = 0;
    do {
        got = ::read(pipeFds[0], &error, sizeof error);
    } while (got < 0 && errno == EINTR);
    ::close(pipeFds[0]);
    return got == 0;  // end of file: exec closed the pipe, the program runs
}

}  // namespace

std::optional<fs::path> gf_osKnownFolder(KnownFolder folder) {
    const bool roaming = folder == KnownFolder::roamingAppData;
    if (std::string own = lf_env(roaming ? "TAVO_APPDATA_DIR" : "TAVO_LOCALAPPDATA_DIR"); !own.empty()) {
        return fs::path(own);
    }
    if (std::string xdg = lf_env(roaming ? "XDG_CONFIG_HOME" : "XDG_DATA_HOME"); !xdg.empty()) {
        return fs::path(xdg);
    }
    const auto home = lf_homeFolder();
    if (!home) {
        return std::nullopt;
    }
    return roaming ? *home / ".config" : *home / ".local" / "share";
}

OsResult gf_osMoveFile(const fs::path& from, const fs::path& to, bool writeThrough) {
    if (auto ec = lf_injectedFault(OsOperation::move, from, to)) {
        return ec;
    }
    if (writeThrough) {
        // The data must be on disk before the new name points at it.
        if (auto ec = lf_syncFile(from); ec && ec != std::errc::no_such_file_or_directory) {
            return ec;
        }
    }
    if (::rename(from.c_str(), to.c_str()) == 0) {
        if (writeThrough) {
            lf_syncFolderAfterRename(to);
        }
        return {};
    }
    if (errno != EXDEV) {
        return lf_errno();
    }
    // Another file system: the rename may copy, as a move across volumes does.
    if (auto ec = lf_copyReplacing(from, to)) {
        return ec;
    }
    if (::unlink(from.c_str()) != 0) {
        return lf_errno();
    }
    if (writeThrough) {
        lf_syncFolderAfterRename(from);
    }
    return {};
}

OsResult gf_osCopyFile(const fs::path& from, const fs::path& to) {
    if (auto ec = lf_injectedFault(OsOperation::copy, from, to)) {
        return ec;
    }
    return lf_copyReplacing(from, to);
}

OsResult gf_osRemoveFile(const fs::path& path) {
    if (auto ec = lf_injectedFault(OsOperation::remove, path, {})) {
        return ec;
    }
    if (::unlink(path.c_str()) != 0 && errno != ENOENT) {
        return lf_errno();
    }
    return {};
}

OsResult gf_osReplaceFileContent(const fs::path& path, std::string_view bytes) {
    if (auto ec = lf_injectedFault(OsOperation::replace, path, {})) {
        return ec;
    }
    return lf_writeReplacing(path, bytes);
}

OsResult gf_osSyncFolder(const fs::path& folder) {
    return lf_syncPath(folder.empty() ? fs::path(".") : folder, O_DIRECTORY);
}

OsResult gf_osRenameFolder(const fs::path& from, const fs::path& to) {
    if (auto ec = lf_injectedFault(OsOperation::renameFolder, from, to)) {
        return ec;
    }
    // Linux would replace an empty target folder; the target must be missing.
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
        if (errno != EINVAL) {
            return lf_errno();
        }
        // A file system without the flag: test, then rename.
        struct stat target {};
        if (::lstat(to.c_str(), &target) == 0) {
            return std::make_error_code(std::errc::file_exists);
        }
        if (::rename(from.c_str(), to.c_str()) != 0) {
            return lf_errno();
        }
    }
    if (auto ec = lf_syncFolderOf(to)) {
        return ec;
    }
    return from.parent_path() == to.parent_path() ? std::error_code{} : lf_syncFolderOf(from);
}

OsResult gf_osRemoveTree(const fs::path& path) {
    if (auto ec = lf_injectedFault(OsOperation::removeTree, path, {})) {
        return ec;
    }
    std::error_code ec;
    fs::remove_all(path, ec);
    if (ec) {
        return ec;
    }
    return lf_syncFolderOf(path);
}

OsResult gf_osCreateFolder(const fs::path& path) {
    if (auto ec = lf_injectedFault(OsOperation::createFolder, path, {})) {
        return ec;
    }
    std::error_code ec;
    fs::create_directories(path, ec);
    if (ec) {
        return ec;
    }
    return lf_syncFolderOf(path);
}

bool gf_osOpenInFileManager(const fs::path& folder) {
    if (lf_injectedFault(OsOperation::openInFileManager, folder, {})) {
        return false;
    }
    OsLauncher launcher;
    {
        std::lock_guard lock(l_seamMutex);
        launcher = l_launcher;
    }
    const std::vector<std::string> argv{"xdg-open", folder.string()};
    return launcher ? launcher(argv) : lf_launchDetached(argv);
}

std::error_code gf_osInjectedFault(OsOperation op, const fs::path& from, const fs::path& to) {
    return lf_injectedFault(op, from, to);
}

void gf_osSetFaultHook(OsFaultHook hook) {
    std::lock_guard lock(l_seamMutex);
    l_faultHook = std::move(hook);
}

void gf_osSetLauncher(OsLauncher launcher) {
    std::lock_guard lock(l_seamMutex);
    l_launcher = std::move(launcher);
}

struct ScopedOsLaunchRecorder::State {
    mutable std::mutex mutex;
    std::vector<std::vector<std::string>> launches;
    bool result = true;
};

ScopedOsLaunchRecorder::ScopedOsLaunchRecorder() : state_(std::make_shared<State>()) {
    gf_osSetLauncher([state = state_](const std::vector<std::string>& argv) {
        std::lock_guard lock(state->mutex);
        state->launches.push_back(argv);
        return state->result;
    });
}

ScopedOsLaunchRecorder::~ScopedOsLaunchRecorder() { gf_osSetLauncher({}); }

std::vector<std::vector<std::string>> ScopedOsLaunchRecorder::launches() const {
    std::lock_guard lock(state_->mutex);
    return state_->launches;
}

void ScopedOsLaunchRecorder::setResult(bool started) {
    std::lock_guard lock(state_->mutex);
    state_->result = started;
}

// --- single instance -----------------------------------------------------------

std::filesystem::path gf_osSingleInstanceFolder() { return "/tmp"; }

SingleInstanceLock::~SingleInstanceLock() {
    if (m_fd >= 0) ::close(m_fd);
}

SingleInstanceLock::SingleInstanceLock(SingleInstanceLock&& other) noexcept
    : m_fd(std::exchange(other.m_fd, -1)), m_path(std::move(other.m_path)), m_error(std::move(other.m_error)) {}

SingleInstanceLock& SingleInstanceLock::operator=(SingleInstanceLock&& other) noexcept {
    if (this != &other) {
        if (m_fd >= 0) ::close(m_fd);
        m_fd = std::exchange(other.m_fd, -1);
        m_path = std::move(other.m_path);
        m_error = std::move(other.m_error);
    }
    return *this;
}

SingleInstanceLock::Outcome SingleInstanceLock::acquire(const std::filesystem::path& folder) {
    if (m_fd >= 0) return Outcome::Held;
    const std::filesystem::path dir = folder.empty() ? gf_osSingleInstanceFolder() : folder;
    // The user id in the name keeps one user's copy from blocking another's
    // in the shared folder.
    m_path = dir / ("TAVO-" + std::to_string(::geteuid()) + ".lock");
    m_error.clear();
    auto refuse = [this](const std::string& why) {
        m_error = fmt::format("the single-instance lock {} {}", m_path.string(), why);
        return Outcome::Refused;
    };
    // Never through a link someone else placed there; never blocking on a
    // special file.
    const int fd = ::open(m_path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0600);
    if (fd < 0) {
        const int error = errno;
        if (error == ELOOP) return refuse("is a symbolic link");
        return refuse(fmt::format("cannot be opened: {}", std::strerror(error)));
    }
    struct stat info {};
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        return refuse("is not a plain file");
    }
    if (info.st_uid != ::geteuid()) {
        ::close(fd);
        return refuse(fmt::format("belongs to another user (uid {})", info.st_uid));
    }
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        if (error == EWOULDBLOCK) return Outcome::HeldByAnother;
        return refuse(fmt::format("cannot be locked: {}", std::strerror(error)));
    }
    m_fd = fd;
    return Outcome::Held;
}
