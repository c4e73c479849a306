#include "feed/credential.h"

#include <fstream>
#include <optional>
#include <system_error>
#include <vector>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/textfile.h"
#include "platform/window/window.h"
#include "services/shell.h"

std::string g_rtCredential;

namespace {

constexpr std::string_view licenseFileName = "RealTraffic.lic";

// The modal entry dialog, owned by the main window (disabled while it is
// open). Nothing when the user cancelled, closed it or confirmed an empty field.
std::optional<std::string> lf_showLicenseTokenDialog(WindowHandle owner) {
    EntryDialogSpec setup;
    setup.title = std::string(rtLicenseDialogTitle);
    setup.label = std::string(rtLicenseDialogLabel);
    setup.textLimit = rtLicenseDialogTextLimit;
    setup.width = 410;
    setup.height = 160;
    std::optional<std::string> text = gf_showEntryDialog(owner, setup);
    if (text && text->empty()) {
        return std::nullopt;
    }
    return text;
}

void lf_logTakenFrom(std::string_view credential, const std::filesystem::path& path) {
    if (gf_isRTApiToken(credential)) {
        gf_log(fmt::format("Your RealTraffic API-token was taken from '{}'", gf_pathToUtf8(path)));
    } else {
        gf_log(fmt::format("Your RealTraffic license was taken from '{}'", gf_pathToUtf8(path)));
    }
}

// The file the user is told to fill when nothing usable was found: the
// application's file when it exists, else the program's own copy, named by its
// full path so the user finds the very file the program reads.
std::filesystem::path lf_pathToName(const std::filesystem::path& appDataCandidate) {
    if (!appDataCandidate.empty() && std::filesystem::exists(appDataCandidate)) {
        return appDataCandidate;
    }
    std::error_code error;
    std::filesystem::path own = std::filesystem::absolute(rtLicenseFile, error);
    if (error || own.empty()) {
        return std::filesystem::path("TAVO") / licenseFileName;
    }
    return own;
}

}  // namespace

bool gf_isRTApiToken(std::string_view credential) {
    return credential.size() >= 3 && credential.substr(0, 3) == "rt_";
}

bool gf_isRTCredentialMissing(std::string_view credential) {
    return credential.empty() || credential == rtLicensePlaceholder ||
           credential == rtApiTokenPlaceholder;
}

std::filesystem::path gf_rtAppLicensePath() {
    const std::filesystem::path appData = gf_getAppDataPath();
    if (appData.empty()) {
        // Without a known AppData folder there is no application file to look
        // at; joining the names onto an empty path would point into the
        // installation folder instead.
        return {};
    }
    return appData / insideSystemsDir / licenseFileName;
}

void gf_getRTLicense() {
    g_rtCredential.clear();
    const std::filesystem::path appDataCandidate = gf_rtAppLicensePath();

    // The application's file: only read, never created or changed.
    if (!appDataCandidate.empty() && std::filesystem::exists(appDataCandidate)) {
        std::string value = gf_readRTLicenseFile(appDataCandidate);
        if (!gf_isRTCredentialMissing(value)) {
            g_rtCredential = std::move(value);
            lf_logTakenFrom(g_rtCredential, appDataCandidate);
            return;
        }
    }

    // The program's own copy: created with the placeholder so the user finds a
    // file to fill, and rewritten with what the user enters in the dialog.
    bool ownUsable = true;
    if (!std::filesystem::exists(rtLicenseFile)) {
        ownUsable = gf_writeRTLicenseFile({});
    }
    if (ownUsable) {
        std::string value = gf_readRTLicenseFile(rtLicenseFile);
        if (gf_isRTCredentialMissing(value)) {
            std::optional<std::string> entered = lf_showLicenseTokenDialog(g_mainWindow.load());
            if (entered && !entered->empty() && gf_writeRTLicenseFile(*entered)) {
                value = std::move(*entered);
            }
        }
        if (!gf_isRTCredentialMissing(value)) {
            g_rtCredential = std::move(value);
            lf_logTakenFrom(g_rtCredential, rtLicenseFile);
            return;
        }
    }

    throw tavo::UserRelatedException(
        899, fmt::format("No valid RT license / API-token found. Place your new license in '{}'.",
                         gf_pathToUtf8(lf_pathToName(appDataCandidate))));
}

std::string gf_readRTLicenseFile(const std::filesystem::path& path) {
    const std::string pathText = gf_pathToUtf8(path);
    std::ifstream in(path, std::ios::binary);
    if (!in.is_open()) {
        gf_log(fmt::format("Could not open '{}'.", pathText));
        return {};
    }
    try {
        std::vector<std::string> lines;
        gf_readStreamLines(in, lines);
        if (lines.empty()) {
            gf_log(fmt::format("No license found in '{}'. File is empty.", pathText));
            return {};
        }
        std::string joined;
        for (const std::string& line : lines) {
            joined += line;
        }
        const nlohmann::json root = nlohmann::json::parse(joined);
        if (!root.is_object()) {
            gf_log(fmt::format("No license found in '{}'. Problem: JSON root is not an object", pathText));
            return {};
        }
        const auto member = root.find("License");
        if (member == root.end() || !member->is_string()) {
            gf_log(fmt::format("No license found in '{}'. Problem: Missing or invalid 'License' field",
                               pathText));
            return {};
        }
        std::string value = member->get<std::string>();
        if (value.empty()) {
            gf_log(fmt::format("No license found in '{}'. Problem: Empty 'License' value", pathText));
            return {};
        }
        return value;
    } catch (const std::exception& e) {
        gf_log(fmt::format("No license found in '{}'. Problem: {}", pathText, e.what()));
        return {};
    }
}

bool gf_writeRTLicenseFile(std::string_view credential) {
    nlohmann::ordered_json file = nlohmann::ordered_json::object();
    file["License"] = credential.empty() ? std::string(rtApiTokenPlaceholder) : std::string(credential);
    file["Name"] = "unknown";
    std::string text;
    try {
        text = file.dump();
    } catch (const nlohmann::json::type_error& e) {
        // A credential that is not UTF-8 cannot be stored as a JSON string.
        gf_logError(fmt::format("{} not written: {}", gf_pathToUtf8(rtLicenseFile), e.what()));
        return false;
    }
    return gf_writeTextFile(text, rtLicenseFile, false);
}
