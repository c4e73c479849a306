#include "foundation/version.h"

#include <charconv>
#include <limits>
#include <stdexcept>

#include <fmt/format.h>
#include <nlohmann/json.hpp>

#include "foundation/log.h"
#include "foundation/text.h"

namespace {

bool lf_isDigit(char c) { return c >= '0' && c <= '9'; }

// A run of digits at text[pos], at least one. Returns its end.
std::size_t lf_digitsEnd(std::string_view text, std::size_t pos) {
    while (pos < text.size() && lf_isDigit(text[pos])) {
        ++pos;
    }
    return pos;
}

// Reads the whole text as a signed 32-bit decimal (optional '-', digits).
std::optional<std::int32_t> lf_wholeInt32(std::string_view part) {
    if (part.empty()) {
        return std::nullopt;
    }
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(part.data(), part.data() + part.size(), value);
    if (ec != std::errc() || end != part.data() + part.size()) {
        return std::nullopt;
    }
    return value;
}

std::int32_t lf_groupValue(std::string_view digits) {
    std::int32_t value = 0;
    const auto [end, ec] = std::from_chars(digits.data(), digits.data() + digits.size(), value);
    if (ec != std::errc() || end != digits.data() + digits.size()) {
        throw std::runtime_error("parse error in version string");
    }
    return value;
}

// Matches the whole text against digits '.' digits [ '.' digits ].
bool lf_matchDottedVersion(std::string_view text, VersionData& out) {
    const std::size_t majorEnd = lf_digitsEnd(text, 0);
    if (majorEnd == 0 || majorEnd >= text.size() || text[majorEnd] != '.') {
        return false;
    }
    const std::size_t minorEnd = lf_digitsEnd(text, majorEnd + 1);
    if (minorEnd == majorEnd + 1) {
        return false;
    }
    std::size_t patchEnd = minorEnd;
    if (minorEnd < text.size()) {
        if (text[minorEnd] != '.') {
            return false;
        }
        patchEnd = lf_digitsEnd(text, minorEnd + 1);
        if (patchEnd == minorEnd + 1 || patchEnd != text.size()) {
            return false;
        }
    }
    out.major = lf_groupValue(text.substr(0, majorEnd));
    out.minor = lf_groupValue(text.substr(majorEnd + 1, minorEnd - majorEnd - 1));
    if (patchEnd != minorEnd) {
        out.patch = lf_groupValue(text.substr(minorEnd + 1, patchEnd - minorEnd - 1));
    }
    return true;
}

std::int32_t lf_readVersionField(const nlohmann::json& object, const char* key) {
    const auto it = object.find(key);
    if (it == object.end()) {
        return 0;
    }
    if (it->is_number_integer()) {
        // Signed or unsigned; a value outside 32 bits cannot be a version part.
        if (it->is_number_unsigned()) {
            const auto v = it->get<std::uint64_t>();
            return v <= static_cast<std::uint64_t>(std::numeric_limits<std::int32_t>::max())
                       ? static_cast<std::int32_t>(v)
                       : 0;
        }
        const auto v = it->get<std::int64_t>();
        return v >= std::numeric_limits<std::int32_t>::min() && v <= std::numeric_limits<std::int32_t>::max()
                   ? static_cast<std::int32_t>(v)
                   : 0;
    }
    return 0;
}


}  // namespace

VersionData::VersionData(std::string_view text) {
    if (text.empty()) {
        return;
    }
    try {
        VersionData parsed;
        if (lf_matchDottedVersion(text, parsed)) {
            *this = parsed;
            return;
        }
        const std::string_view trimmed = gf_trimView(text, whiteSpaceCharacters);
        if (trimmed.empty() || trimmed.front() != '{') {
            throw std::runtime_error("invalid version format");
        }
        const nlohmann::json object = nlohmann::json::parse(trimmed, nullptr, false);
        if (object.is_discarded() || !object.is_object()) {
            throw std::runtime_error("invalid version format");
        }
        major = lf_readVersionField(object, "major");
        minor = lf_readVersionField(object, "minor");
        patch = lf_readVersionField(object, "patch");
    } catch (const std::exception& e) {
        major = minor = patch = 0;
        gf_log(fmt::format("{} exception: {}", "VersionData", e.what()));
    }
}

std::string VersionData::toString() const { return fmt::format("{}.{}.{}", major, minor, patch); }

const VersionData g_programVersion{16, 8, 0};

std::strong_ordering operator<=>(const RcVersion& a, const RcVersion& b) {
    if (const auto c = a.version <=> b.version; c != 0) {
        return c;
    }
    if (a.isRc != b.isRc) {
        return a.isRc ? std::strong_ordering::less : std::strong_ordering::greater;
    }
    if (!a.isRc) {
        return std::strong_ordering::equal;
    }
    return a.rcNumber <=> b.rcNumber;
}

std::optional<VersionData> gf_parseVersion(std::string_view text) {
    std::int32_t parts[3] = {0, 0, 0};
    std::size_t count = 0;
    std::size_t pos = 0;
    while (count < 3) {
        const std::size_t dot = text.find('.', pos);
        const std::string_view part = text.substr(pos, dot == std::string_view::npos ? std::string_view::npos : dot - pos);
        const std::optional<std::int32_t> value = lf_wholeInt32(part);
        if (!value) {
            return std::nullopt;
        }
        parts[count++] = *value;
        if (dot == std::string_view::npos) {
            pos = text.size();
            break;
        }
        pos = dot + 1;
        if (count == 3) {
            // After the third part only the single trailing '.' may stand.
            if (pos != text.size()) {
                return std::nullopt;
            }
        } else if (pos == text.size()) {
            // "1." or "1.2." : the next part is empty.
            return std::nullopt;
        }
    }
    if (count < 2) {
        return std::nullopt;
    }
    return VersionData{parts[0], parts[1], parts[2]};
}

std::optional<RcVersion> gf_parseVersionRc(std::string_view text) {
    if (const auto plain = gf_parseVersion(text)) {
        return RcVersion{*plain, 0, false};
    }
    std::size_t split = 0;
    while (split < text.size() && (lf_isDigit(text[split]) || text[split] == '.')) {
        ++split;
    }
    if (split == text.size()) {
        return std::nullopt;
    }
    const auto version = gf_parseVersion(text.substr(0, split));
    if (!version) {
        return std::nullopt;
    }
    std::string_view rest = text.substr(split);
    if (rest.front() == '-') {
        rest.remove_prefix(1);
    }
    if (rest.size() < 2 || (rest[0] != 'R' && rest[0] != 'r') || (rest[1] != 'C' && rest[1] != 'c')) {
        return std::nullopt;
    }
    rest.remove_prefix(2);
    RcVersion result{*version, 0, true};
    if (rest.empty()) {
        return result;
    }
    for (const char c : rest) {
        if (!lf_isDigit(c)) {
            return std::nullopt;
        }
    }
    std::uint32_t number = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + rest.size(), number);
    if (ec != std::errc() || end != rest.data() + rest.size()) {
        return std::nullopt;
    }
    result.rcNumber = number;
    return result;
}
