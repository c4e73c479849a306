#pragma once
// manifest.json files for tests: any keys with any JSON values, broken JSON,
// and files padded to an exact size.

#include <cstddef>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavo::test {

struct ManifestWriter {
    // (key, raw JSON value text), written in order: {"title": "\"A\""} or
    // {"version": "12"} or {"x": "[1,2]"}.
    std::vector<std::pair<std::string, std::string>> members;
    // Written instead of the object when set (arrays, broken JSON, ...).
    std::optional<std::string> rawText;
    // Pads the object with blanks before its closing brace to this many bytes.
    std::optional<std::size_t> exactSize;

    // Adds a member with a JSON string value (escaped).
    ManifestWriter& string(std::string key, std::string_view value);
    // Adds a member with a raw JSON value.
    ManifestWriter& raw(std::string key, std::string value);

    // A writer of exactly this text.
    static ManifestWriter rawFile(std::string text);

    std::string text() const;
    // Writes the text to folder/manifest.json (folders created); the path.
    std::filesystem::path writeInto(const std::filesystem::path& folder) const;
};

}  // namespace tavo::test
