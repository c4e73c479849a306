#pragma once
// How the traffic sources read single values out of their lines and replies:
// decimal numbers, hexadecimal hexids, report times, and how much of a
// received text a log line may quote.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

// A decimal floating-point text with an optional leading '-' (no blanks, no
// '+') that takes up the whole text and whose value is finite; nothing else.
std::optional<double> gf_parseDecimal(std::string_view text);

// A hexadecimal text of 1.. digits (0-9, a-f, A-F; no sign, prefix or blank)
// whose value fits 32 bits; leading zeros are allowed.
std::optional<std::uint32_t> gf_parseRTHexid(std::string_view text);

// The name of a report's data source without the tags the service puts
// before it: "X_adsb_icao", "F_adsb_icao", "X2_adsb_icao" and
// "ID_X_adsb_icao" are all "adsb_icao". A tag is one letter, or a run of
// capital letters and digits, followed by '_'; source names themselves are
// written in small letters.
std::string_view gf_trafficSourceName(std::string_view text);
// Whether a report of this data source carries a true heading worth reading:
// its name after any prefix is "adsb_icao". Both traffic sources decide it here.
bool gf_isAdsbIcaoSource(std::string_view text);

// A report time in seconds since 1970 that the feed accepts: finite, greater
// than 0 and less than 2^63.
bool gf_isValidReportTime(double seconds);

// What a log line quotes of a received text: the text itself when it has at
// most `maxBytes` bytes, else its first `maxBytes` bytes (never cutting a
// UTF-8 character) followed by "...".
inline constexpr std::size_t kLogQuoteBytes = 200;
std::string gf_logQuote(std::string_view text, std::size_t maxBytes = kLogQuoteBytes);
