#include "support/regcodes_builder.h"

#include <fmt/format.h>

#include "foundation/files.h"
#include "support/scoped_temp_dir.h"
#include "support/xml_text.h"

namespace tavo::test {

RegcodesBuilder& RegcodesBuilder::livery(std::optional<std::string> t, std::optional<std::string> r,
                                         std::optional<std::string> s) {
    liveries.push_back(Livery{std::move(t), std::move(r), std::move(s)});
    return *this;
}

std::vector<std::pair<std::string, std::string>> RegcodesBuilder::defaultMeta() {
    return {{"author", "TAVO"}, {"version", "1.0.0"}, {"copyright", "TAVO test data"}, {"sim", "3"}};
}

std::string RegcodesBuilder::xml() const {
    std::string out = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<" + rootName + ">\n";
    if (meta) {
        out += "  <meta>\n";
        for (const auto& [name, value] : *meta) {
            out += "    <info";
            appendXmlAttribute(out, "name", name);
            appendXmlAttribute(out, "value", value);
            out += "/>\n";
        }
        out += "  </meta>\n";
    }
    if (withAig) {
        out += "  <aig>\n";
        for (const Livery& l : liveries) {
            out += "    <l";
            appendXmlAttribute(out, "t", l.t);
            appendXmlAttribute(out, "r", l.r);
            appendXmlAttribute(out, "s", l.s);
            out += "/>\n";
        }
        out += "  </aig>\n";
    }
    out += "</" + rootName + ">\n";
    return out;
}

void RegcodesBuilder::write(const std::filesystem::path& path, const EncWriterOptions& options) const {
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeEncryptedFile(path, xml(), options);
}

void RegcodesBuilder::writeToInput() const { write(regcodesEncFile); }

RegcodesBuilder RegcodesBuilder::largeProfile() {
    RegcodesBuilder b;
    b.liveries.reserve(30000);
    static const char* prefixes[] = {"D-A", "G-", "F-G", "HB-", "PH-", "EI-", "OE-", "SE-", "N"};
    int serial = 0;
    // A registration of its own for every call: prefix and four letters, or
    // N and five digits.
    const auto next = [&] {
        const int i = serial++;
        const char* prefix = prefixes[i % 9];
        if (prefix[0] == 'N') return fmt::format("N{}", 10000 + i / 9);
        char suffix[5] = {};
        int n = i / 9;
        for (int k = 3; k >= 0; --k, n /= 26) suffix[k] = static_cast<char>('A' + n % 26);
        return fmt::format("{}{}", prefix, suffix);
    };
    for (int i = 0; i < 30000; ++i) {
        std::string regcodes = next();
        if (i % 5 == 0) regcodes.append(",").append(next());
        std::optional<std::string> special;
        if (i % 97 == 0) special = "true";
        b.livery(fmt::format("AIG Livery {:05} - Airline {} Boeing 737-800", i, i % 300), std::move(regcodes),
                 std::move(special));
    }
    return b;
}

void writeRegcodeFile(const std::filesystem::path& path, const std::vector<std::string>& lines, bool byteOrderMark,
                      LineEnd lineEnd) {
    std::string bytes = byteOrderMark ? "\xEF\xBB\xBF" : "";
    for (const std::string& line : lines) bytes += line + (lineEnd == LineEnd::crlf ? "\r\n" : "\n");
    if (path.has_parent_path()) std::filesystem::create_directories(path.parent_path());
    writeFile(path, bytes);
}

}  // namespace tavo::test
