// Painting of the main window, compared operation by operation with the
// layout: bands, lamps, counters, the parking band, the settings labels and
// the bottom line. Texts are recorded 3 units above the y they are drawn for.

#include "window_fixture.h"

namespace tavo::test {
namespace {

const std::string kGreen = "32d232";
const std::string kYellow = "ffff00";
const std::string kRed = "ff0000";
const std::string kWhite = "ffffff";
const std::string kBlack = "000000";
const std::string kGrey = "a0a0a0";

// "text@x,y#colour" as recorded for a text drawn at (x, y).
std::string at(std::string_view text, int x, int y, const std::string& colour, bool bold = false) {
    return fmt::format("{}@{},{}#{}{}", text, x, y - 3, colour, bold ? "!" : "");
}

class PaintTest : public WindowContentTest {
protected:
    std::vector<PaintOp> paint() {
        RecordingPainter painter;
        lf_paintMainWindow(painter, harness.gui);
        return painter.ops;
    }
    std::vector<std::string> texts() { return gf_textsOf(paint()); }
    // Texts whose recorded form starts with the prefix.
    std::vector<std::string> textsStarting(std::string_view prefix) {
        std::vector<std::string> out;
        for (const auto& t : texts()) {
            if (t.starts_with(prefix)) out.push_back(t);
        }
        return out;
    }
    Gui& gui() { return harness.gui; }

    void withParkAirport() {
        gui().parkAirport = IcaoCode("EDDF");
        gui().parkedTrafficTextFlag = true;
        gui().parkedTrafficText = "RT parked 12";
        gui().parkAirportText = "stock";
        gui().parkAirportFlag = true;
        gui().airportQualityText = "0.8";
        gui().standOptionUpdates = 7;
        gui().standCount = 120;
        gui().liveParkedCount = 5;
        gui().liveFit = 2.5f;
        gui().parkingTargetCount = 40;
        gui().parkingTargetPercent = 30;
        gui().staticCount = 33;
        gui().staticsWaiting = 4;
        gui().staticFit = 3.0f;
        gui().parkingIntervalMinutes = 20;
        g_airportDataWeek.store(23);
        g_parkingActive.store(true);
        gf_makeCurrentParkAirport(IcaoCode("EDDF"), LaLo{50.03, 8.57});
        gf_setParkAirportUserStand(IcaoCode("EDDF"), "A12");
    }
};

TEST_F(PaintTest, ExpandedWindowWithAParkAirport) {
    gui().compact = false;
    gui().dpi = 144;
    gui().statusLine = "Scanning liveries";
    gui().userWingspanKnown = false;
    withParkAirport();
    const auto ops = paint();

    EXPECT_EQ(gf_shapesOf(ops),
              (std::vector<std::string>{
                  "layout 900,768",
                  "fill 0,0,900,32#000000",
                  "fill 0,32,900,96#000000",
                  "fill 0,96,900,640#99ccff",
                  "fill 0,640,900,736#000000",
                  "fill 0,736,900,768#199619",
                  "line 0,32,900,32#ffffff",
                  "line 0,97,900,97#ffffff",
                  "line 0,200,900,200#000000",
                  "line 0,336,900,336#000000",
                  "line 0,504,647,504#000000",
                  "line 647,464,900,464#000000",
                  "line 647,96,647,504#000000",
                  "outline 765,4,855,30#ffffff",
                  "fill 403,34,436,96#ff0000",  // simulator not connected
                  "fill 435,34,468,96#000000",  // traffic source not started
                  "line 435,33,435,96#000000",
                  "fill 0,736,900,768#199619",
              }));
    EXPECT_EQ(gui().expandBox, (PixelRect{1148, 6, 1283, 45})) << "the box in device pixels at 144 DPI";

    const auto t = gf_textsOf(ops);
    for (const std::string& expected : {
             at("Version 16.8.0", 3, 7, kGreen),
             at("TAVO", 415, 7, kGreen),
             at(kCopyrightLine, 528, 7, kGreen),
             at("Compact", 773, 6, kGreen),
             at("MSFS", 5, 39, kGreen),
             at("# simaddon: ...", 5, 71, kYellow),
             at("# thirdp: ...", 167, 71, kYellow),
             at("# liveries: ...", 276, 71, kYellow),
             at("DATA SOURCES", 5, 103, kBlack, true),
             at("airport: EDDF", 5, 647, kGreen),
             at(" RT parked 12   publisher: stock (h),  week: 23", 167, 647, kGreen),
             at("wingspan user ac unknown?", 657, 647, kYellow),
             at("next update (min):", 5, 679, kGreen),
             at("20", 167, 679, kGreen),
             at("qf: 0.8", 440, 679, kGreen),
             at("reserved stand: A12", 548, 679, kGreen),
             at("# updates:    7", 765, 679, kGreen),
             at("# stands: 120", 5, 711, kGreen),
             at("park live:   5", 167, 711, kGreen),
             at("live fit: 2.5", 276, 711, kGreen),
             at("static:  33", 440, 711, kGreen),
             at(" (4)", 505, 711, kYellow),
             at("static fit: 3", 548, 711, kGreen),
             at("max park:  40 (=30 %)", 657, 711, kGreen),
             at("Scanning liveries", 3, 743, kWhite),
         }) {
        EXPECT_TRUE(gf_has(t, expected)) << expected;
    }
    // The status line is the last thing drawn; nothing is drawn over it.
    EXPECT_EQ(t.back(), at("Scanning liveries", 3, 743, kWhite));
}

TEST_F(PaintTest, CompactWindowWithAndWithoutAParkAirport) {
    gui().compact = true;
    withParkAirport();
    auto ops = paint();
    EXPECT_EQ(gf_shapesOf(ops),
              (std::vector<std::string>{
                  "layout 900,224",
                  "fill 0,0,900,32#000000",
                  "fill 0,32,900,96#000000",
                  "fill 0,96,900,192#000000",
                  "fill 0,192,900,224#199619",
                  "line 0,32,900,32#ffffff",
                  "outline 765,4,855,30#ffffff",
                  "fill 403,34,436,96#ff0000",
                  "fill 435,34,468,96#000000",
                  "line 435,33,435,96#000000",
                  "fill 0,192,900,224#199619",
                  "line 0,96,900,96#ffffff",
              }));
    auto t = gf_textsOf(ops);
    EXPECT_TRUE(gf_has(t, at("Expand", 773, 6, kGreen)));
    EXPECT_TRUE(gf_has(t, at("airport: EDDF", 5, 103, kGreen)));
    EXPECT_TRUE(gf_has(t, at("next update (min):", 5, 135, kGreen)));
    EXPECT_TRUE(gf_has(t, at("# stands: 120", 5, 167, kGreen)));
    for (const auto& text : t) EXPECT_EQ(text.find("DATA SOURCES"), std::string::npos) << "no labels when compact";

    gui().parkAirport = IcaoCode();
    gui().statusLine = "ready";
    ops = paint();
    EXPECT_EQ(gf_shapesOf(ops),
              (std::vector<std::string>{
                  "layout 900,128",
                  "fill 0,0,900,32#000000",
                  "fill 0,32,900,96#000000",
                  "fill 0,96,900,128#199619",
                  "line 0,32,900,32#ffffff",
                  "outline 765,4,855,30#ffffff",
                  "fill 403,34,436,96#ff0000",
                  "fill 435,34,468,96#000000",
                  "line 435,33,435,96#000000",
                  "fill 0,96,900,128#199619",
                  "line 0,96,900,96#ffffff",
              }));
    t = gf_textsOf(ops);
    EXPECT_EQ(t, (std::vector<std::string>{
                     at("Version 16.8.0", 3, 7, kGreen), at("TAVO", 415, 7, kGreen), at(kCopyrightLine, 528, 7, kGreen),
                     at("Expand", 773, 6, kGreen), at("MSFS", 5, 39, kGreen), at("# simaddon: ...", 5, 71, kYellow),
                     at("# thirdp: ...", 167, 71, kYellow), at("# liveries: ...", 276, 71, kYellow),
                     at("ready", 3, 103, kWhite)}))
        << "header, status band and bottom line only";
}

struct LampCase {
    const char* name;
    std::uint8_t simState;
    bool ready;
    bool rtConnected;
    bool sourceStarted;
    std::uint32_t trafficState;
    std::string simLamp;
    std::string trafficLamp;
    std::vector<std::string> statusTexts;  // texts of the first status row
};

TEST_F(PaintTest, LampsAndFirstStatusRowByConnectionState) {
    gui().simulatorName = "MSFS 2024";
    gui().userStand = "B7";
    gui().trafficServiceInfo = "RT Direct 2.0";
    const std::vector<LampCase> cases{
        {"nothing connected", SIM_NOT_CONNECTED, false, false, false, kReaderStopped, "fill 403,34,436,96#ff0000",
         "fill 435,34,468,96#000000", {at("MSFS", 5, 39, kGreen)}},
        {"quitting counts as not connected", SIM_QUITTING, true, false, true, kReaderStopped,
         "fill 403,34,436,96#ff0000", "fill 435,34,468,96#ff0000", {at("MSFS", 5, 39, kGreen)}},
        {"connected, not ready", SIM_STOPPED, false, true, true, kReaderTrouble, "fill 403,34,436,96#ffff00",
         "fill 435,34,468,96#ffff00",
         {at("MSFS 2024", 5, 39, kYellow), at("user stand: B7", 222, 39, kYellow),
          at("RT Direct 2.0", 494, 39, kGreen)}},
        {"connected and ready", SIM_RUNNING, true, true, true, kReaderRunning, "fill 403,34,436,96#199619",
         "fill 435,34,468,96#199619",
         {at("MSFS 2024", 5, 39, kGreen), at("user stand: B7", 222, 39, kGreen),
          at("RT Direct 2.0", 494, 39, kGreen)}},
    };
    for (const LampCase& c : cases) {
        SCOPED_TRACE(c.name);
        g_simState.store(c.simState);
        g_rtConnected.store(c.rtConnected);
        gui().simulatorReady = c.ready;
        gui().trafficSourceNotStarted = !c.sourceStarted;
        gui().trafficReaderState = c.trafficState;
        const auto ops = paint();
        const auto shapes = gf_shapesOf(ops);
        EXPECT_TRUE(gf_has(shapes, c.simLamp));
        EXPECT_TRUE(gf_has(shapes, c.trafficLamp));
        std::vector<std::string> row;
        for (const auto& t : gf_textsOf(ops)) {
            if (t.find(",36#") != std::string::npos) row.push_back(t);
        }
        EXPECT_EQ(row, c.statusTexts);
    }
}

TEST_F(PaintTest, QnhLiveCountAndReaderLabels) {
    g_rtConnected.store(true);
    gui().trafficSourceNotStarted = false;
    gui().qnhHpa = 1013;
    gui().weatherReaderState = kReaderRunning;
    gui().trafficReaderState = kReaderTrouble;
    gui().liveAircraftCount = 7;
    gui().liveriesCount = 1234;
    gui().simaddonCount = 3;
    auto t = texts();
    EXPECT_TRUE(gf_has(t, at("1013 hPa", 548, 71, kGreen)));
    EXPECT_TRUE(gf_has(t, at("qnh:", 494, 71, kGreen)));
    EXPECT_TRUE(gf_has(t, at("# live aircraft:", 657, 71, kYellow)));
    EXPECT_TRUE(gf_has(t, at("  7", 785, 71, kGreen)));
    EXPECT_TRUE(gf_has(t, at("# livs: 1234", 276, 71, kGreen)));
    EXPECT_TRUE(gf_has(t, at("# simaddon: 3", 5, 71, kGreen)));

    gui().qnhInHg = true;
    gui().weatherReaderState = kReaderTrouble;
    t = texts();
    EXPECT_TRUE(gf_has(t, at("29.91 inHg", 548, 71, kGreen)));
    EXPECT_TRUE(gf_has(t, at("qnh:", 494, 71, kYellow)));

    // A stopped reader hides its label and value; no QNH known shows none.
    gui().weatherReaderState = kReaderStopped;
    gui().trafficReaderState = kReaderStopped;
    t = texts();
    EXPECT_TRUE(textsStarting("29.91").empty());
    EXPECT_TRUE(textsStarting("qnh:").empty());
    EXPECT_TRUE(textsStarting("# live aircraft:").empty());
    EXPECT_TRUE(textsStarting("  7@").empty());
    gui().weatherReaderState = kReaderRunning;
    gui().qnhHpa = 0;
    EXPECT_TRUE(textsStarting("29.91").empty());
    EXPECT_TRUE(textsStarting(" hPa").empty());

    // Without the traffic source none of it shows.
    g_rtConnected.store(false);
    gui().qnhHpa = 1013;
    EXPECT_TRUE(textsStarting("29.91").empty());
    EXPECT_TRUE(textsStarting("qnh:").empty());
}

TEST_F(PaintTest, AnErrorHoldsTheBottomLineRed) {
    gui().compact = false;
    gui().statusLine = "a status";
    gui().errorText = "Cannot reach the simulator";
    const auto ops = paint();
    const auto shapes = gf_shapesOf(ops);
    EXPECT_EQ(shapes.back(), "fill 0,736,900,768#ff0000");
    const auto t = gf_textsOf(ops);
    EXPECT_EQ(t.back(), at("Cannot reach the simulator", 3, 743, kWhite));
    for (const auto& text : t) EXPECT_EQ(text.find("a status"), std::string::npos);
}

TEST_F(PaintTest, ParkingRowsByIntervalGenerationStaticsAndStand) {
    gui().compact = false;
    withParkAirport();
    struct Case {
        const char* name;
        std::int32_t interval;
        bool active;
        bool generating;
        bool showsNextUpdate;
    };
    for (const Case& c : std::vector<Case>{{"interval 0", 0, true, false, false},
                                           {"interval 1", 1, true, false, true},
                                           {"interval 1440", 1440, true, false, true},
                                           {"interval 1441", 1441, true, false, false},
                                           {"parking not active", 20, false, false, false},
                                           {"generating", 20, true, true, false}}) {
        SCOPED_TRACE(c.name);
        gui().parkingIntervalMinutes = c.interval;
        g_parkingActive.store(c.active);
        g_generatingParking.store(c.generating);
        const auto t = texts();
        EXPECT_EQ(gf_has(t, at("next update (min):", 5, 679, kGreen)), c.showsNextUpdate);
        EXPECT_EQ(gf_has(t, at(fmt::format("{}", c.interval), 167, 679, kGreen)), c.showsNextUpdate);
        EXPECT_EQ(gf_has(t, at("generating parking ...", 5, 679, kYellow)), c.generating);
        EXPECT_EQ(gf_has(t, at("reserved stand: A12", 548, 679, kGreen)), c.active) << "only while parking is active";
        EXPECT_TRUE(gf_has(t, at("qf: 0.8", 440, 679, kGreen)));
    }

    // The stand is looked up for the park airport shown, not the current one.
    g_parkingActive.store(true);
    g_generatingParking.store(false);
    gf_makeCurrentParkAirport(IcaoCode("EDDM"), LaLo{48.35, 11.78});
    EXPECT_TRUE(gf_has(texts(), at("reserved stand: A12", 548, 679, kGreen)));
    EXPECT_EQ(gf_findParkAirportUserStand(IcaoCode("EDDF")), std::optional<std::string>("A12"));
    EXPECT_FALSE(gf_findParkAirportUserStand(IcaoCode("EDDM")).has_value());
    EXPECT_FALSE(gf_findParkAirportUserStand(IcaoCode()).has_value());
    gf_setParkAirportUserStand(IcaoCode("EDDM"), "");
    gui().parkAirport = IcaoCode("EDDM");
    EXPECT_TRUE(textsStarting("reserved stand: ").empty()) << "an empty stand is no stand";

    // Statics: nothing waiting, fit hidden while parked traffic comes from the
    // source, and the row ends without a target.
    gui().staticsWaiting = 0;
    gui().parkedTrafficFlag = true;
    gui().staticFit = 1.5f;
    auto t = texts();
    EXPECT_TRUE(textsStarting(" (").empty());
    EXPECT_TRUE(textsStarting("static fit").empty());
    gui().parkedTrafficFlag = false;
    EXPECT_TRUE(gf_has(texts(), at("static fit: 1.5", 548, 711, kGreen)));
    gui().parkingTargetCount = 0;
    gui().liveFit = 0.0f;
    t = texts();
    EXPECT_TRUE(textsStarting("static").empty());
    EXPECT_TRUE(textsStarting("max park:").empty());
    EXPECT_TRUE(textsStarting("live fit").empty());
    EXPECT_TRUE(gf_has(t, at("park live:   5", 167, 711, kGreen)));

    // Without the text flag the airport is yellow and its detail hidden.
    gui().parkedTrafficTextFlag = false;
    t = texts();
    EXPECT_TRUE(gf_has(t, at("airport: EDDM", 5, 647, kYellow)));
    EXPECT_TRUE(textsStarting(" RT parked").empty());
}

TEST_F(PaintTest, NoAirportWithinReachOnlyWhileTheSimulatorIsConnected) {
    gui().compact = false;
    EXPECT_TRUE(textsStarting("No airport").empty());
    g_simState.store(SIM_STOPPED);
    EXPECT_EQ(textsStarting("No airport"), (std::vector<std::string>{at("No airport within reach", 5, 647, kGreen)}));
    EXPECT_TRUE(textsStarting("airport:").empty());
}

// Every label of the settings band in drawing order with its place and colour
// at the default settings (RT Direct: "Aerowinx" grey).
TEST_F(PaintTest, SettingsLabelsAtTheirPlaces) {
    gui().compact = false;
    RecordingPainter painter;
    lf_paintSettingsLabels(painter, gui());
    EXPECT_EQ(gf_textsOf(painter.ops),
              (std::vector<std::string>{
                  at("DATA SOURCES", 5, 103, kBlack, true),
                  at("CONFIGURATION", 657, 103, kBlack, true),
                  at("COLLISION AVOIDANCE", 5, 207, kBlack, true),
                  at("MISC", 657, 207, kBlack, true),
                  at("TRAFFIC INJECTION", 5, 343, kBlack, true),
                  at("TIME SHIFT", 657, 343, kBlack, true),
                  at("PARKING", 5, 511, kBlack, true),
                  at("airports:", 5, 135, kBlack),
                  at("skip scan", 133, 135, kBlack),
                  at("liveries:", 5, 167, kBlack),
                  at("skip scan", 133, 167, kBlack),
                  at("priority", 568, 167, kBlack),
                  at("automatic", 242, 167, kBlack),
                  at("user ground", 514, 239, kBlack),
                  at("user air", 514, 271, kBlack),
                  at("Random", 677, 239, kBlack),
                  at("Stay on top", 795, 175, kBlack),
                  at("Flight messages", 785, 239, kBlack),
                  at("Objectids", 677, 303, kBlack),
                  at("Nav lights", 785, 303, kBlack),
                  at("GUID changes", 785, 271, kBlack),
                  at("Keep", 677, 439, kBlack),
                  at("Sim Time", 677, 407, kBlack),
                  at("Aerowinx", 677, 271, kGrey),
                  at("day", 840, 375, kBlack),
                  at("hour", 840, 407, kBlack),
                  at("min", 840, 439, kBlack),
                  at("radius:", 5, 375, kBlack),
                  at("nm", 188, 375, kBlack),
                  at("auto radius", 242, 375, kBlack),
                  at("max live", 569, 375, kBlack),
                  at("taxiing:", 5, 407, kBlack),
                  at("max holding mtrs", 188, 407, kBlack),
                  at("max holding minutes", 460, 407, kBlack),
                  at("depth:", 5, 439, kBlack),
                  at("with extra TCAS coverage above this FL", 297, 439, kBlack),
                  at("include:", 5, 471, kBlack),
                  at("two props", 133, 471, kBlack),
                  at("light aircraft", 242, 471, kBlack),
                  at("helicopters", 351, 471, kBlack),
                  at("fighter jets", 460, 471, kBlack),
                  at("update interval (min)", 732, 479, kBlack, true),
                  at("RT parked only", 25, 575, kBlack),
                  at("max fit hrs", 297, 575, kGrey),  // AUTO_PARK on by default
                  at("max park", 460, 575, kBlack),
                  at("destination", 80, 543, kBlack),
                  at("reserved stand", 341, 543, kBlack),
                  at("range nm", 569, 543, kBlack),
                  at("below height", 755, 543, kBlack),
                  at("target % ", 188, 607, kBlack),
                  at("auto park", 25, 607, kBlack),
                  at("week", 351, 607, kGrey),
                  at("soft", 514, 607, kGrey),
              }));
    // The whole window draws the same labels while expanded.
    const auto all = texts();
    EXPECT_TRUE(gf_has(all, at("target % ", 188, 607, kBlack)));
}

// The colour of one label for a state of the settings and the Gui.
struct LabelCase {
    const char* name;
    std::function<void(SettingsSnapshot&)> settings;
    bool labelsActive;
    bool rtApp;
    bool aerowinx;
    std::vector<std::string> expected;  // labels (recorded form) that must appear
};

TEST_F(PaintTest, LabelColoursFollowTheirSettings) {
    const std::vector<LabelCase> cases{
        {"3 hours shift",
         [](SettingsSnapshot& s) { s.TIME_SHIFT_HOURS = 3; },
         true, false, false,
         {at("hour", 840, 407, kYellow), at("day", 840, 375, kBlack), at("min", 840, 439, kBlack),
          at("TIME SHIFT", 657, 343, kBlack, true)}},
        {"dimmed time shift",
         [](SettingsSnapshot& s) { s.TIME_SHIFT_HOURS = 3; },
         false, false, false,
         {at("hour", 840, 407, kGrey), at("day", 840, 375, kGrey), at("min", 840, 439, kGrey),
          at("Keep", 677, 439, kGrey), at("Sim Time", 677, 407, kGrey), at("TIME SHIFT", 657, 343, kGrey)}},
        {"no live, no parked",
         [](SettingsSnapshot& s) { s.MAX_LIVE_SEL = 0; s.MAX_PARK_SEL = 0; },
         true, false, false,
         {at("max live", 569, 375, kRed), at("max park", 460, 575, kYellow)}},
        {"no live",
         [](SettingsSnapshot& s) { s.MAX_LIVE_SEL = 0; },
         true, false, false,
         {at("max live", 569, 375, kYellow), at("max park", 460, 575, kBlack)}},
        {"no parked",
         [](SettingsSnapshot& s) { s.MAX_PARK_SEL = 0; },
         true, false, false,
         {at("max live", 569, 375, kBlack), at("max park", 460, 575, kYellow)}},
        {"RT parked only",
         [](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 1; s.AUTO_PARK = 1; },
         true, false, false,
         {at("max fit hrs", 297, 575, kBlack), at("target % ", 188, 607, kGrey), at("auto park", 25, 607, kGrey),
          at("week", 351, 607, kGrey), at("soft", 514, 607, kGrey)}},
        {"manual parking",
         [](SettingsSnapshot& s) { s.RT_PARKTRAFFIC_ONLY = 0; s.AUTO_PARK = 0; },
         true, false, false,
         {at("max fit hrs", 297, 575, kBlack), at("target % ", 188, 607, kBlack), at("auto park", 25, 607, kBlack),
          at("week", 351, 607, kBlack), at("soft", 514, 607, kBlack)}},
        {"unusual misc switches",
         [](SettingsSnapshot& s) { s.RANDOM = 0; s.GUID_CHANGES = 0; s.OBJECTID_LIST = 1; },
         true, false, false,
         {at("Random", 677, 239, kYellow), at("GUID changes", 785, 271, kYellow), at("Objectids", 677, 303, kYellow)}},
        {"RT App, Aerowinx on", [](SettingsSnapshot&) {}, true, true, true, {at("Aerowinx", 677, 271, kYellow)}},
        {"RT App, Aerowinx off", [](SettingsSnapshot&) {}, true, true, false, {at("Aerowinx", 677, 271, kBlack)}},
        {"RT Direct, Aerowinx on", [](SettingsSnapshot&) {}, true, false, true, {at("Aerowinx", 677, 271, kGrey)}},
    };
    for (const LabelCase& c : cases) {
        SCOPED_TRACE(c.name);
        resetSettingsToDefaults();
        gf_updateSettings(c.settings);
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, std::uint8_t(c.rtApp ? 1 : 0)}));
        AEROWINX.setValue(c.aerowinx);
        gui().settingsLabelsActive = c.labelsActive;
        RecordingPainter painter;
        lf_paintSettingsLabels(painter, gui());
        const auto t = gf_textsOf(painter.ops);
        for (const auto& e : c.expected) EXPECT_TRUE(gf_has(t, e)) << e;
    }
}

TEST_F(PaintTest, DimmedLabelsComeBackWithResetDisplay) {
    gui().compact = false;
    gui().repaint(gui().applyUpdate(GuiUpdate::dimSettingsLabels()));
    auto t = texts();
    EXPECT_TRUE(gf_has(t, at("TIME SHIFT", 657, 343, kGrey)));
    EXPECT_TRUE(gf_has(t, at("day", 840, 375, kGrey)));
    gui().applyUpdate(GuiUpdate::resetDisplay());
    t = texts();
    EXPECT_TRUE(gf_has(t, at("TIME SHIFT", 657, 343, kBlack, true)));
    EXPECT_TRUE(gf_has(t, at("day", 840, 375, kBlack)));
}

TEST_F(PaintTest, TextThatIsNotUtf8DrawsNothingAndIsLogged) {
    newLogLines();
    RecordingPainter painter;
    gf_drawText(painter, 10, 20, "bad \xFF text", Rgb{1, 2, 3}, false);
    EXPECT_TRUE(painter.ops.empty());
    EXPECT_NE(newLogLines().find("TextOut utf8 to wide failed for 'bad \xFF text': utf8_to_wide: invalid UTF-8"),
              std::string::npos);
    gf_drawText(painter, 10, 20, "gut \xC3\xBC", Rgb{1, 2, 3}, true);
    EXPECT_EQ(gf_textsOf(painter.ops), (std::vector<std::string>{"gut \xC3\xBC@10,17#010203!"}));

    // A status line that is not UTF-8 leaves the bottom line empty.
    gui().statusLine = "\xC0\x80";
    const auto t = texts();
    EXPECT_TRUE(textsStarting("\xC0").empty());
    EXPECT_NE(newLogLines().find("TextOut utf8 to wide failed"), std::string::npos);
    (void)t;
}

TEST_F(PaintTest, HeadlessWindowPaintsThroughThePaintProcedure) {
    COLLAPSED.setValue(false);
    harness.gui.attachGuiThread();
    MainWindowSpec setup;
    setup.width = 916;
    setup.height = 807;
    setup.proc = [this](WindowHandle w, std::uint32_t m, std::uint64_t wp, std::int64_t lp) -> std::int64_t {
        if (m == WM_CREATE) {
            harness.gui.window.store(w);
            lf_createControls(w, harness.gui);
            return 0;
        }
        if (m == MSG_GUI_UPDATE) {
            harness.gui.drain();
            return 0;
        }
        return gf_defaultWindowProc(w, m, wp, lp);
    };
    setup.paint = [this](WindowHandle, Painter& p) { lf_paintMainWindow(p, harness.gui); };
    harness.window = gf_createMainWindow(setup);
    harness.backend->pump();
    const auto frames = harness.backend->paintedFrames();
    ASSERT_FALSE(frames.empty()) << "creation asks for a paint";
    EXPECT_EQ(gf_shapesOf(frames.back()).front(), "layout 900,768");
    EXPECT_TRUE(gf_has(gf_textsOf(frames.back()), at("PARKING", 5, 511, kBlack, true)));
}

}  // namespace
}  // namespace tavo::test
