// The RealTraffic credential file, as the user or the RealTraffic application
// left it.

#include "feed/credential.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::writeScratchFile("RealTraffic.lic", data, size);
    const std::string credential = gf_readRTLicenseFile(path);
    gf_isRTApiToken(credential);
    gf_isRTCredentialMissing(credential);
    tavo::fuzz::settle();
    return 0;
}
