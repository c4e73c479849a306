// The scanned-liveries file as the program reads it at every start: any bytes
// at output/LiveriesScanned_MSFS2024.xml. What it reads must write back
// through the writer's own validation and read again to the same table.

#include <cstdint>
#include <cstdlib>
#include <filesystem>

#include "fuzz_support.h"
#include "liveries/dbase.h"
#include "liveries/scanned_liveries.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader and the writer take paths relative to the working folder, as
    // the program has them.
    const tavo::fuzz::InScratchFolder inScratch;
    std::filesystem::create_directories("output");
    tavo::fuzz::writeFileAt("output/LiveriesScanned_MSFS2024.xml", tavo::fuzz::asText(data, size));
    gf_resetAircraftDatabaseForTest();
    liveryTable.clear();
    if (gf_readScannedLiveries()) {
        for (std::size_t i = 1; i < liveryTable.size(); ++i) {
            if (lf_compareScannedLiveries(liveryTable[i - 1], liveryTable[i]) > 0) std::abort();
        }
        scannedLiveries = liveryTable;
        if (!gf_writeScannedLiveries()) std::abort();
        const std::size_t count = liveryTable.size();
        liveryTable.clear();
        if (!gf_readScannedLiveries() || liveryTable.size() != count) std::abort();
    }
    scannedLiveries.clear();
    liveryTable.clear();
    gf_resetAircraftDatabaseForTest();
    tavo::fuzz::settle();
    return 0;
}
