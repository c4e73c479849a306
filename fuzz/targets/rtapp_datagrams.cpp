// The RT App's UDP datagrams as the receive loops take them: the input is a
// series of datagrams apart by the byte 0x1E, each handed to the traffic
// reader and to the QNH reader as one receive would give it (a datagram
// longer than the buffer arrives cut to the buffer's size). Empty ones are
// passed over; every other one is counted, repeats and cut ones are not
// handled. The user is at 52N 4E.

#include <algorithm>
#include <array>
#include <string_view>
#include <vector>

#include "feed/rtapp/qnh_reader.h"
#include "feed/rtapp/traffic_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(false);
    g_trafficReader.reset();
    g_qnhReader.clearState(true);
    g_trafficReader.setOwnPosition(52.0, 4.0);
    g_trafficReader.qnh.store(1013);
    g_trafficReader.clearTrafficMaps();
    g_trafficReader.setBatchPoster([](std::vector<TrafficRecord>& batch, std::uint32_t) { batch.clear(); });

    std::string_view text = tavo::fuzz::asText(data, size);
    std::uint32_t counted = 0;
    while (true) {
        const std::size_t end = std::min(text.find('\x1e'), text.size());
        const std::string_view datagram = text.substr(0, std::min(end, kMaxUdpDatagram + 1));
        if (!datagram.empty()) ++counted;
        for (UdpReader* reader : std::array<UdpReader*, 2>{&g_trafficReader, &g_qnhReader}) {
            const bool handed = reader->takeReceived(datagram);
            tavo::fuzz::check(!handed || (!datagram.empty() && datagram.size() <= kMaxUdpDatagram),
                              "an empty or cut datagram was handled");
        }
        if (end == text.size()) break;
        text.remove_prefix(end + 1);
    }
    g_trafficReader.postAgedBatch();
    tavo::fuzz::check(g_trafficReader.datagramCount() == counted && g_qnhReader.datagramCount() == counted,
                      "the datagram counts differ from the datagrams received");

    g_trafficReader.setBatchPoster(nullptr);
    g_trafficReader.reset();
    g_qnhReader.clearState(true);
    tavo::fuzz::settle();
    return 0;
}
