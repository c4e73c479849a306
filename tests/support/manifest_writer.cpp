#include "support/manifest_writer.h"

#include <fstream>
#include <stdexcept>

#include <nlohmann/json.hpp>

namespace tavo::test {

ManifestWriter& ManifestWriter::string(std::string key, std::string_view value) {
    members.emplace_back(std::move(key), nlohmann::json(std::string(value)).dump());
    return *this;
}

ManifestWriter& ManifestWriter::raw(std::string key, std::string value) {
    members.emplace_back(std::move(key), std::move(value));
    return *this;
}

ManifestWriter ManifestWriter::rawFile(std::string text) {
    ManifestWriter writer;
    writer.rawText = std::move(text);
    return writer;
}

std::string ManifestWriter::text() const {
    if (rawText) return *rawText;
    std::string out = "{\n";
    for (std::size_t i = 0; i < members.size(); ++i) {
        out += "  " + nlohmann::json(members[i].first).dump() + ": " + members[i].second;
        out += i + 1 < members.size() ? ",\n" : "\n";
    }
    if (exactSize) {
        if (out.size() + 1 > *exactSize) throw std::invalid_argument("manifest larger than the size asked for");
        out.append(*exactSize - out.size() - 1, ' ');
    }
    out += "}";
    return out;
}

std::filesystem::path ManifestWriter::writeInto(const std::filesystem::path& folder) const {
    std::filesystem::create_directories(folder);
    std::filesystem::path path = folder / "manifest.json";
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    const std::string bytes = text();
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out) throw std::runtime_error("cannot write " + path.string());
    return path;
}

}  // namespace tavo::test
