// The aircraft database as the program reads it: the input is the plaintext
// XML, encrypted with the program's key so that the reader parses it.

#include <cstdint>
#include <stdexcept>

#include "fuzz_support.h"
#include "liveries/dbase.h"
#include "tools/enc_writer.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::scratchFolder() / "dbase.enc";
    tavo::tools::writeEncryptedFile(path, tavo::fuzz::asText(data, size));
    gf_resetAircraftDatabaseForTest();
    try {
        gf_readDbase(path);
        // What the rest of the program asks of what was read.
        for (const auto& record : gf_dbaseRecords()) gf_findRegistration(record.registration);
        gf_findRegistrationInText(tavo::fuzz::asText(data, size < 64 ? size : 64));
    } catch (const std::runtime_error&) {
        // A missing section: the reader's own refusal.
    }
    gf_resetAircraftDatabaseForTest();
    tavo::fuzz::settle();
    return 0;
}
