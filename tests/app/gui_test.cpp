#include <cmath>
#include <filesystem>
#include <fstream>
#include <functional>
#include <limits>
#include <set>
#include <sstream>

#include <gtest/gtest.h>

#include "app/gui/gui.h"
#include "foundation/log.h"
#include "gui_harness.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::GuiHarness;

std::string readLog() {
    gf_flushLog();
    std::ifstream in("Log.txt", std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

std::size_t countOccurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

class GuiTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
        h = std::make_unique<GuiHarness>();
    }
    void TearDown() override {
        h.reset();
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    Gui& gui() { return h->gui; }
    std::unique_ptr<GuiHarness> h;
};

// --- applying: one row per kind ---

struct KindCase {
    int number;
    std::function<GuiUpdate()> make;
    std::function<void(Gui&)> before;
    RepaintMask mask;
    std::function<bool(const Gui&, GuiHarness&)> after;
};

std::vector<KindCase> allKinds() {
    auto none = [](Gui&) {};
    return {
        {0, [] { return GuiUpdate::setCompact(true); }, none, 16, [](const Gui& g, GuiHarness&) { return g.compact; }},
        {1, [] { return GuiUpdate::toggleCompact(); }, [](Gui& g) { g.compact = true; }, 16,
         [](const Gui& g, GuiHarness&) { return !g.compact; }},
        {2, [] { return GuiUpdate::stayOnTop(true); }, none, 0,
         [](const Gui&, GuiHarness& h) { return h.backend->isTopmost(h.window); }},
        {3, [] { return GuiUpdate::minimise(); }, none, 0,
         [](const Gui&, GuiHarness& h) {
             return h.backend->windowPlacement(h.window)->show == ShowCommand::Minimized;
         }},
        {4, [] { return GuiUpdate::repaint(5); }, none, 5, [](const Gui&, GuiHarness&) { return true; }},
        {5, [] { return GuiUpdate::statusTick(); },
         [](Gui& g) {
             g.statusLine = "old";
             g.statusExpiryArmed = true;
             g.statusExpiry = g.clock() - 1s;
         },
         8, [](const Gui& g, GuiHarness&) { return g.statusLine.empty() && !g.statusExpiryArmed; }},
        {6, [] { return GuiUpdate::trafficSourceStarted(); }, none, 1,
         [](const Gui& g, GuiHarness&) { return !g.trafficSourceNotStarted; }},
        {7, [] { return GuiUpdate::staticsWaiting(7); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.staticsWaiting == 7; }},
        {8, [] { return GuiUpdate::trafficReaderState(0); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.trafficReaderState == 0; }},
        {9, [] { DisplayRecordBytes b{}; b[0] = 1; b[39] = 9; return GuiUpdate::displayRecord(b); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.displayRecord[0] == 1 && g.displayRecord[39] == 9; }},
        {10, [] { return GuiUpdate::weatherReaderState(1); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.weatherReaderState == 1; }},
        {11, [] { return GuiUpdate::trafficServiceInfo("RT App Standard edition: x"); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.trafficServiceInfo == "RT App Standard edition: x"; }},
        {12, [] { return GuiUpdate::simulatorName("MSFS 2024"); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.simulatorName == "MSFS 2024"; }},
        {13, [] { return GuiUpdate::simulatorReady(true); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.simulatorReady; }},
        {14, [] { return GuiUpdate::liveriesCount(1234); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.liveriesCount == 1234; }},
        {15, [] { return GuiUpdate::simaddonCount(3); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.simaddonCount == 3; }},
        {16, [] { return GuiUpdate::thirdpartyCount(4); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.thirdpartyCount == 4; }},
        {17, [] { return GuiUpdate::userWingspanKnown(false); }, none, 1,
         [](const Gui& g, GuiHarness&) { return !g.userWingspanKnown; }},
        {18, [] { return GuiUpdate::liveAircraftCount(42); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.liveAircraftCount == 42; }},
        {19, [] { return GuiUpdate::standCount(99); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.standCount == 99; }},
        {20, [] { return GuiUpdate::parkedCounts(5, 6); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.liveParkedCount == 5 && g.staticCount == 6; }},
        {21, [] { return GuiUpdate::parkingTarget(30, 40); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.parkingTargetCount == 30 && g.parkingTargetPercent == 40; }},
        {22, [] { return GuiUpdate::airportQuality("0.8"); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.airportQualityText == "0.8"; }},
        {23, [] { return GuiUpdate::parkAirportCode(IcaoCode("EGLL")); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.parkAirport.text() == "EGLL"; }},
        {24, [] { return GuiUpdate::parkedTrafficText(true, "parked text"); },
         [](Gui& g) {
             g.statusLine = "status";
             g.statusExpiryArmed = true;
         },
         12,
         [](const Gui& g, GuiHarness&) {
             return g.parkedTrafficTextFlag && g.parkedTrafficText == "parked text" && g.statusLine.empty() &&
                    !g.statusExpiryArmed;
         }},
        {25, [] { return GuiUpdate::parkingInterval(15); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.parkingIntervalMinutes == 15; }},
        {26, [] { return GuiUpdate::parkedTrafficFlag(true); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.parkedTrafficFlag; }},
        {27, [] { return GuiUpdate::qnh(1013); }, [](Gui& g) { g.weatherReaderState = 1; }, 1,
         [](const Gui& g, GuiHarness&) { return g.qnhHpa == 1013 && g.weatherReaderState == 0; }},
        {28, [] { return GuiUpdate::qnhInHg(true); }, none, 1, [](const Gui& g, GuiHarness&) { return g.qnhInHg; }},
        {29, [] { return GuiUpdate::parkAirportText("publisher", true); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.parkAirportText == "publisher" && g.parkAirportFlag; }},
        {30, [] { return GuiUpdate::standOptionUpdates(3); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.standOptionUpdates == 3; }},
        {31, [] { return GuiUpdate::staticFit(2.5f); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.staticFit == 2.5f; }},
        {32, [] { return GuiUpdate::liveFit(1.5f); }, none, 4,
         [](const Gui& g, GuiHarness&) { return g.liveFit == 1.5f; }},
        {33, [] { return GuiUpdate::userStand("A12"); }, none, 1,
         [](const Gui& g, GuiHarness&) { return g.userStand == "A12"; }},
        {34, [] { return GuiUpdate::dimSettingsLabels(); }, none, 2,
         [](const Gui& g, GuiHarness&) { return !g.settingsLabelsActive; }},
        {35, [] { return GuiUpdate::statusLine("hello", false); }, none, 8,
         [](const Gui& g, GuiHarness& h) {
             return g.statusLine == "hello" && g.statusExpiryArmed && g.statusExpiry == h.now + 25s;
         }},
        {36, [] { return GuiUpdate::errorText("bad"); }, [](Gui& g) { g.statusLine = "s"; }, 8,
         [](const Gui& g, GuiHarness&) { return g.errorText == "bad" && g.statusLine.empty(); }},
        {37, [] { return GuiUpdate::clearStatusLine(); }, [](Gui& g) { g.statusLine = "s"; }, 8,
         [](const Gui& g, GuiHarness&) { return g.statusLine.empty(); }},
        {38, [] { return GuiUpdate::clearError(); }, [](Gui& g) { g.errorText = "e"; }, 8,
         [](const Gui& g, GuiHarness&) { return g.errorText.empty(); }},
        {39, [] { return GuiUpdate::resetDisplay(); },
         [](Gui& g) {
             g.simulatorName = "x";
             g.trafficReaderState = 0;
         },
         15, [](const Gui& g, GuiHarness&) { return g.simulatorName.empty() && g.trafficReaderState == 2; }},
    };
}

TEST_F(GuiTest, EveryKindHasItsNumberEffectAndMask) {
    h->open();
    const auto cases = allKinds();
    ASSERT_EQ(cases.size(), static_cast<std::size_t>(kGuiUpdateKindCount));
    std::set<int> numbers;
    for (const auto& c : cases) {
        SCOPED_TRACE(c.number);
        gui().reset();
        gui().compact = false;
        c.before(gui());
        const GuiUpdate item = c.make();
        EXPECT_EQ(static_cast<int>(item.kind), c.number);
        numbers.insert(static_cast<int>(item.kind));
        EXPECT_EQ(gui().applyUpdate(item), c.mask);
        EXPECT_TRUE(c.after(gui(), *h));
    }
    EXPECT_EQ(numbers.size(), static_cast<std::size_t>(kGuiUpdateKindCount));
}

TEST_F(GuiTest, UnchangedValuesGiveNoRepaintButNaNAlwaysCounts) {
    h->open();
    gui().trafficReaderState = 1;
    gui().weatherReaderState = 0;
    gui().liveAircraftCount = 9;
    gui().liveParkedCount = 1;
    gui().staticCount = 2;
    gui().qnhInHg = true;
    gui().standOptionUpdates = 4;
    gui().staticFit = 3.0f;
    gui().liveFit = 2.0f;
    gui().userStand = "B7";
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::trafficReaderState(1)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::weatherReaderState(0)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveAircraftCount(9)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::parkedCounts(1, 2)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::parkedCounts(1, 3)), 4);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::qnhInHg(true)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::standOptionUpdates(4)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::staticFit(3.0f)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveFit(2.0f)), 0);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::userStand("B7")), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveFit(nan)), 4);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveFit(nan)), 4);
    EXPECT_TRUE(std::isnan(gui().liveFit));
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::staticFit(nan)), 4);
}

TEST_F(GuiTest, WrongPayloadIsSwallowedByEnqueue) {
    h->open();
    GuiUpdate broken;
    broken.kind = GuiUpdateKind::StatusLine;
    broken.payload = std::uint64_t{3};
    EXPECT_THROW(gui().applyUpdate(broken), std::bad_variant_access);
    EXPECT_NO_THROW(gui().enqueue(broken));
    EXPECT_TRUE(gui().statusLine.empty());
}

// --- status line and error ---

TEST_F(GuiTest, StatusLineLogsOnlyWithFlagAndTextAndNeverUnderAnError) {
    h->open();
    gui().enqueue(GuiUpdate::statusLine("quiet line", false));
    gui().enqueue(GuiUpdate::statusLine("logged line", true));
    EXPECT_EQ(gui().statusLine, "logged line");
    gui().enqueue(GuiUpdate::statusLine("", true));
    EXPECT_EQ(gui().statusLine, "");
    EXPECT_FALSE(gui().statusExpiryArmed);

    gui().enqueue(GuiUpdate::errorText("broken"));
    gui().enqueue(GuiUpdate::statusLine("hidden line", true));
    EXPECT_EQ(gui().statusLine, "");
    EXPECT_EQ(gui().errorText, "broken");
    // After the error is cleared nothing shows until the next status line.
    gui().enqueue(GuiUpdate::clearError());
    EXPECT_EQ(gui().statusLine, "");
    gui().enqueue(GuiUpdate::statusLine("next", false));
    EXPECT_EQ(gui().statusLine, "next");

    const std::string log = readLog();
    EXPECT_EQ(log.find("quiet line"), std::string::npos);
    EXPECT_NE(log.find("\nlogged line\n"), std::string::npos);
    EXPECT_EQ(log.find("hidden line"), std::string::npos);
    EXPECT_NE(log.find("\nError broken\n"), std::string::npos);
}

TEST_F(GuiTest, SameErrorLogsAgainOnlyWhenItReplacesAStatusLine) {
    h->open();
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::errorText("E1")), 8);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::errorText("E1")), 0);
    EXPECT_EQ(countOccurrences(readLog(), "Error E1\n"), 1u);
    gui().statusLine = "a status";  // shown before the error came back
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::errorText("E1")), 8);
    EXPECT_TRUE(gui().statusLine.empty());
    EXPECT_EQ(countOccurrences(readLog(), "Error E1\n"), 2u);
}

TEST_F(GuiTest, StatusLineExpiresAtFirstTickAfter25Seconds) {
    h->open();
    gui().enqueue(GuiUpdate::statusLine("short lived", false));
    h->now += 24s + 999ms;
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::statusTick()), 0);
    EXPECT_EQ(gui().statusLine, "short lived");
    h->now += 1ms;
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::statusTick()), 8);
    EXPECT_EQ(gui().statusLine, "");
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::statusTick()), 0);
    // A newer line restarts the 25 seconds.
    gui().enqueue(GuiUpdate::statusLine("first", false));
    h->now += 20s;
    gui().enqueue(GuiUpdate::statusLine("second", false));
    h->now += 10s;
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::statusTick()), 0);
    EXPECT_EQ(gui().statusLine, "second");
}

TEST_F(GuiTest, ClearStatusLineLeavesAnErrorAlone) {
    h->open();
    gui().errorText = "err";
    gui().statusLine = "stale";
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearStatusLine()), 0);
    EXPECT_EQ(gui().statusLine, "stale");
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearError()), 8);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearError()), 0);
}

TEST_F(GuiTest, ResetKeepsModeUnitCountsAndParkingSettings) {
    h->open();
    gui().compact = true;
    gui().qnhInHg = true;
    gui().simaddonCount = 1;
    gui().thirdpartyCount = 2;
    gui().liveriesCount = 3;
    gui().staticsWaiting = 4;
    gui().parkingTargetPercent = 5;
    gui().parkingIntervalMinutes = 6;
    gui().displayRecord[3] = 7;
    gui().parkAirport = IcaoCode("LOWW");
    gui().staticFit = 1.0f;
    gui().qnhHpa = 1000;
    gui().settingsLabelsActive = false;
    gui().parkedTrafficFlagShared.store(true);
    gui().reset();
    EXPECT_TRUE(gui().compact);
    EXPECT_TRUE(gui().qnhInHg);
    EXPECT_EQ(gui().simaddonCount + gui().thirdpartyCount + gui().liveriesCount, 6u);
    EXPECT_EQ(gui().staticsWaiting, 4u);
    EXPECT_EQ(gui().parkingTargetPercent, 5);
    EXPECT_EQ(gui().parkingIntervalMinutes, 6);
    EXPECT_EQ(gui().displayRecord[3], 7);
    EXPECT_TRUE(gui().parkAirport.isNone());
    EXPECT_EQ(gui().staticFit, -1.0f);
    EXPECT_EQ(gui().qnhHpa, 0);
    EXPECT_TRUE(gui().settingsLabelsActive);
    EXPECT_FALSE(gui().parkedTrafficFlagShared.load());
}

// --- repaint ---

TEST_F(GuiTest, RepaintInvalidatesTheBandsOfTheMode) {
    h->open();
    h->backend->clearRecords();
    gui().repaint(0);
    EXPECT_TRUE(h->backend->invalidations().empty());

    gui().repaint(15);
    auto inv = h->backend->invalidations();
    ASSERT_EQ(inv.size(), 4u);
    EXPECT_EQ(*inv[0].rect, (PixelRect{0, 32, 900, 96}));
    EXPECT_EQ(*inv[1].rect, (PixelRect{0, 96, 900, 640}));
    EXPECT_EQ(*inv[2].rect, (PixelRect{0, 640, 900, 736}));
    EXPECT_EQ(*inv[3].rect, (PixelRect{0, 736, 900, 768}));
    EXPECT_FALSE(inv[0].erase);

    h->backend->clearRecords();
    gui().compact = true;
    gui().repaint(4 | 8);  // no park airport: no parking band
    inv = h->backend->invalidations();
    ASSERT_EQ(inv.size(), 1u);
    EXPECT_EQ(*inv[0].rect, (PixelRect{0, 96, 900, 128}));

    h->backend->clearRecords();
    gui().parkAirport = IcaoCode("EGLL");
    gui().repaint(4 | 8);
    inv = h->backend->invalidations();
    ASSERT_EQ(inv.size(), 2u);
    EXPECT_EQ(*inv[0].rect, (PixelRect{0, 96, 900, 192}));
    EXPECT_EQ(*inv[1].rect, (PixelRect{0, 192, 900, 224}));

    h->backend->clearRecords();
    gui().compact = false;
    gui().dpi = 144;
    gui().repaint(1);
    inv = h->backend->invalidations();
    ASSERT_EQ(inv.size(), 1u);
    EXPECT_EQ(*inv[0].rect, (PixelRect{0, 48, 1350, 144}));
}

TEST_F(GuiTest, ResizeFollowsCompactModeAndParkAirport) {
    h->open();
    auto clientHeight = [&] { return h->backend->windowRect(h->window)->height() - HeadlessBackend::kFrameHeight96; };
    EXPECT_EQ(clientHeight(), 768);
    gui().enqueue(GuiUpdate::setCompact(true));
    EXPECT_EQ(clientHeight(), 128);
    h->backend->clearRecords();
    gui().enqueue(GuiUpdate::parkAirportCode(IcaoCode("EGLL")));
    EXPECT_EQ(clientHeight(), 224);
    ASSERT_FALSE(h->backend->invalidations().empty());
    EXPECT_FALSE(h->backend->invalidations().back().rect.has_value());
    EXPECT_TRUE(h->backend->invalidations().back().erase);
    // The same presence again only repaints the parking band.
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::parkAirportCode(IcaoCode("KJFK"))), 4);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::parkAirportCode(IcaoCode())), 16);
    gui().enqueue(GuiUpdate::toggleCompact());
    EXPECT_EQ(clientHeight(), 768);
    // At 144 DPI the whole window scales.
    gui().dpi = 144;
    gui().repaint(16);
    EXPECT_EQ(h->backend->windowRect(h->window)->width(), 1350 + 24);
}

TEST_F(GuiTest, CompactHidesOnlyTheExpandedControlsThatExist) {
    h->open();
    ASSERT_TRUE(gf_createControl(h->window, ControlSpec{.kind = ControlKind::CheckBox, .id = 0x8005, .x = 775, .y = 176, .width = 14, .height = 14}));
    ASSERT_TRUE(gf_createControl(h->window, ControlSpec{.kind = ControlKind::ComboBox, .id = 0x800A, .x = 657, .y = 160, .width = 110, .height = 80}));
    gui().expandedOnlyControls = {0x8005, 0x800A, 0x8099};
    gui().enqueue(GuiUpdate::setCompact(true));
    EXPECT_EQ(gf_isControlVisible(0x8005), false);
    EXPECT_EQ(gf_isControlVisible(0x800A), false);
    EXPECT_FALSE(gf_isControlVisible(0x8099).has_value());
    gui().enqueue(GuiUpdate::setCompact(false));
    EXPECT_EQ(gf_isControlVisible(0x8005), true);
}

// --- the queue on one thread ---

TEST_F(GuiTest, ItemsBeforeTheWindowAreDrainedOnceItExists) {
    // No GUI thread yet: every item is queued, no message can be posted.
    gui().enqueue(GuiUpdate::simulatorName("MSFS 2020"));
    gui().enqueue(GuiUpdate::liveAircraftCount(3));
    EXPECT_EQ(gui().queuedCount(), 2u);
    EXPECT_EQ(gui().simulatorName, "");
    h->open();
    EXPECT_EQ(tavo::test::gf_countMessages(h->backend->postedMessages(), MSG_GUI_UPDATE), 1u);
    EXPECT_TRUE(gui().drainPosted.load());
    h->backend->pump();
    EXPECT_EQ(h->drains, 1);
    EXPECT_EQ(gui().simulatorName, "MSFS 2020");
    EXPECT_EQ(gui().liveAircraftCount, 3u);
    EXPECT_EQ(gui().queuedCount(), 0u);
    EXPECT_FALSE(gui().drainPosted.load());
}

TEST_F(GuiTest, GuiThreadItemsApplyAtOnceEvenDuringWindowCreation) {
    gui().attachGuiThread();
    MainWindowSpec spec;
    spec.width = 916;
    spec.height = 807;
    spec.proc = [this](WindowHandle w, std::uint32_t msg, std::uint64_t wp, std::int64_t lp) -> std::int64_t {
        if (msg == WM_CREATE) gui().enqueue(GuiUpdate::setCompact(true));
        return gf_defaultWindowProc(w, msg, wp, lp);
    };
    h->window = gf_createMainWindow(spec);
    // Applied during WM_CREATE; its resize did nothing, the handle was not stored yet.
    EXPECT_TRUE(gui().compact);
    EXPECT_EQ(gui().repaintCount, 0u);
    EXPECT_EQ(h->backend->windowRect(h->window)->height(), 807);
    gui().attachWindow(h->window);
    gui().enqueue(GuiUpdate::qnh(1013));
    EXPECT_EQ(gui().qnhHpa, 1013);
    EXPECT_EQ(gui().repaintCount, 1u);
    EXPECT_TRUE(h->backend->postedMessages().empty());
}

TEST_F(GuiTest, CloseDropsQueuedAndLaterItems) {
    gui().enqueue(GuiUpdate::userStand("A1"));
    gui().enqueue(GuiUpdate::userStand("A2"));
    gui().close();
    EXPECT_EQ(gui().queuedCount(), 0u);
    gui().enqueue(GuiUpdate::userStand("A3"));
    EXPECT_EQ(gui().queuedCount(), 0u);
    gui().attachGuiThread();  // a new window reopens the queue
    gui().enqueue(GuiUpdate::userStand("A4"));
    EXPECT_EQ(gui().userStand, "A4");
}

TEST_F(GuiTest, FailedPostIsRetriedByTheNextItem) {
    h->open();
    gui().guiThread.store(std::thread::id());  // post as a worker thread would
    h->backend->setPostFailure(true);
    gui().enqueue(GuiUpdate::standCount(1));
    EXPECT_FALSE(gui().drainPosted.load());
    EXPECT_EQ(gui().queuedCount(), 1u);
    h->backend->setPostFailure(false);
    gui().enqueue(GuiUpdate::standCount(2));
    gui().enqueue(GuiUpdate::standCount(3));
    EXPECT_EQ(tavo::test::gf_countMessages(h->backend->postedMessages(), MSG_GUI_UPDATE), 1u);
    h->backend->pump();
    EXPECT_EQ(gui().standCount, 3u);
    EXPECT_EQ(h->drains, 1);
    EXPECT_EQ(gui().repaintCount, 1u);
}

TEST_F(GuiTest, DrainRepaintsOnceWithTheCombinedMask) {
    h->open();
    gui().guiThread.store(std::thread::id());
    h->backend->clearRecords();
    gui().enqueue(GuiUpdate::simulatorReady(true));     // 1
    gui().enqueue(GuiUpdate::standCount(4));            // 4
    gui().enqueue(GuiUpdate::statusLine("x", false));   // 8
    gui().enqueue(GuiUpdate::repaint(0));               // 0
    h->backend->pump();
    EXPECT_EQ(gui().repaintCount, 1u);
    const auto inv = h->backend->invalidations();
    ASSERT_EQ(inv.size(), 3u);
    EXPECT_EQ(inv[0].rect->top, 32);
    EXPECT_EQ(inv[1].rect->top, 640);
    EXPECT_EQ(inv[2].rect->top, 736);
    // The headless window painted once for the three bands.
    EXPECT_EQ(h->backend->paintedFrames().size(), 1u);
}

// --- posting operations of the global Gui ---

class PostingTest : public GuiTest {
protected:
    void SetUp() override {
        GuiTest::SetUp();
        gf_gui().attachGuiThread();  // apply at once on this thread
        gf_gui().reset();
    }
    void TearDown() override {
        gf_setTbloPendingQuery(nullptr);
        gf_gui().reset();
        GuiTest::TearDown();
    }
};

bool lf_pendingYes() { return true; }

TEST_F(PostingTest, OperationsBuildTheirKindsWithCopiedTexts) {
    {
        std::string text = "RT Direct Pro license, 3 days left";
        Gui::showTrafficServiceInfo(text);
        text.assign(text.size(), 'x');
    }
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT Direct Pro license, 3 days left");
    Gui::showParkedTrafficText(true, "EGLL 12 parked");
    EXPECT_TRUE(gf_gui().parkedTrafficTextFlag);
    EXPECT_EQ(gf_gui().parkedTrafficText, "EGLL 12 parked");
    Gui::showParkAirport("Heathrow", true);
    EXPECT_EQ(gf_gui().parkAirportText, "Heathrow");
    EXPECT_TRUE(gf_gui().parkAirportFlag);
    Gui::showParkedTrafficValue(4.5f);
    EXPECT_EQ(gf_gui().staticFit, 4.5f);
    Gui::showUserPositionText("C3");
    EXPECT_EQ(gf_gui().userStand, "C3");
    Gui::showUserPositionText("");
    EXPECT_EQ(gf_gui().userStand, "");
    Gui::setParkedTrafficFlag(true);
    EXPECT_TRUE(gf_gui().parkedTrafficFlagShared.load());
    EXPECT_TRUE(gf_gui().parkedTrafficFlag);
    Gui::showError("boom");
    EXPECT_EQ(gf_gui().errorText, "boom");
    Gui::addStatusLine("not shown", true);
    EXPECT_EQ(gf_gui().statusLine, "");
    EXPECT_EQ(readLog().find("not shown"), std::string::npos);
}

TEST_F(PostingTest, TbloHintReplacesTheClearWhileAnArchiveWaits) {
    Gui::addStatusLine("something", false);
    Gui::showTbloHintOrClear();
    EXPECT_EQ(gf_gui().statusLine, "");
    gf_setTbloPendingQuery(&lf_pendingYes);
    Gui::showTbloHintOrClear();
    EXPECT_NE(gf_gui().statusLine.find("tblo.zip"), std::string::npos);
    EXPECT_TRUE(gf_gui().statusLine.ends_with(", please"));
}

}  // namespace
