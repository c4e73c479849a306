#include "foundation/text.h"

#include <algorithm>
#include <cctype>
#include <cmath>

#include <fmt/format.h>

namespace tavo {

UserRelatedException::UserRelatedException(int code_, std::string_view text)
    : std::runtime_error(fmt::format("{}: {}", code_, text)), code(code_) {}

}  // namespace tavo

const std::string emptyString;

namespace {

// Decodes one code point at `pos`, advancing it; false for anything that is
// not the shortest form of a scalar value (overlong forms, surrogates, values
// above U+10FFFF, stray or missing continuation bytes).
bool lf_decodeUtf8(std::string_view text, std::size_t& pos, char32_t& out) {
    const auto lead = static_cast<unsigned char>(text[pos]);
    if (lead < 0x80) {
        out = lead;
        ++pos;
        return true;
    }
    std::size_t extra = 0;
    char32_t value = 0;
    char32_t minimum = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        extra = 1;
        value = lead & 0x1F;
        minimum = 0x80;
    } else if ((lead & 0xF0) == 0xE0) {
        extra = 2;
        value = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        extra = 3;
        value = lead & 0x07;
        minimum = 0x10000;
    } else {
        return false;  // continuation byte, C0/C1 (always overlong) or F5..FF
    }
    if (text.size() - pos <= extra) {
        return false;
    }
    for (std::size_t i = 1; i <= extra; ++i) {
        const auto byte = static_cast<unsigned char>(text[pos + i]);
        if (!gf_isUtf8Continuation(byte)) {
            return false;
        }
        value = (value << 6) | (byte & 0x3F);
    }
    if (value < minimum || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF)) {
        return false;
    }
    pos += extra + 1;
    out = value;
    return true;
}

}  // namespace

void gf_appendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::u16string utf8_to_wide(std::string_view text) {
    std::u16string out;
    if (text.empty()) {
        return out;
    }
    out.reserve(text.size());
    std::size_t pos = 0;
    while (pos < text.size()) {
        char32_t cp = 0;
        if (!lf_decodeUtf8(text, pos, cp)) {
            throw std::runtime_error("utf8_to_wide: invalid UTF-8");
        }
        if (cp < 0x10000) {
            out.push_back(static_cast<char16_t>(cp));
        } else {
            cp -= 0x10000;
            out.push_back(static_cast<char16_t>(0xD800 | (cp >> 10)));
            out.push_back(static_cast<char16_t>(0xDC00 | (cp & 0x3FF)));
        }
    }
    return out;
}

std::string wide_to_utf8(std::u16string_view text) {
    std::string out;
    if (text.empty()) {
        return out;
    }
    out.reserve(text.size() * 3 / 2 + 1);
    for (std::size_t i = 0; i < text.size(); ++i) {
        char32_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF) {
            if (i + 1 >= text.size() || text[i + 1] < 0xDC00 || text[i + 1] > 0xDFFF) {
                throw std::runtime_error("wide_to_utf8: invalid UTF-16");
            }
            unit = 0x10000 + ((unit - 0xD800) << 10) + (text[i + 1] - 0xDC00);
            ++i;
        } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
            throw std::runtime_error("wide_to_utf8: invalid UTF-16");
        }
        gf_appendUtf8(out, unit);
    }
    return out;
}

// On Linux a path's native text is already the bytes of its UTF-8 name.
std::string gf_pathToUtf8(const std::filesystem::path& path) { return path.string(); }

std::string_view gf_trimView(std::string_view text, std::string_view characters) noexcept {
    const auto first = text.find_first_not_of(characters);
    if (first == std::string_view::npos) return text.substr(text.size());
    const auto last = text.find_last_not_of(characters);
    return text.substr(first, last - first + 1);
}

std::string gf_trim(std::string_view& text) {
    text = gf_trimView(text);
    return std::string(text);
}

std::string gf_trim(const std::string_view& text) {
    std::string_view view = text;
    return gf_trim(view);
}

std::vector<std::string> gf_split(std::string_view text, char separator) {
    std::vector<std::string> pieces;
    std::size_t start = 0;
    while (start <= text.size()) {
        auto end = text.find(separator, start);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        std::string piece = gf_trim(text.substr(start, end - start));
        if (!piece.empty()) {
            pieces.push_back(std::move(piece));
        }
        start = end + 1;
    }
    return pieces;
}

std::vector<std::string> gf_splitAtComma(std::string_view text) { return gf_split(text, ','); }

std::vector<std::string> gf_splitToSortedSet(std::string_view text) {
    std::vector<std::string> items;
    if (text.empty()) {
        return items;
    }
    std::size_t start = 0;
    for (;;) {
        const auto end = text.find(',', start);
        items.push_back(gf_trim(text.substr(start, end == std::string_view::npos ? text.size() - start : end - start)));
        if (end == std::string_view::npos) {
            break;
        }
        start = end + 1;
    }
    std::sort(items.begin(), items.end());
    items.erase(std::unique(items.begin(), items.end()), items.end());
    return items;
}

void gf_normalizeCommaList(std::string& text) {
    if (text.find_first_of(trimCharacters) == std::string::npos) {
        return;
    }
    std::string joined;
    for (const auto& piece : gf_split(text, ',')) {
        if (!joined.empty()) {
            joined.push_back(',');
        }
        joined += piece;
    }
    text = std::move(joined);
}

std::string gf_unquote(std::string_view text) {
    const auto open = text.find('"');
    if (open == std::string_view::npos) {
        return std::string(text);
    }
    const auto close = text.find('"', open + 1);
    if (close == std::string_view::npos) {
        return {};
    }
    return std::string(text.substr(open + 1, close - open - 1));
}

std::string gf_removeDots(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        if (c != '.') {
            out.push_back(c);
        }
    }
    return out;
}

char gf_toUpperChar(char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c; }
char gf_toLowerChar(char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; }

std::string gf_toUpperAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = gf_toUpperChar(c);
    return out;
}

std::string gf_toLowerAscii(std::string_view text) {
    std::string out(text);
    for (char& c : out) c = gf_toLowerChar(c);
    return out;
}

std::string_view gf_pluralSuffix(std::uint64_t count) { return count == 1 ? std::string_view{} : "s"; }

std::string gf_formatOneDecimal(float value) {
    if (std::fmod(value, 1.0f) == 0.0f) {
        return fmt::format("{:.0f}", value);
    }
    return fmt::format("{:.1f}", value);
}

std::string gf_makeBanner(std::int64_t firstWidth, std::int64_t secondWidth, bool leadingNewline,
                          bool trailingNewline, std::string_view title) {
    std::string banner = leadingNewline ? "\n" : "";
    // A negative width (a title longer than the line it was measured against)
    // would otherwise ask for a huge count of stars.
    std::int64_t width = std::max<std::int64_t>(0, firstWidth + secondWidth);
    if (width % 2 != 0) {
        ++width;
    }
    const auto count = static_cast<std::size_t>(width);
    if (title.empty()) {
        banner.append(count, '*');
    } else if (count <= title.size() + 2) {
        banner += title;
    } else {
        const std::size_t side = count / 2 - 1;
        banner.append(side, '*');
        banner.push_back(' ');
        banner += title;
        banner.push_back(' ');
        banner.append(side, '*');
    }
    if (trailingNewline) {
        banner.push_back('\n');
    }
    return banner;
}
