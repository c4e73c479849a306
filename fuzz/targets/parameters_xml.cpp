// parameters.xml as the user may have edited it: the window position read
// before the window exists, then the load (which writes defaults back).

#include <cstdlib>

#include "fuzz_support.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The program's data folder follows roaming AppData, fixed on first use.
    ::setenv("TAVO_APPDATA_DIR", tavo::fuzz::scratchFolder().c_str(), 1);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::filesystem::create_directories(parametersFilePath().parent_path());
    const auto text = tavo::fuzz::asText(data, size);
    tavo::fuzz::writeFileAt(parametersFilePath(), text);
    gf_readWindowPosition();
    tavo::fuzz::writeFileAt(parametersFilePath(), text);
    gf_loadParameters();
    tavo::fuzz::settle();
    return 0;
}
