#include "foundation/download.h"

#include <atomic>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <stdexcept>
#include <system_error>

#include <curl/curl.h>
#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/os.h"

namespace {

// The maker's download server. Deployments and tests name another one with
// TAVO_DOWNLOAD_URL.
constexpr std::string_view kDownloadBaseUrl = "https://downloads.tavo.example/downloads/";

std::mutex l_timeoutsMutex;
DownloadTimeouts l_defaultTimeouts;
std::atomic<DownloadKeepGoing> l_keepGoing{nullptr};

void lf_globalCurlInit() {
    // libcurl's global set-up is not thread-safe; do it once, before the first
    // handle, whichever thread gets here first.
    static const CURLcode rc = curl_global_init(CURL_GLOBAL_DEFAULT);
    (void)rc;
}

struct CurlFile {
    std::FILE* file = nullptr;
    ~CurlFile() {
        if (file != nullptr) std::fclose(file);
    }
    // Closes the file; false when the close reported an error.
    bool close() {
        std::FILE* f = file;
        file = nullptr;
        return std::fclose(f) == 0;
    }
};

size_t lf_writeBlock(char* data, size_t size, size_t count, void* user) {
    // A short write makes libcurl fail the transfer.
    return std::fwrite(data, size, count, static_cast<std::FILE*>(user)) * size;
}

int lf_progress(void* user, curl_off_t, curl_off_t, curl_off_t, curl_off_t) {
    const auto* keepGoing = static_cast<const std::function<bool()>*>(user);
    return (*keepGoing)() ? 0 : 1;
}

}  // namespace

std::string gf_downloadBaseUrl() {
    if (const char* override = std::getenv("TAVO_DOWNLOAD_URL"); override != nullptr && *override != '\0') {
        std::string url(override);
        if (url.back() != '/') {
            url += '/';
        }
        return url;
    }
    return std::string(kDownloadBaseUrl);
}

void gf_setDefaultDownloadTimeouts(const DownloadTimeouts& timeouts) {
    std::lock_guard lock(l_timeoutsMutex);
    l_defaultTimeouts = timeouts;
}

DownloadTimeouts gf_defaultDownloadTimeouts() {
    std::lock_guard lock(l_timeoutsMutex);
    return l_defaultTimeouts;
}

void gf_setDownloadKeepGoing(DownloadKeepGoing keepGoing) { l_keepGoing.store(keepGoing); }

bool gf_downloadsKeepGoing() {
    const DownloadKeepGoing keepGoing = l_keepGoing.load();
    return keepGoing == nullptr || keepGoing();
}

Downloader::Downloader() : timeouts_(gf_defaultDownloadTimeouts()) {
    lf_globalCurlInit();
    handle_ = curl_easy_init();
}

Downloader::~Downloader() {
    if (handle_ != nullptr) {
        curl_easy_cleanup(static_cast<CURL*>(handle_));
    }
}

bool Downloader::download(const std::string& url, const std::filesystem::path& target, bool binary) {
    if (handle_ == nullptr) {
        return false;
    }
    CURL* curl = static_cast<CURL*>(handle_);
    std::filesystem::path tmp = target;
    tmp += ".download_tmp";
    try {
        if (const OsResult ec = gf_osRemoveFile(tmp); ec.failed()) {
            gf_logError(fmt::format("Could not remove stale temporary download '{}': {}", gf_pathToUtf8(tmp),
                                    ec.message()));
            return false;
        }
        // Whatever happens from here on, no temporary file stays behind.
        TempFileGuard guard(tmp);
        CurlFile out;
        out.file = std::fopen(tmp.c_str(), binary ? "wb" : "w");
        if (out.file == nullptr) {
            gf_log(fmt::format("Could not open temporary download file: {}", gf_pathToUtf8(tmp)));
            return false;
        }
        curl_easy_reset(curl);
        const std::function<bool()> keepGoing = keepGoing_ ? keepGoing_ : &gf_downloadsKeepGoing;
        const bool configured =
            curl_easy_setopt(curl, CURLOPT_URL, url.c_str()) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_USERAGENT, "TAVO") == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, &lf_writeBlock) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_WRITEDATA, out.file) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, timeouts_.connectSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_LIMIT, timeouts_.lowSpeedBytes) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_LOW_SPEED_TIME, timeouts_.lowSpeedSeconds) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_XFERINFOFUNCTION, &lf_progress) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_XFERINFODATA, &keepGoing) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOPROGRESS, 0L) == CURLE_OK &&
            curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
        if (!configured) {
            gf_logError(fmt::format("Could not configure download for '{}'", url));
            return false;
        }
        if (curl_easy_perform(curl) != CURLE_OK) {
            return false;  // the caller reports the failed transfer
        }
        // Only a 2xx answer carries the file; a redirect or any other page
        // that got through must not replace it.
        long status = 0;
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &status);
        if (status < 200 || status > 299) {
            gf_logError(fmt::format("Download of '{}' answered with HTTP status {}", url, status));
            return false;
        }
        if (std::fflush(out.file) != 0) {
            gf_logError(fmt::format("Could not flush temporary download file '{}'", gf_pathToUtf8(tmp)));
            return false;
        }
        if (!out.close()) {
            gf_logError(fmt::format("Could not close temporary download file '{}'", gf_pathToUtf8(tmp)));
            return false;
        }
        if (const OsResult ec = gf_osMoveFile(tmp, target, true); ec.failed()) {
            gf_logError(fmt::format("Could not replace downloaded file '{}': {}", gf_pathToUtf8(target),
                                    ec.message()));
            return false;
        }
        return true;
    } catch (const std::exception& e) {
        gf_log(fmt::format("Downloader exception: '{}', {} => {}", e.what(), url, gf_pathToUtf8(target)));
        return false;
    }
}

bool gf_downloadDataFile(const std::filesystem::path& fileName, const std::filesystem::path& target) {
    const std::string url = fmt::format("{}input/{}", gf_downloadBaseUrl(), gf_pathToUtf8(fileName.generic_string()));
    bool ok = false;
    {
        Downloader downloader;
        ok = downloader.download(url, target, true);
    }
    if (ok) {
        gf_log(fmt::format("Downloaded '{}' to '{}'", url, gf_pathToUtf8(target)));
    } else {
        gf_logError(fmt::format("Downloading '{}' failed!", url));
    }
    return ok;
}
