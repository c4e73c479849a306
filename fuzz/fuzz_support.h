#pragma once
// What the fuzz targets share: a scratch folder for readers that take a file,
// and the clean-up after each input so that nothing piles up between inputs.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string_view>

#include "feed/records.h"

namespace tavo::fuzz {

// A folder of this process (in memory where possible), removed at exit.
const std::filesystem::path& scratchFolder();

// Writes the bytes as the whole content of scratchFolder()/name.
std::filesystem::path writeScratchFile(std::string_view name, const std::uint8_t* data, std::size_t size);

// A target's own check: a broken one escapes as an exception, which the
// driver reports with the seed, the run and the input (a trap would end the
// process without a word).
inline void check(bool holds, const char* what) {
    if (!holds) throw std::logic_error(what);
}

inline std::string_view asText(const std::uint8_t* data, std::size_t size) {
    return {reinterpret_cast<const char*>(data), size};
}

// Makes scratchFolder() the working folder for the length of one input, for
// readers of files the program finds relative to it. The old working folder
// comes back afterwards, so the fuzzer's own relative paths stay valid.
class InScratchFolder {
public:
    InScratchFolder();
    ~InScratchFolder();
    InScratchFolder(const InScratchFolder&) = delete;
    InScratchFolder& operator=(const InScratchFolder&) = delete;

private:
    std::filesystem::path previous_;
};

// Writes the bytes, encrypted as the program's data files are, to `path`
// (relative to the working folder; its folder is created).
void writeEncryptedInputFile(const std::filesystem::path& path, const std::uint8_t* data, std::size_t size);

// Writes the text as the whole content of the file (throws when it cannot).
void writeFileAt(const std::filesystem::path& path, std::string_view text);

// Applies and drops what the reader queued for the window (no window runs
// here, so the queue would otherwise keep every status line).
void settle();

// The shared state the traffic readers build on, as the program has it at the
// start of a run: default settings, the source chosen (RT Direct or the RT
// App), the sample aircraft database (read once per process), no user
// aircraft, airport or stop request.
void resetFeedWorld(bool rtDirect);

// The user at 52N 4E with the current settings, as the RT Direct traffic
// reader judges a reply's aircraft.
OwnPositionSnapshot rtDirectOwnPosition();

// A web-API reply body through the envelope check and, when that holds, its
// data read as each kind of reply (traffic, buffered traffic, parked traffic,
// nearest METAR, the weather's QNH), with the user at 52N 4E.
void readRTAPIReplyBody(std::uint32_t httpStatus, std::string_view body);

}  // namespace tavo::fuzz
