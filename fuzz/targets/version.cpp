// Version texts (the update server's, manifests', JSON objects) and the RT App's
// version reply.

#include <string>

#include "feed/rtapp/rtapp_link.h"
#include "foundation/version.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto text = tavo::fuzz::asText(data, size);
    [[maybe_unused]] const VersionData version(text);
    gf_parseVersion(text);
    gf_parseVersionRc(text);
    gf_processRTVersion(std::string(text));
    tavo::fuzz::settle();
    return 0;
}
