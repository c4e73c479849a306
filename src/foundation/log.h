#pragma once
// The program's one log, Log.txt in the installation folder. Every thread may
// write at any time; lines written while the file is closed are dropped.

#include <cstdint>
#include <fstream>
#include <mutex>
#include <string_view>

class Logger {
public:
    Logger() = default;
    ~Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    // Flushes what is pending and closes the file; the count is 0 afterwards.
    void close();

    std::mutex mutex;
    std::ofstream file;
    std::uint64_t unflushed = 0;  // bytes written since the last flush
    bool isOpen = false;          // guarded by mutex; mirrors file.is_open()
};

// The one log object, built on first use and never destroyed, so it exists
// before any global that logs in its constructor and outlives every user at
// exit; the file is closed (flushed) when the process exits.
Logger& gf_logger();

// Plain line, buffered; flushed once 4096 bytes have accumulated.
void gf_log(std::string_view text);
// Ten blanks, then the text; same flush rule as gf_log.
void gf_logContinuation(std::string_view text);
// "==> " and the text, flushed at once.
void gf_logError(std::string_view text);
// Plain line flushed at once.
void gf_logAndFlush(std::string_view text);
// Flushes when open; the count is 0 afterwards even when closed.
void gf_flushLog();
// As gf_log, but swallows every exception (lock failure, stream error).
void gf_logNoThrow(std::string_view text) noexcept;

// Keeps the previous Log.txt as Log0.txt, opens Log.txt afresh and writes the
// header line. Throws std::runtime_error "Failed to write file <path>" when the
// file cannot be opened.
void gf_openLogFile();

// The number of bytes written since the last flush (tests and benchmarks).
std::uint64_t gf_logUnflushedBytes();
