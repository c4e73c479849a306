// The simulator's UserCfg.opt, in any encoding, read for its packages folder.

#include <cstdlib>
#include <filesystem>

#include "app/install_paths.h"
#include "fuzz_support.h"

namespace {

// Local and roaming AppData inside the scratch folder, so that the file
// written below is the one the search finds.
const std::filesystem::path& lf_userCfg() {
    static const std::filesystem::path file = [] {
        const auto local = tavo::fuzz::scratchFolder() / "local";
        ::setenv("TAVO_LOCALAPPDATA_DIR", local.c_str(), 1);
        ::setenv("TAVO_APPDATA_DIR", (tavo::fuzz::scratchFolder() / "roaming").c_str(), 1);
        std::filesystem::create_directories(local / "MSFSPackages");
        return local / "MSFSPackages" / "UserCfg.opt";
    }();
    return file;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::writeFileAt(lf_userCfg(), tavo::fuzz::asText(data, size));
    lf_readInstalledPackagesPath();
    gf_findSimulatorPaths();
    tavo::fuzz::settle();
    return 0;
}
