#include "liveries/cfg_match.h"

#include <cstddef>

namespace {

// isspace() of the "C" locale.
bool lf_isSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
bool lf_isDigit(unsigned char c) { return c >= '0' && c <= '9'; }
// isalnum() of the "C" locale, or '_'.
bool lf_isWord(unsigned char c) {
    return lf_isDigit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_';
}
// What '.' refuses.
bool lf_isLineBreak(unsigned char c) { return c == '\n' || c == '\r'; }

unsigned char lf_foldByte(unsigned char c) { return (c >= 'A' && c <= 'Z') ? static_cast<unsigned char>(c + 32) : c; }

bool lf_equalsNoCase(std::string_view text, std::string_view word) {
    if (text.size() != word.size()) return false;
    for (std::size_t i = 0; i < text.size(); ++i)
        if (lf_foldByte(static_cast<unsigned char>(text[i])) != lf_foldByte(static_cast<unsigned char>(word[i])))
            return false;
    return true;
}

// Position of the first character at or after `pos` that is not a blank.
std::size_t lf_skipSpace(std::string_view text, std::size_t pos) {
    while (pos < text.size() && lf_isSpace(static_cast<unsigned char>(text[pos]))) ++pos;
    return pos;
}

bool lf_onlySpaceFrom(std::string_view text, std::size_t pos) { return lf_skipSpace(text, pos) == text.size(); }

bool lf_hasLineBreak(std::string_view text) {
    for (const char c : text)
        if (lf_isLineBreak(static_cast<unsigned char>(c))) return true;
    return false;
}

// `\s*\[fltsim\.` at the start, then the rest up to `]` followed only by
// blanks: the text between '.' and ']'; none when the frame does not fit.
std::optional<std::string_view> lf_fltSimHeaderBody(std::string_view line) {
    constexpr std::string_view opening = "[fltsim.";
    std::size_t pos = lf_skipSpace(line, 0);
    if (line.size() - pos < opening.size() || !lf_equalsNoCase(line.substr(pos, opening.size()), opening))
        return std::nullopt;
    pos += opening.size();
    // The body holds no ']' (digits and '-' only), so the first ']' closes it.
    const std::size_t close = line.find(']', pos);
    if (close == std::string_view::npos || !lf_onlySpaceFrom(line, close + 1)) return std::nullopt;
    return line.substr(pos, close - pos);
}

bool lf_allDigits(std::string_view text) {
    if (text.empty()) return false;
    for (const char c : text)
        if (!lf_isDigit(static_cast<unsigned char>(c))) return false;
    return true;
}

}  // namespace

std::optional<std::string_view> gf_matchCfgKeyLine(std::string_view line, std::string_view key) {
    std::size_t pos = lf_skipSpace(line, 0);
    if (line.size() - pos < key.size() || !lf_equalsNoCase(line.substr(pos, key.size()), key)) return std::nullopt;
    pos = lf_skipSpace(line, pos + key.size());
    if (pos == line.size() || line[pos] != '=') return std::nullopt;
    // The greedy blanks after '=' take all of them; the value then runs to the
    // last non-blank of the line and must not cross a line break.
    const std::size_t first = lf_skipSpace(line, pos + 1);
    std::size_t end = line.size();
    while (end > first && lf_isSpace(static_cast<unsigned char>(line[end - 1]))) --end;
    if (end == first) return std::nullopt;
    const std::string_view value = line.substr(first, end - first);
    if (lf_hasLineBreak(value)) return std::nullopt;
    return value;
}

std::optional<std::string_view> gf_matchFltSimHeader(std::string_view line) {
    const auto body = lf_fltSimHeaderBody(line);
    if (!body || !lf_allDigits(*body)) return std::nullopt;
    return body;
}

std::optional<std::string_view> gf_matchNegativeFltSimHeader(std::string_view line) {
    const auto body = lf_fltSimHeaderBody(line);
    if (!body || body->empty() || (*body)[0] != '-' || !lf_allDigits(body->substr(1))) return std::nullopt;
    return body;
}

std::optional<std::string_view> gf_matchIvaoCfgPath(std::string_view path, std::string_view package) {
    constexpr std::string_view fileName = "/aircraft.cfg";
    if (path.size() < fileName.size() || !lf_equalsNoCase(path.substr(path.size() - fileName.size()), fileName))
        return std::nullopt;
    const std::string_view rest = path.substr(0, path.size() - fileName.size());
    // The folder name: the last component, "IVAO_" and word characters.
    const std::size_t slash = rest.rfind('/');
    if (slash == std::string_view::npos) return std::nullopt;
    const std::string_view folder = rest.substr(slash + 1);
    constexpr std::string_view folderPrefix = "IVAO_";
    if (folder.size() <= folderPrefix.size() || !lf_equalsNoCase(folder.substr(0, folderPrefix.size()), folderPrefix))
        return std::nullopt;
    const std::string_view name = folder.substr(folderPrefix.size());
    for (const char c : name)
        if (!lf_isWord(static_cast<unsigned char>(c))) return std::nullopt;
    // Before it "/<package>/SimObjects/Airplanes", after at least one
    // character that is no line break.
    const std::string_view front = rest.substr(0, slash);
    constexpr std::string_view middleTail = "/SimObjects/Airplanes";
    const std::size_t middleSize = 1 + package.size() + middleTail.size();
    if (front.size() < middleSize + 1) return std::nullopt;
    const std::string_view middle = front.substr(front.size() - middleSize);
    if (middle[0] != '/' || !lf_equalsNoCase(middle.substr(1, package.size()), package) ||
        !lf_equalsNoCase(middle.substr(1 + package.size()), middleTail))
        return std::nullopt;
    if (lf_hasLineBreak(front.substr(0, front.size() - middleSize))) return std::nullopt;
    return name;
}

std::optional<std::string_view> gf_matchIvaoTitle(std::string_view title, std::string_view model, bool withW) {
    if (title.size() < model.size() || !lf_equalsNoCase(title.substr(0, model.size()), model)) return std::nullopt;
    std::size_t pos = model.size();
    if (withW) {
        if (pos == title.size() || lf_foldByte(static_cast<unsigned char>(title[pos])) != 'w') return std::nullopt;
        ++pos;
    }
    pos = lf_skipSpace(title, pos);
    if (title.size() - pos < 3) return std::nullopt;
    for (std::size_t i = pos; i < pos + 3; ++i)
        if (!lf_isWord(static_cast<unsigned char>(title[i]))) return std::nullopt;
    if (lf_hasLineBreak(title.substr(pos + 3))) return std::nullopt;
    return title.substr(pos, 3);
}
