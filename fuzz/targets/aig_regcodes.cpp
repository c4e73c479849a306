// The AIG regcodes file as the program reads it: the input is the plaintext
// XML, encrypted with the program's key so that the reader parses it. Every
// record it gives must keep the promises its users rely on.

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "fuzz_support.h"
#include "liveries/regcodes.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::scratchFolder() / "AIG-regcodes.enc";
    tavo::tools::writeEncryptedFile(path, tavo::fuzz::asText(data, size));
    const RegcodeParseResult result = gf_loadAIGRegcodes(path);
    for (const RegcodeRecord& record : result.records) {
        if (record.title.empty()) std::abort();
        if (!std::all_of(record.regcodes.begin(), record.regcodes.end(), gf_isValidRegcode)) std::abort();
        if (std::adjacent_find(record.regcodes.begin(), record.regcodes.end(), std::greater_equal<>()) !=
            record.regcodes.end())
            std::abort();  // not ascending and distinct
    }
    gf_mergeRegcodesByTitle(result.records, {});
    tavo::fuzz::settle();
    return 0;
}
