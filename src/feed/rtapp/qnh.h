#pragma once
// The QNH out of a METAR text or a weather object. Used by the RT App QNH
// reader and by the RT Direct weather reader.

#include <cstdint>
#include <string>
#include <string_view>
#include <variant>

#include <nlohmann/json_fwd.hpp>

// Why no QNH was found. Codes:
//   0  "no QNH code found in METAR", "no METAR found in data"
//   1  "invalid weather data object", "invalid METAR type"
//   2  "invalid QNH code: <group>"
//   3  "QNH outside limits: <qnh> (<group>)"
struct QnhError {
    std::uint8_t code = 0;
    std::string message;

    friend bool operator==(const QnhError&, const QnhError&) = default;
};

// Either the QNH in whole hPa or the reason there is none.
using QnhResult = std::variant<std::uint32_t, QnhError>;

// The lowest and highest QNH taken as plausible (both valid).
inline constexpr std::int64_t kMinQnh = 900;
inline constexpr std::int64_t kMaxQnh = 1100;

// The first group of exactly five characters starting with 'Q' (hPa) or 'A'
// (inches of mercury x 100) decides; a trailing '=' is not part of a group.
QnhResult gf_qnhFromMetar(std::string_view metar);

// The QNH of a weather object {"METAR": "<text>", ...}.
QnhResult gf_qnhFromWeatherData(const nlohmann::json& data);
