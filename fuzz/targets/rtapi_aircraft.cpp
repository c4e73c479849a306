// One aircraft of a web-API traffic reply (a JSON array read by element
// position), and the same array as a parked entry.

#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/session.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(true);
    const nlohmann::json aircraft = gf_parseJsonNoThrow(tavo::fuzz::asText(data, size));
    TrafficBatch batch;
    gf_parseTrafficRecord(aircraft, tavo::fuzz::rtDirectOwnPosition(), batch);
    std::vector<ParkedRecord> parked;
    gf_parseParkedRecord("4840d6", aircraft, parked);
    tavo::fuzz::settle();
    return 0;
}
