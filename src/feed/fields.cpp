#include "feed/fields.h"

#include <charconv>
#include <cmath>

std::optional<double> gf_parseDecimal(std::string_view text) {
    if (text.empty()) return std::nullopt;
    double value = 0.0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value, std::chars_format::general);
    if (ec != std::errc{} || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

std::optional<std::uint32_t> gf_parseRTHexid(std::string_view text) {
    if (text.empty()) return std::nullopt;
    std::uint64_t value = 0;
    for (const char c : text) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
        if (value > 0xFFFFFFFFULL) return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

namespace {

// The length of the tag at the start of the text, '_' included; 0 when the
// text does not start with one.
std::size_t lf_sourceTagLength(std::string_view text) {
    const auto isCapitalOrDigit = [](char c) { return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9'); };
    const auto isSmall = [](char c) { return c >= 'a' && c <= 'z'; };
    if (text.size() > 1 && isSmall(text[0]) && text[1] == '_') return 2;
    std::size_t n = 0;
    while (n < text.size() && isCapitalOrDigit(text[n])) ++n;
    return n > 0 && n < text.size() && text[n] == '_' ? n + 1 : 0;
}

}  // namespace

std::string_view gf_trafficSourceName(std::string_view text) {
    while (const std::size_t tag = lf_sourceTagLength(text)) text.remove_prefix(tag);
    return text;
}

bool gf_isAdsbIcaoSource(std::string_view text) { return gf_trafficSourceName(text) == "adsb_icao"; }

bool gf_isValidReportTime(double seconds) {
    return std::isfinite(seconds) && seconds > 0.0 && seconds < 9223372036854775808.0;
}

std::string gf_logQuote(std::string_view text, std::size_t maxBytes) {
    if (text.size() <= maxBytes) return std::string(text);
    std::size_t cut = maxBytes;
    // Back off over UTF-8 continuation bytes so no character is split.
    while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
    std::string quoted(text.substr(0, cut));
    quoted += "...";
    return quoted;
}
