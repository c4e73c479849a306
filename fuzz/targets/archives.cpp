// The archives data as the airport scan reads it: the input is the plaintext
// XML, encrypted with the program's key so that the reader parses it; then the
// look-ups the scan makes are run on what was read.

#include <cstdint>
#include <stdexcept>
#include <string>

#include "fuzz_support.h"
#include "scan/publishers.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::scratchFolder() / "archives.enc";
    const std::string text(tavo::fuzz::asText(data, size));
    tavo::tools::writeEncryptedFile(path, text);
    for (bool msfs2020 : {true, false}) {
        try {
            if (gf_readPublishersFrom(path, msfs2020)) {
                gf_classifyPackage(std::string_view(text).substr(0, 64));
                gf_isRejectedPublisher(std::string_view(text).substr(0, 16));
                for (const auto& publisher : g_thirdpartyPublishers) {
                    for (const auto& [entry, version] : publisher.entries) {
                        if (entry.size() < 4) continue;
                        try {
                            IcaoCode code(std::string_view(entry).substr(0, 4));
                            ArchiveMatch m = gf_findPackagePublisher(publisher.name, code, version);
                            if (m.status > 3) __builtin_trap();
                        } catch (const std::invalid_argument&) {
                        }
                    }
                }
            }
        } catch (const std::runtime_error&) {
            // A missing simaddon section: the reader's own refusal.
        }
    }
    gf_clearPublisherData();
    tavo::fuzz::settle();
    return 0;
}
