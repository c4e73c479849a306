#include <cmath>
#include <limits>
#include <set>

#include <gtest/gtest.h>

#include "gui_harness.h"
#include "services/gui.h"
#include "support/temp_dir.h"

namespace {

using namespace std::chrono_literals;
using tavo::test::GuiHarness;

std::size_t countOccurrences(const std::string& text, const std::string& what) {
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1)) ++n;
    return n;
}

class GuiTest : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        h = std::make_unique<GuiHarness>();
    }
    void TearDown() override {
        h.reset();
        LogFileTest::TearDown();
    }
    Gui& gui() { return h->gui; }
    std::unique_ptr<GuiHarness> h;
};

// --- applying: one row per kind ---

struct KindCase {
    int number;
    GuiUpdate (*make)();
    void (*before)(Gui&);
    RepaintMask mask;
    bool (*after)(const Gui&, const GuiHarness&);
};

// One row per kind: its number, the item, an optional state before, the
// repaint mask it gives and the effect it must have.
#define KIND(n, item, mask, effect)                    \
    {n, [] { return GuiUpdate::item; }, nullptr, mask, \
     [](const Gui& g, const GuiHarness& h) { (void)g, (void)h; return effect; }}
#define KIND_FROM(n, item, before, mask, effect)                      \
    {n, [] { return GuiUpdate::item; }, [](Gui& g) { before; }, mask, \
     [](const Gui& g, const GuiHarness& h) { (void)g, (void)h; return effect; }}

const KindCase kAllKinds[] = {
    KIND(0, setCompact(true), 16, g.compact),
    KIND_FROM(1, toggleCompact(), g.compact = true, 16, !g.compact),
    KIND(2, stayOnTop(true), 0, h.backend->isTopmost(h.window)),
    KIND(3, minimise(), 0, h.backend->windowPlacement(h.window)->show == ShowCommand::Minimized),
    KIND(4, repaint(5), 5, true),
    KIND_FROM(5, statusTick(), (g.statusLine = "old", g.statusExpiryArmed = true, g.statusExpiry = g.clock() - 1s),
              8, g.statusLine.empty() && !g.statusExpiryArmed),
    KIND(6, trafficSourceStarted(), 1, !g.trafficSourceNotStarted),
    KIND(7, staticsWaiting(7), 4, g.staticsWaiting == 7),
    KIND(8, trafficReaderState(0), 1, g.trafficReaderState == 0),
    KIND(9, displayRecord(DisplayRecordBytes{1, 2, 3}), 1, g.displayRecord[0] == 1 && g.displayRecord[2] == 3),
    KIND(10, weatherReaderState(1), 1, g.weatherReaderState == 1),
    KIND(11, trafficServiceInfo("RT App: x"), 1, g.trafficServiceInfo == "RT App: x"),
    KIND(12, simulatorName("MSFS 2024"), 1, g.simulatorName == "MSFS 2024"),
    KIND(13, simulatorReady(true), 1, g.simulatorReady),
    KIND(14, liveriesCount(1234), 1, g.liveriesCount == 1234),
    KIND(15, simaddonCount(3), 1, g.simaddonCount == 3),
    KIND(16, thirdpartyCount(4), 1, g.thirdpartyCount == 4),
    KIND(17, userWingspanKnown(false), 1, !g.userWingspanKnown),
    KIND(18, liveAircraftCount(42), 1, g.liveAircraftCount == 42),
    KIND(19, standCount(99), 4, g.standCount == 99),
    KIND(20, parkedCounts(5, 6), 4, g.liveParkedCount == 5 && g.staticCount == 6),
    KIND(21, parkingTarget(30, 40), 4, g.parkingTargetCount == 30 && g.parkingTargetPercent == 40),
    KIND(22, airportQuality("0.8"), 4, g.airportQualityText == "0.8"),
    KIND(23, parkAirportCode(IcaoCode("EGLL")), 4, g.parkAirport.text() == "EGLL"),
    KIND_FROM(24, parkedTrafficText(true, "parked"), (g.statusLine = "status", g.statusExpiryArmed = true), 12,
              g.parkedTrafficTextFlag && g.parkedTrafficText == "parked" && g.statusLine.empty() &&
                  !g.statusExpiryArmed),
    KIND(25, parkingInterval(15), 4, g.parkingIntervalMinutes == 15),
    KIND(26, parkedTrafficFlag(true), 4, g.parkedTrafficFlag),
    KIND_FROM(27, qnh(1013), g.weatherReaderState = 1, 1, g.qnhHpa == 1013 && g.weatherReaderState == 0),
    KIND(28, qnhInHg(true), 1, g.qnhInHg),
    KIND(29, parkAirportText("publisher", true), 4, g.parkAirportText == "publisher" && g.parkAirportFlag),
    KIND(30, standOptionUpdates(3), 4, g.standOptionUpdates == 3),
    KIND(31, staticFit(2.5f), 4, g.staticFit == 2.5f),
    KIND(32, liveFit(1.5f), 4, g.liveFit == 1.5f),
    KIND(33, userStand("A12"), 1, g.userStand == "A12"),
    KIND(34, dimSettingsLabels(), 2, !g.settingsLabelsActive),
    KIND(35, statusLine("hello", false), 8, g.statusLine == "hello" && g.statusExpiry == h.now + 25s),
    KIND_FROM(36, errorText("bad"), g.statusLine = "s", 8, g.errorText == "bad" && g.statusLine.empty()),
    KIND_FROM(37, clearStatusLine(), g.statusLine = "s", 8, g.statusLine.empty()),
    KIND_FROM(38, clearError(), g.errorText = "e", 8, g.errorText.empty()),
    KIND_FROM(39, resetDisplay(), (g.simulatorName = "x", g.trafficReaderState = 0), 15,
              g.simulatorName.empty() && g.trafficReaderState == 2),
};

#undef KIND
#undef KIND_FROM

TEST_F(GuiTest, EveryKindHasItsNumberEffectAndMask) {
    h->open();
    ASSERT_EQ(std::size(kAllKinds), static_cast<std::size_t>(kGuiUpdateKindCount));
    std::set<int> numbers;
    for (const auto& c : kAllKinds) {
        SCOPED_TRACE(c.number);
        gui().reset();
        gui().compact = false;
        if (c.before != nullptr) c.before(gui());
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
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::userStand("B7")), 1);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::userStand("B7")), 0);
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveFit(nan)), 4);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::liveFit(nan)), 4);
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

TEST_F(GuiTest, StatusAndErrorPrecedenceAndTheirLogLines) {
    h->open();
    gui().enqueue(GuiUpdate::statusLine("quiet line", false));
    gui().enqueue(GuiUpdate::statusLine("logged line", true));
    EXPECT_EQ(gui().statusLine, "logged line");
    gui().enqueue(GuiUpdate::statusLine("", true));
    EXPECT_FALSE(gui().statusExpiryArmed);

    gui().enqueue(GuiUpdate::errorText("broken"));
    gui().enqueue(GuiUpdate::statusLine("hidden line", true));
    EXPECT_EQ(gui().statusLine, "");
    EXPECT_EQ(gui().errorText, "broken");
    gui().statusLine = "stale";
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearStatusLine()), 0) << "an error keeps the line as it is";
    // The same error again logs only when it replaces a status line.
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::errorText("broken")), 8);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::errorText("broken")), 0);
    // After the error is cleared nothing shows until the next status line.
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearError()), 8);
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::clearError()), 0);
    EXPECT_EQ(gui().statusLine, "");
    gui().enqueue(GuiUpdate::statusLine("next", false));
    EXPECT_EQ(gui().statusLine, "next");

    const std::string log = logText();
    EXPECT_EQ(log.find("quiet line"), std::string::npos);
    EXPECT_NE(log.find("\nlogged line\n"), std::string::npos);
    EXPECT_EQ(log.find("hidden line"), std::string::npos);
    EXPECT_EQ(countOccurrences(log, "\nError broken\n"), 2u);
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

TEST_F(GuiTest, ResetKeepsModeUnitAndCountsButClearsTheRest) {
    gui().compact = true;
    gui().liveriesCount = 3;
    gui().parkAirport = IcaoCode("LOWW");
    gui().parkedTrafficFlagShared.store(true);
    gui().reset();
    EXPECT_TRUE(gui().compact);
    EXPECT_EQ(gui().liveriesCount, 3u);
    EXPECT_TRUE(gui().parkAirport.isNone());
    EXPECT_FALSE(gui().parkedTrafficFlagShared.load());
}

TEST_F(GuiTest, CompactModeAndParkAirportSetTheWindowSizeAndTheBandsRepainted) {
    h->open();
    auto clientHeight = [&] { return h->backend->windowRect(h->window)->height() - HeadlessBackend::kFrameHeight96; };
    auto tops = [&](RepaintMask mask) {
        h->backend->clearRecords();
        gui().repaint(mask);
        std::vector<int> out;
        for (const auto& inv : h->backend->invalidations()) out.push_back(inv.rect->top);
        return out;
    };
    EXPECT_EQ(clientHeight(), 768);
    EXPECT_TRUE(tops(0).empty());
    EXPECT_EQ(tops(15), (std::vector<int>{32, 96, 640, 736}));
    gui().enqueue(GuiUpdate::setCompact(true));
    EXPECT_EQ(clientHeight(), 128);
    EXPECT_EQ(tops(4 | 8), (std::vector<int>{96})) << "no park airport: no parking band";
    gui().enqueue(GuiUpdate::parkAirportCode(IcaoCode("EGLL")));
    EXPECT_EQ(clientHeight(), 224);
    EXPECT_EQ(tops(4 | 8), (std::vector<int>{96, 192}));
    // The same presence again only repaints the parking band.
    EXPECT_EQ(gui().applyUpdate(GuiUpdate::parkAirportCode(IcaoCode("KJFK"))), 4);
    gui().enqueue(GuiUpdate::toggleCompact());
    EXPECT_EQ(clientHeight(), 768);
}

// --- the queue on one thread ---

TEST_F(GuiTest, ItemsBeforeTheWindowAreDrainedOnceItExists) {
    gui().enqueue(GuiUpdate::simulatorName("MSFS 2020"));
    gui().enqueue(GuiUpdate::liveAircraftCount(3));
    EXPECT_EQ(gui().queuedCount(), 2u);
    EXPECT_EQ(gui().simulatorName, "");
    h->open();
    EXPECT_EQ(tavo::test::gf_countMessages(h->backend->postedMessages(), MSG_GUI_UPDATE), 1u);
    h->backend->pump();
    EXPECT_EQ(h->drains, 1);
    EXPECT_EQ(gui().simulatorName, "MSFS 2020");
    EXPECT_EQ(gui().liveAircraftCount, 3u);
    EXPECT_EQ(gui().queuedCount(), 0u);
    EXPECT_FALSE(gui().drainPosted.load());
}

TEST_F(GuiTest, CloseDropsQueuedAndLaterItems) {
    gui().enqueue(GuiUpdate::userStand("A1"));
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
    h->backend->setPostFailure(false);
    gui().enqueue(GuiUpdate::standCount(2));
    gui().enqueue(GuiUpdate::standCount(3));
    EXPECT_EQ(tavo::test::gf_countMessages(h->backend->postedMessages(), MSG_GUI_UPDATE), 1u);
    h->backend->pump();
    EXPECT_EQ(gui().standCount, 3u);
    EXPECT_EQ(gui().repaintCount, 1u);
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

TEST_F(PostingTest, OperationsCopyTheirTextsAndSetTheSharedFlag) {
    std::string text = "RT Direct Pro license, 3 days left";
    Gui::showTrafficServiceInfo(text);
    text.assign(text.size(), 'x');
    EXPECT_EQ(gf_gui().trafficServiceInfo, "RT Direct Pro license, 3 days left");
    Gui::setParkedTrafficFlag(true);
    EXPECT_TRUE(gf_gui().parkedTrafficFlagShared.load() && gf_gui().parkedTrafficFlag);
}

TEST_F(PostingTest, TbloHintReplacesTheClearWhileAnArchiveWaits) {
    Gui::addStatusLine("something", false);
    Gui::showTbloHintOrClear();
    EXPECT_EQ(gf_gui().statusLine, "");
    gf_setTbloPendingQuery(+[] { return true; });
    Gui::showTbloHintOrClear();
    EXPECT_NE(gf_gui().statusLine.find("tblo.zip"), std::string::npos);
}

}  // namespace
