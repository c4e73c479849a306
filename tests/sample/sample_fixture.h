#pragma once
// What the sample world's tests share: the sample traffic built once from the
// shipped scenario, the fields of a line, and the shipped data files copied
// into a test's working folder.

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

#include "support/source_paths.h"
#include "tools/sample_feed/sample_traffic.h"

namespace tavo::test {

inline std::filesystem::path sampleScenario() { return sourceDir() / "data" / "scenarios" / "sample.xml"; }

// Built once per test program: building times every flight.
inline const sample::SampleTraffic& sampleTraffic() {
    static const auto traffic = sample::gf_loadSampleTraffic(sampleScenario());
    return *traffic;
}

inline std::vector<std::string> fieldsOf(std::string_view line) {
    std::vector<std::string> fields;
    std::size_t at = 0;
    while (true) {
        const std::size_t comma = line.find(',', at);
        fields.emplace_back(line.substr(at, comma == std::string_view::npos ? std::string_view::npos : comma - at));
        if (comma == std::string_view::npos) return fields;
        at = comma + 1;
    }
}

// Copies input/<name> of the installation folder into input/ of the working folder.
inline void copyShippedInput(const std::string& name) {
    std::filesystem::create_directories("input");
    std::filesystem::copy_file(installDir() / "input" / name, std::filesystem::path("input") / name,
                               std::filesystem::copy_options::overwrite_existing);
}

}  // namespace tavo::test
