// The RT App weather port: one datagram {"METAR": "..."} per input, and the
// METAR text reader on its own.

#include "feed/rtapp/qnh.h"
#include "feed/rtapp/qnh_reader.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view text = tavo::fuzz::asText(data, size);
    g_qnhReader.clearState(true);
    g_qnhReader.handleWeather(text.substr(0, std::min(text.size(), kMaxUdpDatagram)));
    gf_qnhFromMetar(text);
    tavo::fuzz::settle();
    return 0;
}
