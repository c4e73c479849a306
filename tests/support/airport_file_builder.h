#pragma once
// Airport files written as text for tests: any meta block, any parameters,
// parkpos and opt elements with any attributes (missing or wrong ones too).

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace tavo::test {

// Attributes in the order they are written; values are escaped.
using XmlAttributes = std::vector<std::pair<std::string, std::string>>;

struct ApfStand {
    XmlAttributes attributes;
    std::vector<XmlAttributes> options;  // one opt element each
};

struct ApfFile {
    // The meta block as raw XML; the default is a valid one for simulator 2.
    std::optional<std::string> metaXml = defaultMeta(2);
    bool withRoot = true;
    std::vector<std::pair<std::string, std::string>> parameters;  // name, value
    bool withParkpositions = true;
    std::vector<ApfStand> stands;

    static std::string defaultMeta(std::uint32_t simulator);
    std::string text() const;
    void write(const std::filesystem::path& path) const;
};

// A parkpos with the usual attributes (typestr, position, heading in degrees,
// radius in metres); further attributes may be appended.
ApfStand apfStand(const std::string& id, const std::string& typestr, double latitude, double longitude,
                  double headingDegrees = 90.0, double radiusMetres = 20.0);
// An opt element with reg, day and hh, then cs when given.
XmlAttributes apfOption(const std::string& reg, const std::string& day, const std::string& hh,
                        const std::optional<std::string>& cs = std::nullopt);

}  // namespace tavo::test
