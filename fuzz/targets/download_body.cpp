// A download as the download server sends it, over loopback through the
// program's downloader: the first byte chooses the HTTP status, binary or
// text mode and whether the body comes in small pieces; the rest is the body.
// Only a complete 2xx answer replaces the target, with exactly the body; any
// other leaves the old target as it was; no temporary file ever stays.

#include <array>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>

#include "foundation/download.h"
#include "fuzz_support.h"
#include "support/http_server.h"

namespace {

tavo::test::LoopbackHttpServer& lf_server() {
    static tavo::test::LoopbackHttpServer server;
    return server;
}

std::string lf_contentOf(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    tavo::test::LoopbackHttpServer& server = lf_server();
    const std::uint8_t choice = data[0];
    static constexpr std::array<int, 8> statuses{200, 200, 200, 204, 206, 302, 404, 500};
    const int status = statuses[choice & 7];
    tavo::test::HttpReply reply = tavo::test::HttpReply::withStatus(status, std::string(tavo::fuzz::asText(data + 1, size - 1)));
    if ((choice >> 3) & 1) reply.chunkBytes = 7;
    const bool binary = ((choice >> 4) & 1) == 0;
    const std::string sent = reply.body;
    server.setReply("GET", "/downloads/input/file.bin", std::move(reply));

    const std::filesystem::path target = tavo::fuzz::scratchFolder() / "file.bin";
    std::filesystem::path temporary = target;
    temporary += ".download_tmp";
    tavo::fuzz::writeFileAt(target, "the old content");

    Downloader downloader;
    downloader.setTimeouts({5, 1, 10});
    downloader.setKeepGoing([] { return true; });
    const bool done = downloader.download(server.url("/downloads/input/file.bin"), target, binary);
    const bool complete = status >= 200 && status <= 299;
    using tavo::fuzz::check;
    check(done == complete, "the download's success differs from the answer's status");
    check(lf_contentOf(target) == (complete ? (status == 204 ? std::string() : sent) : "the old content"),
          "the target does not hold the body of a complete answer, or lost its old content");
    check(!std::filesystem::exists(temporary), "the temporary download file stayed");
    tavo::fuzz::settle();
    return 0;
}
