// The user's regcode text files: the input is one file in the my_regcodes
// folder, read by the folder reader (line reader and line parser). Every
// record it gives must keep the promises its users rely on.

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/regcodes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path folder = [] {
        auto path = tavo::fuzz::scratchFolder() / "my_regcodes";
        std::filesystem::create_directories(path);
        return path;
    }();
    tavo::fuzz::writeFileAt(folder / "user.txt", tavo::fuzz::asText(data, size));
    const RegcodeParseResult result = gf_readRegcodeFolder(folder);
    for (const RegcodeRecord& record : result.records) {
        if (record.title.empty()) std::abort();
        if (!std::all_of(record.regcodes.begin(), record.regcodes.end(), gf_isValidRegcode)) std::abort();
        if (std::adjacent_find(record.regcodes.begin(), record.regcodes.end(), std::greater_equal<>()) !=
            record.regcodes.end())
            std::abort();  // not ascending and distinct
        // A title alone is never special; one registration always is.
        if (record.regcodes.empty() && record.special) std::abort();
        if (record.regcodes.size() == 1 && !record.special) std::abort();
    }
    gf_mergeRegcodesByTitle(result.records, {});
    tavo::fuzz::settle();
    return 0;
}
