// The destination typed into its field: stored upper-case, rejections that
// restore the field, the stand selector filled from the airport's stands, and
// the airport made the current park airport.

#include "shell_actions_fixture.h"

namespace tavo::test {
namespace {

class DestinationTest : public ShellActionsTest {
protected:
    void type(std::string_view text) {
        gf_setControlText(DESTINATION.controlId, text);
        EXPECT_EQ(command(DESTINATION.controlId, EN_RETURN), 0);
    }
};

TEST_F(DestinationTest, TypedTextsAreStoredOrRejectedWithTheFieldRestored) {
    type("eddf");
    EXPECT_EQ(highlighted(), "New destination: EDDF");
    EXPECT_EQ(saves(), std::vector<std::string>{"DESTINATION=EDDF"});
    EXPECT_EQ(settingsSnapshot.load()->DESTINATION, "EDDF");
    EXPECT_EQ(parkAirports, std::vector<std::string>{"EDDF 50.033 8.571"});
    for (const auto& [typed, line] : std::initializer_list<std::pair<const char*, const char*>>{
             {"EDDF", "destination 'EDDF' was already set ..."},
             {"EDD", "destination 'EDD' is not valid"},
             {"EDDFX", "destination 'EDDFX' is not valid"},
             {"ED$F", "destination 'ED$F' is not valid"},
             {"ed f", "destination 'ed f' is not valid"},
             {"zzzz", "destination 'ZZZZ' is not supported ..."}}) {
        type(typed);
        EXPECT_EQ(highlighted(), line);
        EXPECT_EQ(control(DESTINATION.controlId).text, "EDDF") << typed;
    }
    EXPECT_EQ(saves().size(), 1u);
    EXPECT_EQ(reads, std::vector<std::string>{"EDDF"});
    EXPECT_EQ(parkAirports.size(), 1u);

    type("");
    EXPECT_EQ(highlighted(), "destination set to empty");
    EXPECT_EQ(settingsSnapshot.load()->DESTINATION, "");
    EXPECT_EQ(saves().back(), "DESTINATION=");
    EXPECT_EQ(control(STAND_SELECTOR.controlId).items, std::vector<std::string>{""});
    EXPECT_FALSE(control(STAND_SELECTOR.controlId).enabled);
}

TEST_F(DestinationTest, TheStandSelectorFollowsWhatTheAirportFileGives) {
    struct Row {
        ApfStandNames read;
        std::optional<std::string> userStand;
        std::string line;
        std::vector<std::string> items;  // not looked at when empty
        int selection;
        bool enabled;
    };
    const std::vector<std::string> ab{"A1", "B2"};
    const Row rows[] = {
        {ab, "B2", "New destination: LOWI, with reserved stand: B2", ab, 1, true},
        {ab, "C3", "New destination: LOWI", {"select a stand", "A1", "B2"}, 0, true},
        {std::vector<std::string>{}, std::nullopt, "New destination: LOWI, no stands available", {"select a stand"}, 0,
         false},
        {std::string("no file"), "A1", "New destination: LOWI, failed to read stands, no file", {}, 0, false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.line);
        gf_enableControl(STAND_SELECTOR.controlId, true);
        parkAirports.clear();
        standsRead = row.read;
        userStand = row.userStand;
        lf_setDestinationStand("LOWI", *gf_findAirport(IcaoCode("LOWI")));
        EXPECT_EQ(highlighted(), row.line);
        EXPECT_EQ(control(DESTINATION.controlId).text, "LOWI");
        const ControlState stands = control(STAND_SELECTOR.controlId);
        if (!row.items.empty()) EXPECT_EQ(stands.items, row.items);
        EXPECT_EQ(stands.selection, row.selection);
        EXPECT_EQ(stands.enabled, row.enabled);
        EXPECT_EQ(parkAirports, std::vector<std::string>{"LOWI 47.260 11.344"});
    }
}

}  // namespace
}  // namespace tavo::test
