// input/airports.enc from the download server: the input is the plaintext,
// encrypted with the program's key so that the list reader sees it.

#include <variant>

#include "airports/airports_list.h"
#include "foundation/files.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::InScratchFolder inScratch;
    tavo::fuzz::writeEncryptedInputFile(airportsEncFile, data, size);
    gf_unloadAirportsForTests();
    if (std::holds_alternative<std::size_t>(gf_loadAirports())) gf_findNearestAirport(LaLo{52.3, 4.76});
    tavo::fuzz::settle();
    return 0;
}
