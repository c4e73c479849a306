// A learned airport file as the program finds it beside the source files,
// hand-edited or damaged: the input is the XML text. It is read over the
// stands of a small source airport; what the read gives is saved again as the
// airport's learned file, and that file must read back with the same stands
// and the same options: a learned file that reads but cannot be saved would
// end learning at its airport for good.

#include <filesystem>
#include <string>
#include <system_error>
#include <variant>
#include <vector>

#include "airports/learned_airport_file.h"
#include "fuzz_support.h"
#include "support/loaded_airport.h"

namespace {

StandOption sourceOption(const char* registration, std::uint32_t number, std::uint32_t day, std::size_t first,
                         std::size_t last) {
    StandOption option;
    option.registration = registration;
    option.callsign1 = "AUA1";
    option.number = number;
    option.day = day;
    option.mark = 1;
    option.real = 1;
    for (std::size_t slot = first; slot <= last; ++slot) option.hours.set(slot);
    return option;
}

// The stands of the airport's source file.
const std::vector<Stand>& sourceStands() {
    static const std::vector<Stand> stands = [] {
        std::vector<Stand> made;
        made.emplace_back("A1",
                          std::vector<StandOption>{sourceOption("OE-LAA", 1, 1, 10, 12),
                                                   sourceOption("D-AIBA", 2, 3, 20, 20)},
                          47.26, 11.34, 0.0, 30.0, ParkingType::GATE_HEAVY, false, false, false);
        made.emplace_back("A2", std::vector<StandOption>{}, 47.261, 11.34, 1.0, 20.0, ParkingType::GATE_MEDIUM, false,
                          false, false);
        made.emplace_back("GA 1", std::vector<StandOption>{sourceOption("OE-KAB", 1, 6, 0, 47)}, 47.262, 11.341, 2.0,
                          12.0, ParkingType::RAMP_GA_SMALL, false, true, false);
        made.emplace_back("H", std::vector<StandOption>{}, 47.263, 11.342, 0.0, 10.0, ParkingType::NONE, false, false,
                          true);
        return made;
    }();
    return stands;
}

// The options a save writes: learned (or, for a handmade file, any), not
// void, with a registration.
std::size_t savedOptionCount(const Stand& stand, bool handmade) {
    std::size_t count = 0;
    for (const StandOption& option : stand.options) {
        if ((handmade || option.mark == 0) && option.number != 0 && !option.registration.empty()) ++count;
    }
    return count;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    tavo::fuzz::resetFeedWorld(true);
    const tavo::fuzz::InScratchFolder inScratch;
    tavo::test::loadTestAirport("saved.xml");

    const std::filesystem::path input = tavo::fuzz::writeScratchFile("learned.xml", data, size);
    auto first = gf_readLearnedAirportFile(input, "Innsbruck", sourceStands());
    tavo::fuzz::settle();
    const auto* learned = std::get_if<LearnedAirportData>(&first);
    if (learned != nullptr) {
        std::error_code ec;
        std::filesystem::remove("saved.xml", ec);
        gf_saveLearned(learned->stands, learned->handmade);
        if (!std::filesystem::exists("saved.xml")) __builtin_trap();
        auto second = gf_readLearnedAirportFile("saved.xml", "Innsbruck", sourceStands());
        const auto* again = std::get_if<LearnedAirportData>(&second);
        if (again == nullptr || again->handmade != learned->handmade) __builtin_trap();
        if (again->stands.size() != learned->stands.size()) __builtin_trap();
        for (std::size_t i = 0; i < again->stands.size(); ++i) {
            const Stand& before = learned->stands[i];
            const Stand& after = again->stands[i];
            if (after.name != before.name || after.manual != before.manual) __builtin_trap();
            if (savedOptionCount(after, learned->handmade) != savedOptionCount(before, learned->handmade)) {
                __builtin_trap();
            }
        }
    }
    tavo::test::unloadTestAirport();
    tavo::fuzz::settle();
    return 0;
}
