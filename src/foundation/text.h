#pragma once
// The program's own exception for problems the user must fix, UTF-8 <-> UTF-16
// conversion and the small text helpers the file readers share.

#include <cstdint>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavo {

// A problem the user has to fix; the message reads "<code>: <text>".
class UserRelatedException : public std::runtime_error {
public:
    UserRelatedException(int code, std::string_view text);
    int code;
};

}  // namespace tavo

// The characters gf_trim, gf_split and gf_normalizeCommaList strip: blank,
// tab, line feed, carriage return.
inline constexpr std::string_view trimCharacters = " \t\n\r";
// A reference to an empty text where one is needed (defaults, empty values).
extern const std::string emptyString;

// Strict UTF-8 -> UTF-16. Rejects malformed sequences, overlong forms,
// encoded surrogates and code points above U+10FFFF with the runtime error
// "utf8_to_wide: invalid UTF-8". Empty input gives empty output.
std::u16string utf8_to_wide(std::string_view text);
// Strict UTF-16 -> UTF-8. A lone or reversed surrogate throws the runtime
// error "wide_to_utf8: invalid UTF-16". Empty input gives empty output.
std::string wide_to_utf8(std::u16string_view text);

// The path's text in UTF-8, for messages and XML.
std::string gf_pathToUtf8(const std::filesystem::path& path);

// Strips the trim characters from both ends. The first form also narrows the
// caller's view to the result; both return the result as a new text.
std::string gf_trim(std::string_view& text);
std::string gf_trim(const std::string_view& text);
// The view without the given characters at either end; no copy.
std::string_view gf_trimView(std::string_view text, std::string_view characters = trimCharacters) noexcept;
// The characters the C library counts as white space in the "C" locale.
inline constexpr std::string_view whiteSpaceCharacters = " \t\n\r\f\v";

// A byte that continues a UTF-8 character (10xxxxxx).
constexpr bool gf_isUtf8Continuation(unsigned char byte) noexcept { return (byte & 0xC0) == 0x80; }
// Appends the UTF-8 form of one code point (at most U+10FFFF; the caller
// passes scalar values).
void gf_appendUtf8(std::string& out, char32_t codePoint);

// The trimmed pieces between separators, empty pieces dropped.
std::vector<std::string> gf_split(std::string_view text, char separator);
std::vector<std::string> gf_splitAtComma(std::string_view text);
// Every trimmed piece between commas (empty ones included), sorted byte-wise
// and without duplicates. An empty text gives an empty list.
std::vector<std::string> gf_splitToSortedSet(std::string_view text);
// Only when the text holds a trim character: rebuilt as its gf_split pieces
// at ',' joined with ",". Otherwise left exactly as it is.
void gf_normalizeCommaList(std::string& text);
// The text between the first double quote and the next; the whole text when
// it holds no quote; empty when the pair is incomplete or adjacent.
std::string gf_unquote(std::string_view text);
// A copy without any '.'.
std::string gf_removeDots(std::string_view text);
// ASCII case: only 'a'..'z' and 'A'..'Z' change, every other byte (UTF-8
// included) stays as it is, whatever the locale.
char gf_toUpperChar(char c);
char gf_toLowerChar(char c);
std::string gf_toUpperAscii(std::string_view text);
std::string gf_toLowerAscii(std::string_view text);
// "s" for every count but 1.
std::string_view gf_pluralSuffix(std::uint64_t count);
// "{:.0f}" for a whole value, "{:.1f}" otherwise.
std::string gf_formatOneDecimal(float value);
// A line of '*' of the width first + second (rounded up to even; negative
// sums count as 0), with the title centred between blanks when it fits.
std::string gf_makeBanner(std::int64_t firstWidth, std::int64_t secondWidth, bool leadingNewline,
                          bool trailingNewline, std::string_view title);
