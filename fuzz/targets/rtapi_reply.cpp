// A web-API reply body: the envelope check, then its data read as each kind of
// reply (traffic, buffered traffic, parked traffic, nearest METAR), with the
// user at 52N 4E.

#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(true);
    tavo::fuzz::readRTAPIReplyBody(200, tavo::fuzz::asText(data, size));
    tavo::fuzz::settle();
    return 0;
}
