#pragma once
// Downloads from the maker's download server. The body goes into a temporary
// file beside the target ("<target>.download_tmp") that replaces the target
// only when the transfer completed with a 2xx answer; a download never leaves
// a half-written target or a temporary file behind.

#include <filesystem>
#include <functional>
#include <string>

// The download server's base URL, ending with "/downloads/". The environment
// variable TAVO_DOWNLOAD_URL replaces it (tests point it at a loopback server).
std::string gf_downloadBaseUrl();

// Time-outs of one transfer (the program's defaults; tests shorten them).
struct DownloadTimeouts {
    long connectSeconds = 10;   // to establish the connection
    long lowSpeedBytes = 1;     // a transfer slower than this many bytes per second ...
    long lowSpeedSeconds = 30;  // ... for this long is aborted
};

// Defaults for every Downloader created afterwards (also gf_downloadDataFile).
void gf_setDefaultDownloadTimeouts(const DownloadTimeouts& timeouts);
DownloadTimeouts gf_defaultDownloadTimeouts();

// Whether downloads go on, asked at every progress report of a transfer by
// every Downloader without a keep-going function of its own. The program's
// start makes it the program's stop requests (gf_setFoundationSeams); while
// nothing is set (nullptr) transfers go on until they end or time out.
using DownloadKeepGoing = bool (*)();
void gf_setDownloadKeepGoing(DownloadKeepGoing keepGoing);
bool gf_downloadsKeepGoing();

class Downloader {
public:
    Downloader();
    ~Downloader();
    Downloader(const Downloader&) = delete;
    Downloader& operator=(const Downloader&) = delete;

    // True when the target now holds the complete body. binary chooses binary
    // or text mode for the written file. Logs its own failures, except a failed
    // transfer, which the caller reports.
    bool download(const std::string& url, const std::filesystem::path& target, bool binary);

    bool valid() const { return handle_ != nullptr; }
    void setTimeouts(const DownloadTimeouts& timeouts) { timeouts_ = timeouts; }
    // Asked at every progress report of a transfer: false aborts it. Without
    // one (an empty function) gf_downloadsKeepGoing is asked.
    void setKeepGoing(std::function<bool()> keepGoing) { keepGoing_ = std::move(keepGoing); }

private:
    void* handle_ = nullptr;  // the libcurl easy handle
    DownloadTimeouts timeouts_;
    std::function<bool()> keepGoing_;
};

// Downloads one data file of the server's input folder ("<base>input/<name>")
// to the local target; logs "Downloaded '{}' to '{}'" or "Downloading '{}'
// failed!".
bool gf_downloadDataFile(const std::filesystem::path& fileName, const std::filesystem::path& target);
