// The RT App traffic port: each input line is one datagram (RTTFC, RTBUF,
// RTPARK, their separators and end tags, anything else), handled in sequence
// by the traffic reader as it runs, with the user at 52N 4E.

#include <algorithm>
#include <vector>

#include "feed/rtapp/traffic_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(false);
    g_trafficReader.reset();
    g_trafficReader.setOwnPosition(52.0, 4.0);
    g_trafficReader.qnh.store(1013);
    g_trafficReader.clearTrafficMaps();
    g_trafficReader.setBatchPoster([](std::vector<TrafficRecord>& batch, std::uint32_t) { batch.clear(); });

    std::string_view text = tavo::fuzz::asText(data, size);
    while (!text.empty()) {
        const std::size_t end = std::min(text.find('\n'), text.size());
        // A datagram holds at most this much; the socket cuts the rest.
        g_trafficReader.handleLine(text.substr(0, std::min(end, kMaxUdpDatagram)));
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    g_trafficReader.setBatchPoster(nullptr);
    g_trafficReader.reset();
    tavo::fuzz::settle();
    return 0;
}
