// The user's regcode text files: the input is one file in the my_regcodes
// folder, read by the folder reader (line reader and line parser).

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/regcodes.h"
#include "regcodes_check.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const std::filesystem::path folder = [] {
        auto path = tavo::fuzz::scratchFolder() / "my_regcodes";
        std::filesystem::create_directories(path);
        return path;
    }();
    tavo::fuzz::writeFileAt(folder / "user.txt", tavo::fuzz::asText(data, size));
    const RegcodeParseResult result = gf_readRegcodeFolder(folder);
    tavo::fuzz::checkRegcodeRecords(result.records);
    // A title alone is never special; one registration always is.
    for (const RegcodeRecord& record : result.records)
        if ((record.regcodes.empty() && record.special) || (record.regcodes.size() == 1 && !record.special))
            std::abort();
    tavo::fuzz::settle();
    return 0;
}
