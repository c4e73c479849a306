#include "support/xml_text.h"

#include <fmt/format.h>

namespace tavo::test {

std::string escapeXmlAttribute(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (const char c : text) {
        switch (c) {
            case '&': out += "&amp;"; break;
            case '<': out += "&lt;"; break;
            case '>': out += "&gt;"; break;
            case '"': out += "&quot;"; break;
            default: out += c;
        }
    }
    return out;
}

void appendXmlAttribute(std::string& out, std::string_view name, const std::optional<std::string>& value) {
    if (value) out += fmt::format(" {}=\"{}\"", name, escapeXmlAttribute(*value));
}

}  // namespace tavo::test
