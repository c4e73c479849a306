// aircraft.cfg files of AI packages, in any bytes: read once as a general
// package's file and once as an IVAO package's file. Every record must carry
// an airline and a model, and no title may make two records.

#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <set>

#include "fuzz_support.h"
#include "liveries/aircraft_cfg.h"
#include "liveries/dbase.h"
#include "liveries/scan_report.h"

namespace {

void lf_check(const std::vector<ScannedLivery>& records, std::set<std::string>& titles) {
    for (const auto& record : records) {
        if (lf_isInvalidScannedLivery(record) || !titles.insert(record.title).second) std::abort();
    }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::InScratchFolder inScratch;
    const std::filesystem::path general = "Community/pkg/SimObjects/Airplanes/A320/aircraft.cfg";
    const std::filesystem::path ivao = "Community/IVAO_MTL/SimObjects/Airplanes/IVAO_B738WLfa/aircraft.cfg";
    std::filesystem::create_directories(general.parent_path());
    std::filesystem::create_directories(ivao.parent_path() / "texture.DLH");
    tavo::fuzz::writeFileAt(general, tavo::fuzz::asText(data, size));
    tavo::fuzz::writeFileAt(ivao, tavo::fuzz::asText(data, size));
    gf_resetAircraftDatabaseForTest();
    lf_clearScanMessages();
    std::set<std::string> titles;
    lf_check(lf_searchLiveriesinFile(1, general), titles);
    lf_check(lf_searchLiveriesinIVAOFile(2, ivao), titles);
    lf_clearScanMessages();
    gf_resetAircraftDatabaseForTest();
    tavo::fuzz::settle();
    return 0;
}
