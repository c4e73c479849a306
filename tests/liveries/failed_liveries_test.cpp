// The failed-livery registry (status lines, the limit of a traffic run, the
// pair list, forgetting) and the no-match list.

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/text.h"
#include "liveries/code_tables.h"
#include "liveries/failed_liveries.h"
#include "services/gui.h"
#include "services/stop.h"
#include "support/dbase_builder.h"
#include "support/temp_dir.h"

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;

namespace {

constexpr const char* kTooMany = "There are too many liveries that could not be created!";

class FailedLiveries : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        tavo::test::resetToSmallDbase();
        clear();
        gf_gui().attachGuiThread();  // status lines apply (and, highlighted, log) at once
    }
    void TearDown() override {
        clear();
        LogFileTest::TearDown();
    }
    static void clear() {
        gf_forgetFailedLiveries();
        gf_clearNoMatchList();
        gf_clearStopMailbox();
        g_exiting.store(false);
        gf_gui().reset();
    }
    static AcKey key(const char* model, const char* airline) {
        AcKey k;
        k.model = gf_internModelCode(model);
        k.airline = gf_internAirlineCode(airline);
        return k;
    }
    static std::string statusLine(int i) { return fmt::format("CS{} 'Title {}' could not be created by your Sim!", i, i); }
    // Registers "Title i" for callsign "CSi"; the code of the exception it threw, or 0.
    static int fail(int i, const AcKey& k = key("B738", "DAL")) {
        try {
            gf_registerFailedLivery(fmt::format("CS{}", i), fmt::format("Title {}", i), k);
        } catch (const tavo::UserRelatedException& e) {
            lastWhat = e.what();
            return e.code;
        }
        return 0;
    }
    // The number of highlighted failure lines in what was logged since the last call.
    int newStatusLines() {
        const std::string log = newLogLines();
        int count = 0;
        for (std::size_t at = log.find("could not be created by your Sim!"); at != std::string::npos;
             at = log.find("could not be created by your Sim!", at + 1))
            ++count;
        return count;
    }
    static inline std::string lastWhat;
};

TEST_F(FailedLiveries, TheTwentiethDistinctTitleOfARunEndsItWithError81) {
    for (int i = 1; i <= 19; ++i) {
        EXPECT_EQ(fail(i), 0) << i;
        EXPECT_EQ(gf_gui().statusLine, statusLine(i));
    }
    EXPECT_EQ(newStatusLines(), 19);
    EXPECT_EQ(gf_failedLiveryCount(), 19u);

    EXPECT_EQ(fail(20), 81);
    EXPECT_EQ(lastWhat, fmt::format("81: {}, see Log.txt", kTooMany));
    const std::string log = newLogLines();
    EXPECT_THAT(log, HasSubstr(statusLine(20) + "\n")) << "the line is shown before the run ends";
    EXPECT_THAT(log, HasSubstr(fmt::format("\n===> Error 81, {}\n", kTooMany)));
    EXPECT_TRUE(gf_isLiveryKnownToFail("Title 20"));

    // Every later failure of the same run ends it too, a repeated title as well.
    EXPECT_EQ(fail(21), 81);
    EXPECT_EQ(fail(3), 81);
}

TEST_F(FailedLiveries, ARestartKeepsTheTitlesButCountsOnlyItsOwnFailures) {
    for (int i = 1; i <= 19; ++i) ASSERT_EQ(fail(i), 0);
    ASSERT_EQ(fail(20), 81);

    gf_startFailedLiveryRun();
    EXPECT_EQ(gf_failedLiveryCountThisRun(), 0u);
    EXPECT_EQ(gf_failedLiveryCount(), 20u);
    for (int i = 1; i <= 20; ++i) EXPECT_TRUE(gf_isLiveryKnownToFail(fmt::format("Title {}", i))) << i;

    // One more failure, new or old: the run goes on.
    newLogLines();
    EXPECT_EQ(fail(21), 0);
    EXPECT_EQ(fail(5), 0);
    EXPECT_THAT(newLogLines(), Not(HasSubstr("Error 81")));
    EXPECT_EQ(gf_failedLiveryCountThisRun(), 2u);
    EXPECT_EQ(gf_failedLiveryCount(), 21u);

    // The twentieth distinct title of this run ends it again.
    for (int i = 22; i <= 38; ++i) ASSERT_EQ(fail(i), 0) << i;
    EXPECT_EQ(fail(39), 81);
}

TEST_F(FailedLiveries, ATitleFailingTwiceCountsOnceButShowsTwoLines) {
    EXPECT_EQ(fail(1), 0);
    EXPECT_EQ(fail(1), 0);
    EXPECT_EQ(newStatusLines(), 2);
    EXPECT_EQ(gf_failedLiveryCount(), 1u);
    EXPECT_EQ(gf_failedLiveryCountThisRun(), 1u);
    EXPECT_THAT(gf_listFailedLiveries(), ElementsAre("  B738 DAL"));
    // Nineteen more titles only reach the limit with the twentieth distinct one.
    for (int i = 2; i <= 19; ++i) ASSERT_EQ(fail(i), 0);
    EXPECT_EQ(fail(1), 0);
    EXPECT_EQ(fail(20), 81);
}

TEST_F(FailedLiveries, NoStatusLineOnceAStopIsRequested) {
    struct Case {
        const char* name;
        void (*stop)();
    };
    const Case cases[] = {
        {"stop request", [] { requestStop(StopReason::NewFlight, 60); }},
        {"exiting", [] { g_exiting.store(true); }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        clear();
        gf_gui().attachGuiThread();
        newLogLines();
        c.stop();
        EXPECT_EQ(fail(7), 0);
        EXPECT_EQ(newStatusLines(), 0);
        EXPECT_EQ(gf_gui().statusLine, "");
        EXPECT_TRUE(gf_isLiveryKnownToFail("Title 7")) << "registered all the same";
    }
}

TEST_F(FailedLiveries, ModelAndAirlinePairsAreListedOnce) {
    fail(1, key("B738", "DAL"));
    fail(2, key("B738", "DAL"));
    EXPECT_THAT(gf_listFailedLiveries(), ElementsAre("  B738 DAL"));
    fail(3, key("A320", "DLH"));
    fail(4, key("B738", "KLM"));
    AcKey withOperator = key("B738", "DAL");
    withOperator.operatorIndex = gf_internAirlineCode("KLM");
    withOperator.cargo = 1;
    fail(5, withOperator);  // the operator and the cargo flag are not part of the pair
    fail(6, AcKey{});       // no codes at all
    EXPECT_THAT(gf_listFailedLiveries(), UnorderedElementsAre("  B738 DAL", "  A320 DLH", "  B738 KLM", "   "));
}

TEST_F(FailedLiveries, KnownToFailIsExactAndCaseSensitive) {
    gf_registerFailedLivery("DAL12", "Delta Boeing 737-800", key("B738", "DAL"));
    struct Case {
        const char* title;
        bool known;
    };
    const Case cases[] = {
        {"Delta Boeing 737-800", true},  {"delta boeing 737-800", false}, {"Delta Boeing 737-800 ", false},
        {" Delta Boeing 737-800", false}, {"Delta Boeing 737", false},     {"", false},
    };
    for (const Case& c : cases) EXPECT_EQ(gf_isLiveryKnownToFail(c.title), c.known) << '"' << c.title << '"';
}

TEST_F(FailedLiveries, OnlyForgettingEmptiesTheRegistry) {
    fail(1);
    fail(2, key("A320", "DLH"));
    gf_startFailedLiveryRun();
    gf_clearNoMatchList();
    EXPECT_TRUE(gf_isLiveryKnownToFail("Title 1"));
    EXPECT_EQ(gf_listFailedLiveries().size(), 2u);

    gf_forgetFailedLiveries();
    EXPECT_FALSE(gf_isLiveryKnownToFail("Title 1"));
    EXPECT_FALSE(gf_isLiveryKnownToFail("Title 2"));
    EXPECT_THAT(gf_listFailedLiveries(), IsEmpty());
    EXPECT_EQ(gf_failedLiveryCount(), 0u);
    EXPECT_EQ(gf_failedLiveryCountThisRun(), 0u);
    // The count starts again too: nineteen more titles are no error.
    for (int i = 3; i <= 21; ++i) EXPECT_EQ(fail(i), 0) << i;
}

TEST(ArrowLine, FillsBothFields) {
    EXPECT_EQ(lf_formatArrowLine("\n{}Error 81, {}\n", "msg"), "\n===> Error 81, msg\n");
    EXPECT_EQ(lf_formatArrowLine("{}{}", ""), "===> ");
}

class NoMatchList : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        gf_clearNoMatchList();
    }
    void TearDown() override {
        gf_clearNoMatchList();
        LogFileTest::TearDown();
    }
};

TEST_F(NoMatchList, EmptyWritesNothingAndEntriesAreFramed) {
    newLogLines();
    gf_logNoMatchList();
    EXPECT_EQ(newLogLines(), "");

    EXPECT_TRUE(gf_addNoMatch("DAL B738  N123DA"));
    EXPECT_TRUE(gf_addNoMatch("DLH A320  D-AIZZ"));
    EXPECT_FALSE(gf_addNoMatch("DAL B738  N123DA"));
    EXPECT_EQ(gf_noMatchCount(), 2u);
    gf_logNoMatchList();
    const std::string log = newLogLines();
    EXPECT_THAT(log, ::testing::AnyOf("\nNo match found for:\nDAL B738  N123DA\nDLH A320  D-AIZZ\n\n",
                                      "\nNo match found for:\nDLH A320  D-AIZZ\nDAL B738  N123DA\n\n"));

    // Logging keeps the set; only clearing empties it.
    EXPECT_TRUE(gf_isNoMatch("DLH A320  D-AIZZ"));
    EXPECT_FALSE(gf_isNoMatch("dlh a320  d-aizz"));
    gf_clearNoMatchList();
    EXPECT_EQ(gf_noMatchCount(), 0u);
    EXPECT_FALSE(gf_isNoMatch("DLH A320  D-AIZZ"));
    gf_logNoMatchList();
    EXPECT_EQ(newLogLines(), "");
}

}  // namespace
