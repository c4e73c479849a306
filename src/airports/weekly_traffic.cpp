#include "airports/weekly_traffic.h"

#include <algorithm>
#include <exception>
#include <mutex>
#include <shared_mutex>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "foundation/encrypted.h"
#include "foundation/log.h"
#include "foundation/text.h"

namespace {

constexpr std::size_t kWeeklyTrafficReserve = 15000;

std::shared_mutex l_weeklyTrafficMutex;
std::vector<IcaoCode> l_weeklyTrafficAirports;  // sorted, no duplicates

using CodesOrError = std::variant<std::vector<IcaoCode>, std::string>;

std::optional<IcaoCode> lf_weeklyTrafficCode(std::string_view text) {
    if (!gf_isAirportCode(text)) return std::nullopt;
    return IcaoCode(text);
}

CodesOrError lf_parseWeeklyTrafficXml(const pugi::xml_document& document) {
    const pugi::xml_node root = document.child("root");
    if (!root) return fmt::format("missing <{}> root element", "root");
    const pugi::xml_node section = root.child("traffic_airports");
    if (!section) return fmt::format("missing <{}> section", "traffic_airports");
    std::vector<IcaoCode> codes;
    codes.reserve(kWeeklyTrafficReserve);
    for (const pugi::xml_node element : section.children("arp")) {
        const pugi::xml_attribute c = element.attribute("c");
        if (!c) return fmt::format("<{}> element has no '{}' attribute", "arp", "c");
        for (const std::string& item : gf_split(c.value(), ',')) {
            const auto code = lf_weeklyTrafficCode(item);
            if (!code) return fmt::format("invalid weekly traffic ICAO code '{}'", item);
            codes.push_back(*code);
        }
    }
    std::sort(codes.begin(), codes.end());
    codes.erase(std::unique(codes.begin(), codes.end()), codes.end());
    if (codes.empty()) return fmt::format("<{}> contains no ICAO codes", "traffic_airports");
    return codes;
}

CodesOrError lf_readWeeklyTrafficFile() {
    const std::filesystem::path& path = wktrafficEncFile;
    const std::string pathText = gf_pathToUtf8(path);
    std::error_code ec;
    const auto status = std::filesystem::status(path, ec);
    if (ec && status.type() != std::filesystem::file_type::not_found)
        return fmt::format("Could not inspect '{}': {}", pathText, ec.message());
    if (!std::filesystem::exists(status)) return fmt::format("'{}' not available", pathText);

    DecryptResult plain = gf_readEncryptedFile(path, kWktrafficEncLimit);
    if (!plain.ok) return plain.error;
    pugi::xml_document document;
    const pugi::xml_parse_result parsed =
        document.load_buffer_inplace(plain.buffer.data(), plain.buffer.size(), pugi::parse_default);
    if (!parsed) return fmt::format("weekly traffic XML parse error: {}", parsed.description());
    CodesOrError codes = lf_parseWeeklyTrafficXml(document);
    if (const auto* error = std::get_if<std::string>(&codes))
        return fmt::format("'{}' has invalid weekly traffic XML: {}", pathText, *error);
    gf_log(fmt::format("{} ICAO airports supported by RealTraffic read from '{}'",
                       std::get<std::vector<IcaoCode>>(codes).size(), pathText));
    return codes;
}

}  // namespace

bool gf_loadWeeklyTrafficAirports() {
    CodesOrError codes;
    try {
        codes = lf_readWeeklyTrafficFile();
    } catch (const std::exception& e) {
        // Memory or a log failure; the set must still end up empty.
        codes = fmt::format("{}: {}", "gf_loadWeeklyTrafficAirports", e.what());
    }
    auto* loaded = std::get_if<std::vector<IcaoCode>>(&codes);
    {
        std::unique_lock lock(l_weeklyTrafficMutex);
        if (loaded != nullptr)
            l_weeklyTrafficAirports = std::move(*loaded);
        else
            l_weeklyTrafficAirports.clear();
    }
    if (loaded == nullptr) gf_logError(std::get<std::string>(codes));
    return loaded != nullptr;
}

bool gf_hasWeeklyTraffic(const IcaoCode& icao) {
    std::shared_lock lock(l_weeklyTrafficMutex);
    return l_weeklyTrafficAirports.empty() ||
           std::binary_search(l_weeklyTrafficAirports.begin(), l_weeklyTrafficAirports.end(), icao);
}

void gf_clearWeeklyTrafficAirports() {
    std::unique_lock lock(l_weeklyTrafficMutex);
    l_weeklyTrafficAirports.clear();
}
