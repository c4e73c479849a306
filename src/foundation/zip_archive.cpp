#include "foundation/zip_archive.h"

#include <algorithm>
#include <mutex>
#include <utility>

#include <fmt/format.h>

#include <zip.h>

namespace {

std::string lf_errorText(int code) {
    zip_error_t error;
    zip_error_init_with_code(&error, code);
    std::string text = zip_error_strerror(&error);
    zip_error_fini(&error);
    return text;
}

std::mutex l_faultMutex;
ZipWriteFaultHook l_faultHook;  // guarded by l_faultMutex

bool lf_injectedFault(ZipWriteStep step, const std::filesystem::path& path) {
    ZipWriteFaultHook hook;
    {
        std::lock_guard lock(l_faultMutex);
        hook = l_faultHook;
    }
    return hook && hook(step, path);
}

constexpr const char* kInjectedFault = "write refused (injected fault)";

}  // namespace

void gf_setZipWriteFaultHook(ZipWriteFaultHook hook) {
    std::lock_guard lock(l_faultMutex);
    l_faultHook = std::move(hook);
}

ZipArchive::~ZipArchive() { discard(); }

ZipArchive::ZipArchive(ZipArchive&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)),
      error_(std::move(other.error_)),
      path_(std::move(other.path_)),
      pending_(std::move(other.pending_)) {}

ZipArchive& ZipArchive::operator=(ZipArchive&& other) noexcept {
    if (this != &other) {
        discard();
        handle_ = std::exchange(other.handle_, nullptr);
        error_ = std::move(other.error_);
        path_ = std::move(other.path_);
        pending_ = std::move(other.pending_);
    }
    return *this;
}

bool ZipArchive::open(const std::filesystem::path& path, int flags) {
    discard();
    error_.clear();
    path_ = path;
    if ((flags & ZIP_CREATE) != 0 && lf_injectedFault(ZipWriteStep::open, path)) {
        error_ = kInjectedFault;
        return false;
    }
    int code = 0;
    handle_ = zip_open(path.c_str(), flags, &code);
    if (handle_ == nullptr) {
        error_ = lf_errorText(code);
        return false;
    }
    return true;
}

bool ZipArchive::openForReading(const std::filesystem::path& path) { return open(path, ZIP_RDONLY); }

std::optional<std::vector<ZipEntry>> ZipArchive::entries() {
    if (handle_ == nullptr) {
        error_ = "no archive open";
        return std::nullopt;
    }
    const zip_int64_t count = zip_get_num_entries(handle_, 0);
    if (count < 0) {
        error_ = zip_strerror(handle_);
        return std::nullopt;
    }
    std::vector<ZipEntry> result;
    result.reserve(static_cast<std::size_t>(count));
    for (zip_int64_t i = 0; i < count; ++i) {
        zip_stat_t stat;
        zip_stat_init(&stat);
        if (zip_stat_index(handle_, static_cast<zip_uint64_t>(i), 0, &stat) != 0) {
            error_ = zip_strerror(handle_);
            return std::nullopt;
        }
        ZipEntry entry;
        entry.index = static_cast<std::uint64_t>(i);
        if ((stat.valid & ZIP_STAT_NAME) != 0 && stat.name != nullptr) {
            entry.name = stat.name;
        }
        if ((stat.valid & ZIP_STAT_SIZE) != 0) {
            entry.size = stat.size;
        }
        result.push_back(std::move(entry));
    }
    return result;
}

int ZipArchive::copyEntry(std::uint64_t index, std::ostream& out, std::size_t chunkBytes) {
    if (handle_ == nullptr) {
        error_ = "no archive open";
        return ZIP_ER_INVAL;
    }
    if (chunkBytes == 0) {
        error_ = lf_errorText(ZIP_ER_INVAL);
        return ZIP_ER_INVAL;
    }
    // libzip hands out what the compressed stream inflates to, whatever the
    // central directory declares: a few kilobytes may inflate to gigabytes.
    // So the declared size bounds the copy, and one byte read beyond it
    // proves the entry lies.
    zip_stat_t stat;
    zip_stat_init(&stat);
    if (zip_stat_index(handle_, index, 0, &stat) != 0 || (stat.valid & ZIP_STAT_SIZE) == 0) {
        zip_error_t* error = zip_get_error(handle_);
        const int code = zip_error_code_zip(error);
        error_ = code != ZIP_ER_OK ? zip_error_strerror(error) : "the entry declares no size";
        return code != ZIP_ER_OK ? code : ZIP_ER_INCONS;
    }
    const std::uint64_t declared = stat.size;
    zip_file_t* file = zip_fopen_index(handle_, index, 0);
    if (file == nullptr) {
        zip_error_t* error = zip_get_error(handle_);
        error_ = zip_error_strerror(error);
        const int code = zip_error_code_zip(error);
        return code != ZIP_ER_OK ? code : ZIP_ER_INTERNAL;
    }
    std::string buffer(chunkBytes, '\0');
    std::uint64_t copied = 0;
    int result = ZIP_ER_OK;
    for (;;) {
        const std::uint64_t room = declared - copied + 1;
        const auto wanted = static_cast<zip_uint64_t>(std::min<std::uint64_t>(buffer.size(), room));
        const zip_int64_t got = zip_fread(file, buffer.data(), wanted);
        if (got < 0) {
            zip_error_t* error = zip_file_get_error(file);
            error_ = zip_error_strerror(error);
            result = zip_error_code_zip(error);
            if (result == ZIP_ER_OK) {
                result = ZIP_ER_READ;
            }
            break;
        }
        if (got == 0) {
            if (copied < declared) {
                result = ZIP_ER_INCONS;
                error_ = fmt::format("the entry ends after {} of its declared {} bytes", copied, declared);
            }
            break;
        }
        const auto kept = std::min<std::uint64_t>(static_cast<std::uint64_t>(got), declared - copied);
        out.write(buffer.data(), static_cast<std::streamsize>(kept));
        copied += kept;
        if (kept < static_cast<std::uint64_t>(got)) {
            result = ZIP_ER_INCONS;
            error_ = fmt::format("the entry holds more than its declared {} bytes", declared);
            break;
        }
        if (!out) {
            break;  // the caller sees the stream's state
        }
    }
    const int closed = zip_fclose(file);
    if (result == ZIP_ER_OK && closed != 0) {
        result = closed;
        error_ = lf_errorText(closed);
    }
    return result;
}

bool ZipArchive::addData(const std::string& name, std::string bytes) {
    if (handle_ == nullptr) {
        error_ = "no archive open";
        return false;
    }
    if (lf_injectedFault(ZipWriteStep::add, path_)) {
        error_ = kInjectedFault;
        return false;
    }
    auto owned = std::make_unique<std::string>(std::move(bytes));
    // The source copies nothing: libzip reads the bytes when it writes the
    // archive, so they stay in pending_ until then.
    zip_source_t* source = zip_source_buffer(handle_, owned->data(), owned->size(), 0);
    if (source == nullptr) {
        error_ = zip_strerror(handle_);
        return false;
    }
    if (zip_file_add(handle_, name.c_str(), source, ZIP_FL_ENC_UTF_8 | ZIP_FL_OVERWRITE) < 0) {
        error_ = zip_strerror(handle_);
        zip_source_free(source);
        return false;
    }
    pending_.push_back(std::move(owned));
    return true;
}

bool ZipArchive::close() {
    if (handle_ == nullptr) {
        return true;
    }
    if (!pending_.empty() && lf_injectedFault(ZipWriteStep::close, path_)) {
        error_ = kInjectedFault;
        discard();
        return false;
    }
    if (zip_close(handle_) != 0) {
        error_ = zip_strerror(handle_);
        discard();
        return false;
    }
    handle_ = nullptr;
    pending_.clear();
    return true;
}

void ZipArchive::discard() noexcept {
    if (handle_ != nullptr) {
        zip_discard(handle_);
        handle_ = nullptr;
    }
    pending_.clear();
}
