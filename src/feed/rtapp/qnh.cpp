#include "feed/rtapp/qnh.h"

#include <cmath>
#include <limits>
#include <optional>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

namespace {

// Inches of mercury x 100 to hPa.
constexpr double kHpaPerHundredthInHg = 0.33865307;

bool lf_isMetarBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The number after the group's letter: an optional '-', then decimal digits
// up to the end, fitting a signed 32-bit value.
std::optional<std::int64_t> lf_groupNumber(std::string_view digits) {
    bool negative = false;
    if (!digits.empty() && digits.front() == '-') {
        negative = true;
        digits.remove_prefix(1);
    }
    if (digits.empty()) return std::nullopt;
    std::int64_t value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        value = value * 10 + (c - '0');
        // One past the largest magnitude of a signed 32-bit value is enough
        // to tell; the 64-bit sum cannot overflow before that.
        if (value > static_cast<std::int64_t>(std::numeric_limits<std::int32_t>::max()) + 1) return std::nullopt;
    }
    if (negative) value = -value;
    if (value < std::numeric_limits<std::int32_t>::min() || value > std::numeric_limits<std::int32_t>::max())
        return std::nullopt;
    return value;
}

}  // namespace

QnhResult gf_qnhFromMetar(std::string_view metar) {
    std::size_t pos = 0;
    while (pos < metar.size()) {
        while (pos < metar.size() && lf_isMetarBlank(metar[pos])) ++pos;
        const std::size_t start = pos;
        while (pos < metar.size() && !lf_isMetarBlank(metar[pos])) ++pos;
        std::string_view group = metar.substr(start, pos - start);
        if (!group.empty() && group.back() == '=') group.remove_suffix(1);
        if (group.size() != 5 || (group.front() != 'Q' && group.front() != 'A')) continue;

        const auto number = lf_groupNumber(group.substr(1));
        if (!number) return QnhError{2, fmt::format("invalid QNH code: {}", group)};
        const std::int64_t qnh = group.front() == 'Q'
                                     ? *number
                                     : static_cast<std::int64_t>(std::llround(
                                           static_cast<double>(*number) * kHpaPerHundredthInHg));
        if (qnh < kMinQnh || qnh > kMaxQnh) return QnhError{3, fmt::format("QNH outside limits: {} ({})", qnh, group)};
        return static_cast<std::uint32_t>(qnh);
    }
    return QnhError{0, "no QNH code found in METAR"};
}

QnhResult gf_qnhFromWeatherData(const nlohmann::json& data) {
    if (!data.is_object()) return QnhError{1, "invalid weather data object"};
    const auto it = data.find("METAR");
    if (it == data.end()) return QnhError{0, "no METAR found in data"};
    if (!it->is_string()) return QnhError{1, "invalid METAR type"};
    return gf_qnhFromMetar(it->get_ref<const std::string&>());
}
