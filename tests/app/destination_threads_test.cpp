// The saved destination applied by the main thread at start and a destination
// typed at the same moment: one completes before the other begins, so the
// stored code, the stand selector and the park airport name one airport.

#include <chrono>
#include <future>
#include <mutex>
#include <thread>

#include "shell_actions_fixture.h"

namespace tavo::test {
namespace {

using DestinationThreadsTest = ShellActionsTest;

TEST_F(DestinationThreadsTest, AStartUpDestinationAndATypedOneNeverMix) {
    std::promise<void> startUpReading;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    std::mutex recordMutex;
    gf_setDestinationServices(DestinationServices{
        [&](const IcaoCode& icao) -> ApfStandNames {
            if (icao == IcaoCode("EDDF")) {
                startUpReading.set_value();
                released.wait();
            }
            return std::vector<std::string>{std::string(icao.text())};
        },
        [](const IcaoCode&) { return std::optional<std::string>(); },
        [&](const IcaoCode& icao, const LaLo&) {
            std::lock_guard lock(recordMutex);
            parkAirports.emplace_back(icao.text());
        }});
    std::thread startUp([] { lf_setDestinationStand("EDDF", *gf_findAirport(IcaoCode("EDDF"))); });
    startUpReading.get_future().wait();
    gf_setControlText(DESTINATION.controlId, "lowi");  // typed while the start-up reads
    auto typed = std::async(std::launch::async, [] { lf_setDestination(); });
    // The start-up is held inside its read: a typed destination that does not
    // wait for it is done long before this.
    const bool typedDoneWhileStartUpHeld = typed.wait_for(std::chrono::milliseconds(200)) == std::future_status::ready;
    release.set_value();
    startUp.join();
    typed.get();

    EXPECT_FALSE(typedDoneWhileStartUpHeld);
    EXPECT_EQ(DESTINATION.value(), "LOWI");
    EXPECT_EQ(*STAND_SELECTOR.choices(), (std::vector<std::string>{"select a stand", "LOWI"}));
    EXPECT_EQ(parkAirports, (std::vector<std::string>{"EDDF", "LOWI"}));
}

}  // namespace
}  // namespace tavo::test
