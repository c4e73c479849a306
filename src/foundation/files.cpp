#include "foundation/files.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <stdexcept>
#include <system_error>

#include <fmt/format.h>

#include "foundation/log.h"
#include "foundation/text.h"

namespace fs = std::filesystem;

namespace {

// Removes the regular files directly in the folder that `wanted` accepts.
// Filesystem errors end the walk with one line naming the operation.
template <typename Wanted>
void lf_removeFilesIn(const fs::path& folder, std::string_view operation, Wanted wanted) {
    try {
        if (!fs::exists(folder) || !fs::is_directory(folder)) {
            return;
        }
        for (const auto& entry : fs::directory_iterator(folder)) {
            if (!entry.is_regular_file() || !wanted(entry.path())) {
                continue;
            }
            if (const OsResult ec = gf_osRemoveFile(entry.path()); ec.failed()) {
                gf_logError(fmt::format("Failed to remove {} ({})", gf_pathToUtf8(entry.path()), ec.message()));
            }
        }
    } catch (const fs::filesystem_error& e) {
        gf_logError(fmt::format("{} exception: {}", operation, e.what()));
    }
}

}  // namespace

bool gf_isAirportCode(std::string_view text) {
    return text.size() == 4 &&
           std::all_of(text.begin(), text.end(), [](char c) { return gf_isAirportCodeChar(gf_toUpperChar(c)); });
}

IcaoCode::IcaoCode(std::string_view text) {
    if (!gf_isAirportCode(text)) {
        throw std::invalid_argument(fmt::format("'{}' IcaoCode: invalid string", text));
    }
    for (std::size_t i = 0; i < 4; ++i) {
        const char c = gf_toUpperChar(text[i]);
        chars[i] = c;
        packed = (packed << 8) | static_cast<unsigned char>(c);
    }
}

TempFileGuard::~TempFileGuard() {
    if (armed) {
        gf_osRemoveFile(path);  // nothing is reported: the guard only tidies up
    }
}

bool gf_moveFile(const fs::path& from, const fs::path& to) {
    if (gf_osMoveFile(from, to, true).succeeded()) {
        return true;
    }
    if (const OsResult ec = gf_osCopyFile(from, to); ec.failed()) {
        gf_logError(fmt::format("could not move {} => {}: {}", gf_pathToUtf8(from), gf_pathToUtf8(to), ec.message()));
        return false;
    }
    if (const OsResult ec = gf_osRemoveFile(from); ec.failed()) {
        gf_logError(fmt::format("could not remove {} after copy: {}", gf_pathToUtf8(from), ec.message()));
        return false;
    }
    return true;
}

fs::path gf_generationPathOf(const fs::path& path) {
    fs::path generation = path;
    generation.replace_filename(path.stem().string() + "0" + path.extension().string());
    return generation;
}

bool gf_save1GenerationOf(const fs::path& path) {
    if (!path.has_extension()) {
        gf_logError(fmt::format("gf_save1GenerationOf: no extension in filename: {}", gf_pathToUtf8(path)));
        return false;
    }
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) {
        gf_logError(fmt::format("exists({}): {}", gf_pathToUtf8(path), ec.message()));
        return false;
    }
    if (!exists) {
        return true;
    }
    const fs::path generation = gf_generationPathOf(path);
    if (const OsResult copyError = gf_osCopyFile(path, generation); copyError.failed()) {
        gf_logError(fmt::format("copy {} -> {} failed: {}", gf_pathToUtf8(path), gf_pathToUtf8(generation),
                                copyError.message()));
        return false;
    }
    return true;
}

void gf_removeFilesFromDirectory(const fs::path& folder) {
    lf_removeFilesIn(folder, "gf_removeFilesFromDirectory", [](const fs::path&) { return true; });
}

void gf_removeXMLFilesFromDirectory() {
    lf_removeFilesIn(tbloDir, "gf_removeXMLFilesFromDirectory",
                     [](const fs::path& file) { return gf_toUpperAscii(file.extension().string()) == ".XML"; });
}

std::vector<IcaoCode> gf_listIcaoFiles(const fs::path& folder) {
    std::error_code ec;
    const bool exists = fs::exists(folder, ec);
    if (ec) {
        throw fs::filesystem_error("exists", folder, ec);
    }
    std::vector<IcaoCode> codes;
    if (!exists) {
        return codes;
    }
    codes.reserve(512);
    fs::directory_iterator it(folder, ec);
    if (ec) {
        return codes;
    }
    for (const fs::directory_iterator end; it != end; it.increment(ec)) {
        if (ec) {
            break;
        }
        const bool regular = it->is_regular_file(ec);
        if (ec) {
            break;
        }
        const fs::path& file = it->path();
        if (!regular || gf_toUpperAscii(file.extension().string()) != ".XML") {
            continue;
        }
        const std::string stem = file.stem().string();
        if (stem.size() != 4) {
            continue;
        }
        try {
            codes.emplace_back(stem);
        } catch (const std::invalid_argument&) {
            // Not an airport file (notes.xml is 5 characters, AB-C.xml is
            // not a code): one stray file must not hide all the others.
        }
    }
    return codes;
}

std::optional<fs::path> gf_getKnownFolderPath(KnownFolder folder) { return gf_osKnownFolder(folder); }

fs::path gf_getAppDataPath() {
    if (auto path = gf_getKnownFolderPath(KnownFolder::roamingAppData)) {
        return *path;
    }
    gf_logError("Could not find the AppData path");
    return {};
}

fs::path gf_getLocalAppDataPath() {
    if (auto path = gf_getKnownFolderPath(KnownFolder::localAppData)) {
        return *path;
    }
    gf_logError("Could not find the Local AppData path");
    return {};
}

bool gf_openInShell(const fs::path& path) {
    std::error_code ec;
    const bool exists = fs::exists(path, ec);
    if (ec) {
        throw fs::filesystem_error("exists", path, ec);
    }
    if (!exists) {
        return false;
    }
    const fs::path parent = path.parent_path();
    if (parent.empty()) {
        return false;
    }
    // The file manager is started detached and may resolve relative paths
    // against another folder; hand it the full path.
    const fs::path absolute = fs::absolute(parent, ec);
    return gf_osOpenInFileManager(ec ? parent : absolute);
}

std::optional<std::string> gf_readWholeFile(const fs::path& path, ReadFailure* why) {
    auto fail = [why](ReadFailure failure) -> std::optional<std::string> {
        if (why != nullptr) *why = failure;
        return std::nullopt;
    };
    std::error_code ec;
    if (!fs::is_regular_file(path, ec)) return fail(ReadFailure::notOpened);
    std::ifstream in(path, std::ios::binary);
    if (!in) return fail(ReadFailure::notOpened);
    std::string bytes{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    if (in.bad()) return fail(ReadFailure::notRead);
    if (why != nullptr) *why = ReadFailure::none;
    return bytes;
}

bool gf_writeLinesToFile(const std::vector<std::string>& lines, const fs::path& path) {
    std::size_t size = 0;
    for (const auto& line : lines) {
        size += line.size() + 1;
    }
    std::string content;
    content.reserve(size);
    for (const auto& line : lines) {
        content += line;
        content.push_back('\n');
    }
    if (const OsResult ec = gf_osReplaceFileContent(path, content); ec.failed()) {
        gf_logError(fmt::format("could not write {}: {}", gf_pathToUtf8(path), ec.message()));
        return false;
    }
    return true;
}
