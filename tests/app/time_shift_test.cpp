// The time shift: minutes into the three combo boxes, the Set button, the
// simulator clock followed with RT Direct and only announced with the RT App.

#include "shell_actions_fixture.h"

namespace tavo::test {
namespace {

constexpr std::int64_t kNow = 1'700'000'000;

class TimeShiftTest : public ShellActionsTest {
protected:
    void SetUp() override {
        ShellActionsTest::SetUp();
        for (NumericListOption* combo : {&TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS}) combo->fillCombo();
    }
    // Days, hours, minutes as published and as selected, then the readers' shift.
    std::string shown() {
        const auto s = settingsSnapshot.load();
        EXPECT_EQ(gf_rtApiTrafficReader().timeOffset.load(), gf_rtApiWeatherReader().timeOffset.load());
        return fmt::format("{},{},{} sel {},{},{} readers {}", s->TIME_SHIFT_DAYS, s->TIME_SHIFT_HOURS,
                           s->TIME_SHIFT_MINS, control(TIME_SHIFT_DAYS.controlId).selection,
                           control(TIME_SHIFT_HOURS.controlId).selection, control(TIME_SHIFT_MINS.controlId).selection,
                           gf_rtApiTrafficReader().timeOffset.load());
    }
    void simAt(std::int64_t epoch) {
        g_simTimeEpoch.store(epoch);
        lf_checkSimTimeShift();
    }
};

TEST_F(TimeShiftTest, MinutesSplitIntoTheCombosAndReachTheReaders) {
    struct Row {
        std::int32_t minutes;
        bool noRestart;
        std::string shown, line, stop;
    };
    const Row rows[] = {
        {1441, false, "1,0,1 sel 1,0,1 readers 1441", "Time shifted 1441 minutes", "3/0"},
        {1, true, "0,0,1 sel 0,0,1 readers 1", "Time shifted 1 minute", "none"},
        {20161, true, "13,0,1 sel 13,0,1 readers 20160", "Time shifted 20161 minutes", "none"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.minutes);
        gf_clearStopMailbox();
        saves().clear();
        lf_timeShift(row.minutes, row.noRestart, false);
        EXPECT_EQ(shown(), row.shown);
        EXPECT_EQ(saves().size(), 3u);
        EXPECT_EQ(highlighted(), row.line);
        EXPECT_EQ(pendingStop(), row.stop);
        EXPECT_TRUE(g_timeShiftActive.load());
    }
}

TEST_F(TimeShiftTest, SetWithZeroRestartsOnlyWhenAShiftWasActive) {
    gf_enableControl(SetButton.controlId, true);
    EXPECT_EQ(command(SetButton.controlId), 0);
    EXPECT_EQ(highlighted(), "Time shift = 0");
    EXPECT_EQ(pendingStop(), "none");
    EXPECT_FALSE(control(SetButton.controlId).enabled);

    g_timeShiftActive.store(true);
    command(SetButton.controlId);
    EXPECT_EQ(highlighted(), "Time shifted 0 minutes");
    EXPECT_EQ(pendingStop(), "3/0");
    EXPECT_FALSE(g_timeShiftActive.load());
}

TEST_F(TimeShiftTest, TheSimulatorClockIsMeasuredAtTheFirstCheckAndAJumpRestarts) {
    simAt(kNow - 20161 * 60);
    EXPECT_TRUE(logHas("==> time shift is limited to 2 weeks !"));
    EXPECT_EQ(shown(), "13,0,0 sel 13,0,0 readers 20160");
    EXPECT_EQ(highlighted(), "Time shifted 20160 minutes");
    EXPECT_EQ(pendingStop(), "none");

    g_testNow += 600;  // the simulator clock moves under 30 s: no check
    simAt(kNow - 20161 * 60 + 29);
    EXPECT_EQ(gf_gui().statusLine, "Time shifted 20160 minutes");
    EXPECT_EQ(pendingStop(), "none");
    simAt(kNow - 20161 * 60 + 59);  // exactly 30 s on: checked, and as the run's second check a jump
    EXPECT_EQ(pendingStop(), "3/0");
    gf_clearStopMailbox();

    simAt(g_testNow - 90 * 60);  // a jump: shown, restarted, the readers keep theirs
    EXPECT_EQ(shown(), "0,1,30 sel 0,1,30 readers 20160");
    EXPECT_EQ(pendingStop(), "3/0");
    EXPECT_FALSE(g_timeShiftActive.load());
    gf_clearStopMailbox();
    simAt(g_testNow - 90 * 60);  // the same clock a second later: no second restart
    EXPECT_EQ(pendingStop(), "none");

    simAt(g_testNow + 3600);  // a clock ahead of real time gives 0
    EXPECT_EQ(highlighted(), "Time shifted 0 minutes");
    EXPECT_EQ(shown(), "0,0,0 sel 0,0,0 readers 20160");

    simAt(kSimTimeInvalid);
    EXPECT_EQ(gf_lastSeenSimTime(), 0);
    gf_setLastSeenSimTime(kNow);
    lf_simTimeShiftRTDirect(7);  // a jump found by the check forgets the time seen
    EXPECT_EQ(gf_lastSeenSimTime(), 0);
}

TEST_F(TimeShiftTest, WithTheRTAppTheCombosAndReadersNeverChange) {
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1}));
    simAt(kNow - 20161 * 60);
    EXPECT_TRUE(logHas("==> time shift is limited to 2 weeks !"));
    EXPECT_EQ(highlighted(), "Time shifted 20160 minutes");
    simAt(kNow - 3600);
    EXPECT_EQ(highlighted(), "Time shifted 60 minutes");
    EXPECT_EQ(pendingStop(), "3/0");
    EXPECT_EQ(shown(), "0,0,0 sel 0,0,0 readers 0");
    EXPECT_TRUE(saves().empty());
}

}  // namespace
}  // namespace tavo::test
