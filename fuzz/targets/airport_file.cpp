// An airport file as it may come from the archive, the airport scan or the
// user's hands: the input is the XML text. Its stands are read and, when any
// were accepted, written back in learned mode and read again.

#include <string>
#include <vector>

#include <pugixml.hpp>

#include "airports/airport_file_format.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const tavo::fuzz::InScratchFolder inScratch;
    pugi::xml_document document;
    if (!document.load_buffer(data, size)) {
        return 0;
    }
    Airport airport;
    lf_readParkPositions(document, airport.stands);
    for (const Stand& stand : airport.stands) {
        if (stand.options.size() > 0 && stand.options.front().number != 1) __builtin_trap();
        if (!(stand.heading >= 0.0 && stand.heading < 6.283185307179586)) __builtin_trap();
    }
    if (!airport.stands.empty() && gf_writeApf(airport, "out.xml", kApfModeLearned, 2, true, AirportParkingSettings{})) {
        pugi::xml_document written;
        std::vector<Stand> again;
        if (!written.load_file("out.xml")) __builtin_trap();
        lf_readParkPositions(written, again);
        if (again.size() != airport.stands.size()) __builtin_trap();
    }
    tavo::fuzz::settle();
    return 0;
}
