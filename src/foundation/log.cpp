#include "foundation/log.h"

#include <cstdlib>

namespace {

constexpr std::uint64_t kFlushThreshold = 4096;
constexpr std::string_view kErrorPrefix = "==> ";
constexpr std::string_view kContinuationPrefix = "          ";  // ten blanks

enum class Flush { byThreshold, now };

void lf_writeLine(std::string_view prefix, std::string_view text, Flush flush) {
    Logger& logger = gf_logger();
    std::lock_guard lock(logger.mutex);
    if (!logger.isOpen) {
        return;
    }
    if (!prefix.empty()) {
        logger.file.write(prefix.data(), static_cast<std::streamsize>(prefix.size()));
    }
    logger.file.write(text.data(), static_cast<std::streamsize>(text.size()));
    logger.file.put('\n');
    if (flush == Flush::now) {
        logger.file.flush();
        logger.unflushed = 0;
        return;
    }
    logger.unflushed += prefix.size() + text.size() + 1;
    if (logger.unflushed >= kFlushThreshold) {
        logger.file.flush();
        logger.unflushed = 0;
    }
}

}  // namespace

Logger::~Logger() { close(); }

void Logger::close() {
    std::lock_guard lock(mutex);
    if (isOpen) {
        file.flush();
    }
    unflushed = 0;
    if (isOpen) {
        file.close();
        if (file.is_open()) {
            file.setstate(std::ios::failbit);
        }
        isOpen = false;
    }
}

// The logger is never destroyed: a global whose destructor logs at exit must
// find a live lock and stream, whatever the order in which the translation
// units were initialised. Closing (and so flushing) at exit is registered
// with the first use; lines written after it are dropped like any line
// written while the log is closed.
Logger& gf_logger() {
    static Logger* const logger = [] {
        auto* created = new Logger;
        std::atexit([] { gf_logger().close(); });
        return created;
    }();
    return *logger;
}

void gf_log(std::string_view text) { lf_writeLine({}, text, Flush::byThreshold); }

void gf_logContinuation(std::string_view text) {
    lf_writeLine(kContinuationPrefix, text, Flush::byThreshold);
}

void gf_logError(std::string_view text) { lf_writeLine(kErrorPrefix, text, Flush::now); }

void gf_logAndFlush(std::string_view text) { lf_writeLine({}, text, Flush::now); }

void gf_flushLog() {
    Logger& logger = gf_logger();
    std::lock_guard lock(logger.mutex);
    if (logger.isOpen) {
        logger.file.flush();
    }
    logger.unflushed = 0;
}

void gf_logNoThrow(std::string_view text) noexcept {
    try {
        gf_log(text);
    } catch (...) {
        // Callers of this writer must not see a failing lock or stream.
    }
}

std::uint64_t gf_logUnflushedBytes() {
    Logger& logger = gf_logger();
    std::lock_guard lock(logger.mutex);
    return logger.unflushed;
}
