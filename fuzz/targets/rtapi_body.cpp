// A web-API reply as the server sends it, over loopback through the
// program's transport: the first byte chooses the HTTP status, the content
// encoding the server names and whether the body comes in small pieces; the
// rest is the body. libcurl decodes it, the transport takes it up to its
// limit (256 KiB here, so that a body that expands past it is cheap to make),
// and the log-in, log-out and data readers read what arrived. A body that
// arrives is never longer than the limit, and one sent as it stands arrives
// unchanged.

#include <array>
#include <string>
#include <variant>

#include "feed/rtdirect/session.h"
#include "feed/rtdirect/transport.h"
#include "fuzz_support.h"
#include "support/http_server.h"

namespace {

constexpr std::size_t kLimit = 256 * 1024;

struct Wire {
    tavo::test::LoopbackHttpServer server;
    RTAPITransport transport;
    Wire() : transport((gf_initCurlGlobal(), 4096), kLimit) {}
};

Wire& lf_wire() {
    static Wire wire;
    return wire;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    tavo::fuzz::resetFeedWorld(true);
    Wire& wire = lf_wire();
    const std::uint8_t choice = data[0];
    static constexpr std::array<int, 8> statuses{200, 200, 200, 204, 301, 401, 404, 500};
    tavo::test::HttpReply reply = tavo::test::HttpReply::withStatus(statuses[choice & 7],
                                                                    std::string(tavo::fuzz::asText(data + 1, size - 1)));
    // 0: as it stands; 1: JSON, which the server may compress on its own;
    // 2 and 3: the body claims an encoding it may or may not have.
    const int encoding = (choice >> 3) & 3;
    if (encoding == 1) reply.contentType = "application/json";
    if (encoding == 2) reply.headers.emplace_back("Content-Encoding", "gzip");
    if (encoding == 3) reply.headers.emplace_back("Content-Encoding", "deflate");
    if ((choice >> 5) & 1) reply.chunkBytes = 7;
    const std::string sent = reply.body;
    wire.server.setReply("POST", "/v6/traffic", std::move(reply));

    const RTAPITransportResult result =
        wire.transport.perform(wire.server.url("/v6/traffic"), "GUID=fuzz", RTAPIOptions{5, 10, false}, nullptr);
    if (const auto* raw = std::get_if<RTAPIRawReply>(&result)) {
        tavo::fuzz::check(raw->body.size() <= kLimit, "a body past the limit arrived");
        tavo::fuzz::check(encoding >= 2 || raw->httpStatus == 204 || raw->httpStatus == 301 || raw->body == sent,
                          "a body sent as it stands arrived changed");
        tavo::fuzz::readRTAPIReplyBody(raw->httpStatus, raw->body);
    } else {
        tavo::fuzz::check(encoding >= 2 || sent.size() > kLimit, "a plain body within the limit did not arrive");
    }
    gf_readRTAPIAuthReply(result);
    gf_readRTAPIDeauthReply(result);
    tavo::fuzz::settle();
    return 0;
}
