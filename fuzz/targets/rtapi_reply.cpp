// A web-API reply body: the envelope check, then its data read as each kind of
// reply (traffic, buffered traffic, parked traffic, nearest METAR), with the
// user at 52N 4E.

#include <vector>

#include "feed/rtapp/qnh.h"
#include "feed/rtdirect/replies.h"
#include "feed/rtdirect/session.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(true);
    const std::string_view body = tavo::fuzz::asText(data, size);
    gf_checkRTAPIStatus(body, "fuzz", rtApiNoIntervalKey);
    const RTAPIResult result = gf_toRTAPIResult(RTAPIRawReply{200, body}, "fuzz", rtApiRrlKey);
    if (const auto* reply = std::get_if<RTAPIReply>(&result)) {
        const OwnPositionSnapshot own = tavo::fuzz::rtDirectOwnPosition();
        TrafficBatch batch;
        gf_parseTrafficResponse(reply->data, own, batch);
        gf_deliverBufferSegments(reply->data, own, batch, [](TrafficBatch& b, std::uint32_t) { b.clear(); });
        gf_parseParkedResponse(reply->data);
        gf_parseNearestMetarResponse(reply->data);
        gf_qnhFromWeatherData(reply->data);
    }
    tavo::fuzz::settle();
    return 0;
}
