#include "platform/os/nocase_lookup.h"

#include <algorithm>
#include <string>
#include <system_error>
#include <vector>

namespace fs = std::filesystem;

namespace {

bool lf_equalsFolded(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        auto fold = [](char c) {
            const auto u = static_cast<unsigned char>(c);
            return (u >= 'A' && u <= 'Z') ? static_cast<unsigned char>(u + 32) : u;
        };
        if (fold(a[i]) != fold(b[i])) return false;
    }
    return true;
}

// Whether the path is a folder; a missing entry is no error.
bool lf_isFolder(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec && ec != std::errc::no_such_file_or_directory && ec != std::errc::not_a_directory)
        throw fs::filesystem_error("status", path, ec);
    return fs::is_directory(status);
}

}  // namespace

std::optional<fs::path> gf_osFindSubfolderNoCase(const fs::path& parent, std::string_view name) {
    const fs::path exact = parent / fs::path(std::string(name));
    if (lf_isFolder(exact)) return exact;
    std::error_code ec;
    fs::directory_iterator it(parent, ec);
    if (ec) return std::nullopt;
    std::vector<fs::path> hits;
    for (; it != fs::directory_iterator(); it.increment(ec)) {
        if (ec) break;
        const fs::path candidate = it->path();
        if (lf_equalsFolded(candidate.filename().string(), name) && lf_isFolder(candidate)) hits.push_back(candidate);
    }
    if (hits.empty()) return std::nullopt;
    std::sort(hits.begin(), hits.end());
    return hits.front();
}
