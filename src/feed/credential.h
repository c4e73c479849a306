#pragma once
// The user's RealTraffic credential for the web API: a licence or an API token
// (a token begins with "rt_"). It is looked for in the RealTraffic
// application's RealTraffic.lic under the roaming AppData folder, then in the
// program's own copy in the installation folder, which is created with a
// placeholder and filled from an entry dialog when it holds nothing usable.

#include <filesystem>
#include <string>
#include <string_view>

// The credential found by the last gf_getRTLicense; empty before. Written and
// read only on the main thread during the start of RT Direct.
extern std::string g_rtCredential;

// The program's own copy, relative to the installation (working) folder.
inline const std::filesystem::path rtLicenseFile{"RealTraffic.lic"};

// Texts the file may hold in place of a credential; they count as none.
inline constexpr std::string_view rtLicensePlaceholder = "fill in your license here";
inline constexpr std::string_view rtApiTokenPlaceholder = "fill in your API-token here";

// The entry dialog's texts.
inline constexpr std::string_view rtLicenseDialogTitle = "RealTraffic license";
inline constexpr std::string_view rtLicenseDialogLabel = "License / token:";
inline constexpr std::size_t rtLicenseDialogTextLimit = 60;

// True for an API token: at least 3 bytes beginning with "rt_" (case matters).
bool gf_isRTApiToken(std::string_view credential);
// True for an empty text or one of the two placeholders (exact bytes).
bool gf_isRTCredentialMissing(std::string_view credential);

// The RealTraffic application's file: roaming AppData / "InsideSystems" /
// "RealTraffic.lic". Empty when the AppData folder is unknown.
std::filesystem::path gf_rtAppLicensePath();

// Finds the credential and stores it in g_rtCredential (logging where it came
// from). Throws tavo::UserRelatedException 899 when there is none, and
// std::filesystem::filesystem_error when a candidate's status cannot be read.
void gf_getRTLicense();

// The non-empty string member "License" of the JSON object in the file, or ""
// (with one log line saying why). Never throws for a bad file.
std::string gf_readRTLicenseFile(const std::filesystem::path& path);

// Writes rtLicenseFile as {"License":<credential>,"Name":"unknown"}, compact,
// with the API-token placeholder for an empty credential. False when the file
// cannot be written (the old one then stays).
bool gf_writeRTLicenseFile(std::string_view credential);
