// Blocking and unblocking the aircraft picked in the aircraft selector,
// driven through the window procedure's Block and Unblock buttons.

#include "shell_actions_fixture.h"

namespace tavo::test {
namespace {

using BlockingTest = ShellActionsTest;

TEST(BlockSelection, FourPartsWithAThirdOfHexDigitsWithin32Bits) {
    const std::pair<const char*, std::optional<std::uint32_t>> rows[] = {
        {"AB123_, D-ABCD, 3c6444, oid=17", 0x3c6444},
        {" AB1 ,\tREG , FFFFFFFF ,oid=2", 0xFFFFFFFF},
        {"AB1,,REG, 000003c6444,,oid=2", 0x3c6444},  // empty parts are not counted
        {"AB1,REG,100000000,oid=2", std::nullopt},
        {"AB1,REG,3c64g4,oid=2", std::nullopt},
        {"AB1,REG,0x3c6444,oid=2", std::nullopt},
        {"AB1,REG,3c6444", std::nullopt},
        {"AB1,REG,3c6444,oid=2,5", std::nullopt},
    };
    for (const auto& [text, hexid] : rows) {
        const auto parsed = lf_parseBlockSelection(text);
        EXPECT_EQ(parsed ? std::optional(parsed->hexid) : std::nullopt, hexid) << text;
    }
    EXPECT_EQ(lf_parseBlockSelection(" AB1 ,\tREG , 1 ,oid=2")->registration, "REG");
}

TEST_F(BlockingTest, BlockStoresPublishesAnnouncesAndLocksTheControls) {
    AIRCRAFT_SELECTOR.setValue("AB123_, D-ABCD, 3c6444, oid=17");
    EXPECT_EQ(command(BlockButton.controlId), 0);
    EXPECT_EQ(saves(), (std::vector<std::string>{"BLOCK_AIRCRAFT=AB123_, D-ABCD, 3c6444, oid=17",
                                                 "BLOCK_CALLSIGN=AB123_", "BLOCK_REGCODE=D-ABCD",
                                                 "BLOCK_HEXIDDEC=3957828"}));
    EXPECT_EQ(settingsSnapshot.load()->blocked,
              (BlockedAircraft{"AB123_, D-ABCD, 3c6444, oid=17", "AB123_", "D-ABCD", 0x3c6444, 1}));
    EXPECT_EQ(highlighted(), "Aircraft with callsign: AB123_, regcode: D-ABCD and hexid: 3c6444 is blocked");
    for (const ControlId id : {BlockButton.controlId, AircraftButton.controlId, AIRCRAFT_SELECTOR.controlId,
                               ALL_AIR_GND_SELECTOR.controlId}) {
        EXPECT_FALSE(control(id).enabled) << id;
    }
    EXPECT_TRUE(control(UnblockButton.controlId).enabled);
    EXPECT_TRUE(g_blockedAircraftChanged.load());

    // A hexid above the int range ends at the largest hexid, not at 0.
    AIRCRAFT_SELECTOR.setValue("AB1, REG, ffffffff, oid=2");
    command(BlockButton.controlId);
    EXPECT_EQ(BLOCK_HEXIDDEC.value(), 16777215);
}

TEST_F(BlockingTest, AnUnparsableSelectionOnlyEmptiesTheBlockedText) {
    for (const char* text : {"AB1, REG, 3c64g4, oid=2", "AB1, REG, 3c6444", ""}) {
        BLOCK_AIRCRAFT.setValue("old");
        BLOCK_CALLSIGN.setValue("OLD1");
        saves().clear();
        gf_gui().reset();
        AIRCRAFT_SELECTOR.setValue(text);
        command(BlockButton.controlId);
        EXPECT_EQ(BLOCK_CALLSIGN.value(), "OLD1") << text;
        EXPECT_FALSE(g_blockedAircraftChanged.load());
        EXPECT_TRUE(control(BlockButton.controlId).enabled);
        EXPECT_EQ(highlighted(), *text ? "" : "Nothing to block ...");
        EXPECT_EQ(saves(), *text ? std::vector<std::string>{"BLOCK_AIRCRAFT="} : std::vector<std::string>{});
    }
}

TEST_F(BlockingTest, UnblockClearsTheBlockAndLeavesOneEmptyDisabledSelectorEntry) {
    command(UnblockButton.controlId);
    EXPECT_EQ(highlighted(), "Nothing to unblock...");
    EXPECT_TRUE(g_unblockPressed.load());

    AIRCRAFT_SELECTOR.replaceChoices({"select an aircraft", "AB123_, D-ABCD, 3c6444, oid=17"});
    AIRCRAFT_SELECTOR.setValue("AB123_, D-ABCD, 3c6444, oid=17");
    command(BlockButton.controlId);
    saves().clear();
    command(UnblockButton.controlId);
    EXPECT_EQ(highlighted(), "No more blocking of aircraft: cs: AB123_ reg: D-ABCD hexid: 3c6444 ");
    EXPECT_EQ(saves(), (std::vector<std::string>{"BLOCK_AIRCRAFT=", "BLOCK_CALLSIGN=", "BLOCK_REGCODE=",
                                                 "BLOCK_HEXIDDEC=0"}));
    EXPECT_EQ(settingsSnapshot.load()->blocked, BlockedAircraft{});
    EXPECT_TRUE(control(AircraftButton.controlId).enabled && control(ALL_AIR_GND_SELECTOR.controlId).enabled);
    EXPECT_FALSE(control(BlockButton.controlId).enabled || control(UnblockButton.controlId).enabled);
    const ControlState selector = control(AIRCRAFT_SELECTOR.controlId);
    EXPECT_FALSE(selector.enabled);
    EXPECT_EQ(selector.items, std::vector<std::string>{""});
    EXPECT_EQ(selector.selection, 0);
}

}  // namespace
}  // namespace tavo::test
