// versions.json as the download server sent it: the manifest reader and the
// version objects of every key the update check asks for.

#include <filesystem>

#include "app/updater.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    // The reader takes the file from the current folder (the driver's work folder).
    tavo::fuzz::writeFileAt("versions.json", tavo::fuzz::asText(data, size));
    if (const auto manifest = lf_readManifest()) {
        for (const char* key : {"msfs", "maintenance", "airports", "aig", "archives", "dbase", "weekly"})
            lf_readWebVersion(*manifest, key);
    }
    tavo::fuzz::settle();
    return 0;
}
