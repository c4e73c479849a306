// input/wktraffic.enc from the download server: the input is the plaintext,
// encrypted with the program's key so that the reader sees it.

#include "airports/weekly_traffic.h"
#include "foundation/files.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::InScratchFolder inScratch;
    tavo::fuzz::writeEncryptedInputFile(wktrafficEncFile, data, size);
    gf_loadWeeklyTrafficAirports();
    gf_clearWeeklyTrafficAirports();
    tavo::fuzz::settle();
    return 0;
}
