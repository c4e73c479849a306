// What the RT App sends back over TCP after the version request, as one
// receive gives it (at most the receive buffer's size): the reply text taken
// from the bytes, and the edition and version read out of it. Only a JSON
// object whose "level" is the whole number 2 gives the professional edition.

#include <algorithm>
#include <string>

#include <nlohmann/json.hpp>

#include "feed/feed_state.h"
#include "feed/rtapp/rtapp_link.h"
#include "feed/rtapp/rtapp_server.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view received = tavo::fuzz::asText(data, std::min(size, kRTAppReceiveBufferSize));
    const std::string reply = gf_rtAppReplyText(received);
    using tavo::fuzz::check;
    check(reply.empty() || reply == received, "the reply is not the bytes received");
    check(!reply.empty() || received.empty() || received.size() >= kRTAppReceiveBufferSize,
          "a reply shorter than the buffer was dropped");

    g_rtProfessional.store(true);
    gf_processRTVersion(reply);
    if (g_rtProfessional.load()) {
        const nlohmann::json json = nlohmann::json::parse(reply, nullptr, false);
        check(json.is_object() && json.contains("level") && json["level"].is_number_integer() &&
                  json["level"].get<std::int64_t>() == 2,
              "the professional edition without level 2");
    }
    g_rtProfessional.store(false);
    tavo::fuzz::settle();
    return 0;
}
