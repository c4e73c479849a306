// The AIG regcodes file as the program reads it: the input is the plaintext
// XML, encrypted with the program's key so that the reader parses it.

#include <cstdint>

#include "fuzz_support.h"
#include "liveries/regcodes.h"
#include "regcodes_check.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::scratchFolder() / "AIG-regcodes.enc";
    tavo::tools::writeEncryptedFile(path, tavo::fuzz::asText(data, size));
    tavo::fuzz::checkRegcodeRecords(gf_loadAIGRegcodes(path).records);
    tavo::fuzz::settle();
    return 0;
}
