#pragma once
// Writing XML text by hand in the data-file makers: attribute values escaped,
// and attributes that a test may leave out.

#include <optional>
#include <string>
#include <string_view>

namespace tavo::test {

// The text with &, <, > and " escaped for an attribute value.
std::string escapeXmlAttribute(std::string_view text);
// Appends ` name="value"` (escaped) when the value is there; nothing otherwise.
void appendXmlAttribute(std::string& out, std::string_view name, const std::optional<std::string>& value);

}  // namespace tavo::test
