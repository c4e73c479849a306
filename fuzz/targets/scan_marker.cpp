// The marker an interrupted airport scan leaves, as the next start finds it:
// the input is the marker file's content. Before each input my_simaddon has a
// backup and my_thirdparty is there without one. A marker that reads puts
// the backup back, keeps or removes my_thirdparty as its flag says and is
// removed; one that does not read leaves everything as it was.

#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/files.h"
#include "fuzz_support.h"
#include "scan/scan_transaction.h"

namespace fs = std::filesystem;

namespace {

std::string lf_contentOf(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::InScratchFolder inScratch;
    const std::string_view marker = tavo::fuzz::asText(data, size);
    fs::remove_all(airportsDir);
    fs::create_directories(lf_backupPath(mySimaddonDir));
    fs::create_directories(mySimaddonDir);
    fs::create_directories(myThirdpartyDir);
    tavo::fuzz::writeFileAt(lf_backupPath(mySimaddonDir) / "OLD.xml", "old");
    tavo::fuzz::writeFileAt(mySimaddonDir / "NEW.xml", "new");
    tavo::fuzz::writeFileAt(myThirdpartyDir / "NEW.xml", "new");
    tavo::fuzz::writeFileAt(scanMarkerFile, marker);

    const auto flags = gf_parseScanMarker(marker);
    const bool recovered = lf_recoverAirportScan();
    using tavo::fuzz::check;
    check(recovered == flags.has_value(), "the recovery went on with a marker that does not read, or not with one that does");
    if (flags) {
        check(gf_parseScanMarker(gf_scanMarkerText(flags->first, flags->second)) == flags,
              "what the scan writes for these flags reads back as other flags");
        check(!fs::exists(scanMarkerFile) && !fs::exists(lf_backupPath(mySimaddonDir)), "marker or backup left");
        check(fs::exists(mySimaddonDir / "OLD.xml") && !fs::exists(mySimaddonDir / "NEW.xml"), "backup not put back");
        check(fs::exists(myThirdpartyDir) == flags->second, "my_thirdparty kept or removed against its flag");
    } else {
        check(lf_contentOf(scanMarkerFile) == marker, "an unreadable marker was changed");
        check(fs::exists(mySimaddonDir / "NEW.xml") && fs::exists(lf_backupPath(mySimaddonDir) / "OLD.xml") &&
                  fs::exists(myThirdpartyDir / "NEW.xml"),
              "an unreadable marker let the recovery touch the folders");
    }
    fs::remove_all(airportsDir);
    tavo::fuzz::settle();
    return 0;
}
