// The web API's log-in and log-out replies.

#include "feed/rtdirect/session.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const RTAPIRawReply reply{200, tavo::fuzz::asText(data, size)};
    gf_readRTAPIAuthReply(reply);
    gf_readRTAPIDeauthReply(reply);
    tavo::fuzz::settle();
    return 0;
}
