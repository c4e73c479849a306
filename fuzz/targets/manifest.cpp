// A package's manifest.json as the airport scan reads it, and the airport code
// taken from its title.

#include <cstdint>

#include "fuzz_support.h"
#include "scan/manifests.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto folder = tavo::fuzz::scratchFolder() / "package";
    std::filesystem::create_directories(folder / "scenery");
    tavo::fuzz::writeScratchFile("package/manifest.json", data, size);
    Airport airport;
    airport.path = folder / "scenery" / "airport.bgl";
    airport.bglPath = "scenery";
    auto manifest = lf_readManifest(folder / "manifest.json");
    gf_icaoCodesForBgl(airport, IcaoFilters{});
    if (manifest.has_value() != airport.manifest.has_value()) __builtin_trap();
    if (manifest) {
        lf_hasAcceptedManifestPublisher(*manifest);
        lf_classifyPublisher(airport);
    }
    g_airportScanLog.clear();
    tavo::fuzz::settle();
    return 0;
}
