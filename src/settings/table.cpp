// The parameter table: every global of the settings, defined in this one
// translation unit so that they are constructed in the order written here
// (the snapshot pointers, then the parameter objects in table order, then the
// registries, which point at the objects). Nothing here reads another
// translation unit's globals during construction; the data folder and the log
// are function-local statics.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace {

// from, from + step, ..., up to and including to.
std::vector<std::int32_t> lf_steps(std::int32_t from, std::int32_t to, std::int32_t step) {
    std::vector<std::int32_t> values;
    for (std::int32_t v = from; v <= to; v += step) values.push_back(v);
    return values;
}

// The 48 half hours 0.5 .. 24.0 of MAX_FIT_FL.
std::vector<float> lf_halfHours() {
    std::vector<float> values;
    for (int i = 1; i <= 48; ++i) values.push_back(static_cast<float>(i) * 0.5f);
    return values;
}

// MAX_LIVE_SEL and MAX_PARK_SEL share one list of allowed counts.
std::vector<std::int32_t> lf_aircraftCounts() {
    return {0, 5, 10, 15, 20, 25, 30, 35, 40, 45, 50, 75, 100, 200, 500};
}

// Each choice is a priority order of AI traffic packages: all orders of four,
// then of three, then pairs, then single names.
std::vector<std::string> lf_aiPackageChoices() {
    return {
        "AIG, FSLTL, JF, MTL", "AIG, FSLTL, MTL, JF", "AIG, JF, FSLTL, MTL", "AIG, JF, MTL, FSLTL",
        "AIG, MTL, FSLTL, JF", "AIG, MTL, JF, FSLTL", "FSLTL, AIG, JF, MTL", "FSLTL, AIG, MTL, JF",
        "FSLTL, JF, AIG, MTL", "FSLTL, JF, MTL, AIG", "FSLTL, MTL, AIG, JF", "FSLTL, MTL, JF, AIG",
        "JF, AIG, FSLTL, MTL", "JF, AIG, MTL, FSLTL", "JF, FSLTL, AIG, MTL", "JF, FSLTL, MTL, AIG",
        "JF, MTL, AIG, FSLTL", "JF, MTL, FSLTL, AIG", "MTL, AIG, FSLTL, JF", "MTL, AIG, JF, FSLTL",
        "MTL, FSLTL, AIG, JF", "MTL, FSLTL, JF, AIG", "MTL, JF, AIG, FSLTL", "MTL, JF, FSLTL, AIG",

        "AIG, FSLTL, JF", "AIG, JF, FSLTL", "FSLTL, AIG, JF", "FSLTL, JF, AIG", "JF, AIG, FSLTL",
        "JF, FSLTL, AIG", "AIG, FSLTL, MTL", "AIG, MTL, FSLTL", "FSLTL, AIG, MTL", "FSLTL, MTL, AIG",
        "MTL, AIG, FSLTL", "MTL, FSLTL, AIG", "AIG, JF, MTL", "AIG, MTL, JF", "JF, AIG, MTL",
        "JF, MTL, AIG", "MTL, AIG, JF", "MTL, JF, AIG", "FSLTL, JF, MTL", "FSLTL, MTL, JF",
        "JF, FSLTL, MTL", "JF, MTL, FSLTL", "MTL, FSLTL, JF", "MTL, JF, FSLTL",

        "AIG, FSLTL", "FSLTL, AIG", "AIG, JF", "JF, AIG", "AIG, MTL", "MTL, AIG",
        "FSLTL, JF", "JF, FSLTL", "FSLTL, MTL", "MTL, FSLTL", "JF, MTL", "MTL, JF",

        "AIG", "FSLTL", "JF", "MTL",
    };
}

// The selectors' lists hold one empty text until the shell replaces them.
std::shared_ptr<const DynamicListOption::List> lf_oneEmptyText() {
    return std::make_shared<const DynamicListOption::List>(DynamicListOption::List{std::string()});
}

}  // namespace

// ---------------------------------------------------------------------------
// The snapshot and the start-up choice exist before any parameter.

AtomicSharedPtr<const SettingsSnapshot> settingsSnapshot{std::make_shared<const SettingsSnapshot>()};
AtomicSharedPtr<const StartupChoice> startupChoice{std::make_shared<const StartupChoice>()};

// ---------------------------------------------------------------------------
// Simulator, traffic source and window

ChoiceOption SIM_CHOICE("SIM_CHOICE", "MSFS 2024", {"MSFS 2020", "MSFS 2024"}, 0x800A, 657, 657, 167, -7);
ChoiceOption RT_CHOISE("RT_CHOISE", "RT Direct", {"RT Direct", "RT App"}, 0x800B, 657, 657, 135, -7);
ChoiceOption QNH_UNIT("QNH_UNIT", "QNH hPa", {"QNH hPa", "QNH inHg"}, 0x8010, 775, 775, 135, -7);
StringParameter PORT_NUMBER("PORT_NUMBER", "10747");
BoolParameter PSX_SERVER_HERE("PSX_SERVER_HERE", true);
GuiBoolParameter AEROWINX("AEROWINX", false, 0x8006, 657, 677, 271, +1, "Aerowinx");
PathParameter MSFS_INSTALL_PATH("MSFS_INSTALL_PATH", {});
PathParameter MSFS_2024_INSTALL_PATH("MSFS_2024_INSTALL_PATH", {});
GuiBoolParameter ALWAYS_ON_TOP("ALWAYS_ON_TOP", false, 0x8005, 775, 795, 175, +1, "Stay on top");
BoolParameter COLLAPSED("COLLAPSED", true);
IntParameter MAIN_WINDOW_X("MAIN_WINDOW_X", 400, -30000, 30000);
IntParameter MAIN_WINDOW_Y("MAIN_WINDOW_Y", 20, -30000, 30000);

// ---------------------------------------------------------------------------
// Data sources and liveries

GuiBoolParameter SKIP_AIRPORT_SCAN("SKIP_AIRPORT_SCAN", false, 0x8011, 113, 133, 135, +1, "skip scan");
GuiButton TbloButton("Tblo", 0x8019, 222, 222, 135, -4);
GuiBoolParameter SKIP_LIVERIES_SCAN("SKIP_LIVERIES_SCAN", false, 0x8012, 113, 133, 167, +1, "skip scan");
GuiBoolParameter LIG_AUTOMATIC("LIG_AUTOMATIC", true, 0x8014, 222, 242, 167, +1, "automatic");
ChoiceOption AI_PACKAGE_SELECTOR("AI_PACKAGE_SELECTOR", "AIG, FSLTL, JF, MTL", lf_aiPackageChoices(),
                                 0x800C, 331, 331, 167, -5);
GuiBoolParameter LIG_PRIORITIZE("LIG_PRIORITIZE", true, 0x8015, 548, 568, 167, +1, "priority");
StringParameter lfolder0("lfolder0", "");
StringParameter lfolder1("lfolder1", "");
StringParameter lfolder2("lfolder2", "");
StringParameter lfolder3("lfolder3", "");
StringParameter lfolder4("lfolder4", "");
StringParameter lfolder5("lfolder5", "");
StringParameter lfolder6("lfolder6", "");
StringParameter lfolder7("lfolder7", "");
StringParameter lfolder8("lfolder8", "");
StringParameter lfolder9("lfolder9", "");

// ---------------------------------------------------------------------------
// Ranges and levels

IntParameter RANGE_GROUND("RANGE_GROUND", 10, 2, 100);
IntParameter RANGE_1("RANGE_1", 20, 2, 100);
IntParameter RANGE_2("RANGE_2", 40, 2, 100);
IntParameter RANGE_3("RANGE_3", 50, 1, 100);  // lower limit 1, unlike the other radii
IntParameter RANGE_ABOVE("RANGE_ABOVE", 60, 2, 100);
IntParameter FLIGHT_LEVEL_1("FLIGHT_LEVEL_1", 100, 2, 480);
IntParameter FLIGHT_LEVEL_2("FLIGHT_LEVEL_2", 200, 2, 480);
IntParameter FLIGHT_LEVEL_3("FLIGHT_LEVEL_3", 300, 2, 480);
NumericListOption RANGE("RANGE", 40, lf_steps(2, 100, 1), 0x8022, 113, 188, 375, -5, "nm");
GuiBoolParameter AUTO_RANGE("AUTO_RANGE", true, 0x8023, 222, 242, 375, +1, "auto radius");

// ---------------------------------------------------------------------------
// Traffic injection

ChoiceOption ALL_AIR_GND_SELECTOR("ALL_AIR_GND_SELECTOR", "All traffic",
                                  {"All traffic", "Airborne only", "Ground only"}, 0x8028, 5, 5, 239, -2);
NumericListOption MAX_LIVE_SEL("MAX_LIVE_SEL", 500, lf_aircraftCounts(), 0x8038, 494, 569, 375, -5, "max live");
NumericListOption HOLDING_THRESHOLD_METERS(
    "HOLDING_THRESHOLD_METERS", 250,
    {10, 50, 100, 150, 200, 250, 300, 350, 400, 450, 500, 600, 700, 800, 900}, 0x801A, 113, 188, 407, -5, "max holding mtrs");
NumericListOption MAX_HOLDING_MINUTES("MAX_HOLDING_MINUTES", 3, lf_steps(1, 60, 1), 0x8025, 385, 460, 407, -5, "max holding minutes");
NumericListOption MATCHING_DEPTH("MATCHING_DEPTH", 4, lf_steps(1, 7, 1), 0x801B, 113, 5, 439, -7, "depth:");
NumericListOption TCAS_FL("TCAS_FL", 180,
                          {100, 120, 140, 160, 180, 200, 220, 240, 260, 280, 300, 320, 440}, 0x8024, 222,
                          297, 439, -7, "with extra TCAS coverage above this FL");
GuiBoolParameter TWO_PROPS("TWO_PROPS", true, 0x801E, 113, 133, 471, +1, "two props");
GuiBoolParameter LIGHT_AIRCRAFT("LIGHT_AIRCRAFT", true, 0x801F, 222, 242, 471, +1, "light aircraft");
GuiBoolParameter HELICOPTERS("HELICOPTERS", true, 0x8020, 331, 351, 471, +1, "helicopters");
GuiBoolParameter HIGH_PERF_AIRCRAFT("HIGH_PERF_AIRCRAFT", true, 0x8021, 440, 460, 471, +1, "fighter jets");

// ---------------------------------------------------------------------------
// Collision avoidance

GuiBoolParameter COLLISION_USER_GND("COLLISION_USER_GND", true, 0x802F, 494, 514, 239, +1, "user ground");
GuiBoolParameter COLLISION_USER_AIR("COLLISION_USER_AIR", true, 0x802E, 494, 514, 271, +1, "user air");

// ---------------------------------------------------------------------------
// Blocking of one aircraft

GuiButton AircraftButton("Aircraft", 0x8029, 222, 222, 239, 0);
DynamicListOption AIRCRAFT_SELECTOR("AIRCRAFT_SELECTOR", "", lf_oneEmptyText(), 0x802A, 5, 5, 271, -2);
GuiButton BlockButton("Block", 0x802B, 5, 5, 303, +2);
GuiButton UnblockButton("Unblock", 0x802C, 113, 113, 303, +2);
StringParameter BLOCK_AIRCRAFT("BLOCK_AIRCRAFT", "");
StringParameter BLOCK_CALLSIGN("BLOCK_CALLSIGN", "");
StringParameter BLOCK_REGCODE("BLOCK_REGCODE", "");
IntParameter BLOCK_HEXIDDEC("BLOCK_HEXIDDEC", 0, 0, 16777215);

// ---------------------------------------------------------------------------
// Parking

NumericListOption PARKING_INTERVAL_MINUTES("PARKING_INTERVAL_MINUTES", 20,
                                           {10, 15, 20, 25, 30, 40, 50, 60, 90, 1440}, 0x803B, 657, 732,
                                           479, -5, "update interval (min)");
GuiButton ParkButton("Park", 0x8036, 765, 765, 511, -2);
StringOption DESTINATION("DESTINATION", "", 0x8033, 5, 80, 543, -4, "destination");
DynamicListOption STAND_SELECTOR("STAND_SELECTOR", "", lf_oneEmptyText(), 0x8032, 167, 341, 543, -3, "reserved stand");
NumericListOption AIRP_RANGE("AIRP_RANGE", 20, lf_steps(5, 30, 5), 0x8034, 494, 569, 543, -5, "range nm");
NumericListOption AIRP_HEIGHT("AIRP_HEIGHT", 18000,
                              {2000, 4000, 6000, 8000, 10000, 12000, 14000, 16000, 18000, 36000, 48000},
                              0x8035, 657, 755, 543, -5, "below height");
GuiBoolParameter RT_PARKTRAFFIC_ONLY("RT_PARKTRAFFIC_ONLY", false, 0x8040, 5, 25, 575, +1, "RT parked only");
IntParameter MAX_FIT("MAX_FIT", 47, 0, 47);
FloatListOption MAX_FIT_FL("MAX_FIT_FL", 24.0f, lf_halfHours(), 0x803E, 222, 297, 575, -5, "max fit hrs");
NumericListOption MAX_PARK_SEL("MAX_PARK_SEL", 500, lf_aircraftCounts(), 0x8037, 385, 460, 575, -5, "max park");
NumericListOption parking_percentage("parking_percentage", 30, lf_steps(0, 100, 5), 0x8039, 113, 188, 607,
                                     -5, "target % ");
GuiBoolParameter AUTO_PARK("AUTO_PARK", true, 0x803A, 5, 25, 607, +1, "auto park");
GuiBoolParameter WEEK("WEEK", false, 0x803D, 331, 351, 607, +1, "week");
GuiBoolParameter PARK_SOFT("PARK_SOFT", false, 0x803C, 494, 514, 607, +1, "soft");
GuiButton FlushButton("Flush", 0x8041, 765, 765, 607, +2);

// ---------------------------------------------------------------------------
// Misc

GuiBoolParameter RANDOM("RANDOM", true, 0x800E, 657, 677, 239, +1, "Random");
GuiBoolParameter FLIGHT_MESSAGES("FLIGHT_MESSAGES", true, 0x801C, 765, 785, 239, +1, "Flight messages");
GuiBoolParameter GUID_CHANGES("GUID_CHANGES", true, 0x8007, 765, 785, 271, +1, "GUID changes");
GuiBoolParameter OBJECTID_LIST("OBJECTID_LIST", false, 0x8008, 657, 677, 303, +1, "Objectids");
GuiBoolParameter NAV_LIGHTS_WHILE_PARKED("NAV_LIGHTS_WHILE_PARKED", true, 0x8009, 765, 785, 303, +1, "Nav lights");

// ---------------------------------------------------------------------------
// Time shift

GuiButton SetButton("Set", 0x8048, 657, 657, 372, -2);
NumericListOption TIME_SHIFT_DAYS("TIME_SHIFT_DAYS", 0, lf_steps(0, 13, 1), 0x8046, 765, 840, 375, -5, "day");
NumericListOption TIME_SHIFT_HOURS("TIME_SHIFT_HOURS", 0, lf_steps(0, 23, 1), 0x8047, 765, 840, 407, -5, "hour");
NumericListOption TIME_SHIFT_MINS("TIME_SHIFT_MINS", 0, lf_steps(0, 59, 1), 0x8049, 765, 840, 439, -5, "min");
GuiBoolParameter SIM_TIME("SIM_TIME", false, 0x804A, 657, 677, 407, +1, "Sim Time");
GuiBoolParameter KEEP_SIM_TIME_PAR("KEEP_SIM_TIME_PAR", false, 0x804B, 657, 677, 439, +1, "Keep");

// ---------------------------------------------------------------------------
// Data versions and bookkeeping

StringParameter PROGRAM_VERSION("PROGRAM_VERSION", "");
StringParameter AIG_VERSION("AIG_VERSION", "");
StringParameter ARCHIVES_VERSION("ARCHIVES_VERSION", "");
StringParameter DBASE_VERSION("DBASE_VERSION", "");
StringParameter WEEKLY_TRAFFIC_AIRPORTS_VERSION("WEEKLY_TRAFFIC_AIRPORTS_VERSION", "");
StringParameter AIRPORTS_VERSION("AIRPORTS_VERSION", "");
IntParameter LAST_EPOCH_TIME("LAST_EPOCH_TIME:", 0, 0, 2147483647);

// ---------------------------------------------------------------------------
// Registries, built last. AI_PACKAGE_SELECTOR is stored as a plain text and
// PARKING_INTERVAL_MINUTES as a plain integer (limits 10..1440, not snapped to
// its list). The selectors, MAX_FIT_FL (stored as MAX_FIT) and the buttons are
// never stored.

const std::vector<BoolParameter*> boolParameters{&PSX_SERVER_HERE, &COLLAPSED};

const std::vector<GuiBoolParameter*> guiBoolParameters{
    &SKIP_AIRPORT_SCAN, &SKIP_LIVERIES_SCAN, &LIG_PRIORITIZE,     &LIG_AUTOMATIC,
    &COLLISION_USER_GND, &COLLISION_USER_AIR, &RANDOM,            &ALWAYS_ON_TOP,
    &FLIGHT_MESSAGES,   &AEROWINX,           &GUID_CHANGES,       &OBJECTID_LIST,
    &NAV_LIGHTS_WHILE_PARKED, &AUTO_RANGE,   &TWO_PROPS,          &LIGHT_AIRCRAFT,
    &HELICOPTERS,       &HIGH_PERF_AIRCRAFT, &SIM_TIME,           &KEEP_SIM_TIME_PAR,
    &WEEK,              &PARK_SOFT,          &RT_PARKTRAFFIC_ONLY, &AUTO_PARK,
};

const std::vector<IntParameter*> intParameters{
    &MAIN_WINDOW_X, &MAIN_WINDOW_Y, &PARKING_INTERVAL_MINUTES, &LAST_EPOCH_TIME, &BLOCK_HEXIDDEC,
    &MAX_FIT,       &RANGE_GROUND,  &RANGE_1,                  &RANGE_2,         &RANGE_3,
    &RANGE_ABOVE,   &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2,          &FLIGHT_LEVEL_3,
};

const std::vector<NumericListOption*> listOptions{
    &RANGE,           &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES, &TIME_SHIFT_DAYS,
    &TIME_SHIFT_HOURS, &MATCHING_DEPTH,          &TCAS_FL,             &TIME_SHIFT_MINS,
    &MAX_PARK_SEL,    &MAX_LIVE_SEL,             &AIRP_RANGE,          &AIRP_HEIGHT,
    &parking_percentage,
};

const std::vector<StringParameter*> stringParameters{
    &PROGRAM_VERSION, &AI_PACKAGE_SELECTOR, &AIG_VERSION,    &ARCHIVES_VERSION,
    &DBASE_VERSION,   &WEEKLY_TRAFFIC_AIRPORTS_VERSION,      &AIRPORTS_VERSION,
    &PORT_NUMBER,     &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4,
    &lfolder5,        &lfolder6, &lfolder7, &lfolder8, &lfolder9,
    &BLOCK_AIRCRAFT,  &BLOCK_CALLSIGN,      &BLOCK_REGCODE,  &DESTINATION,
};

const std::vector<PathParameter*> pathParameters{&MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH};

const std::vector<ChoiceOption*> choiceOptions{&ALL_AIR_GND_SELECTOR, &SIM_CHOICE, &RT_CHOISE, &QNH_UNIT};

const std::vector<Parameter*> allTableParameters{
    &SIM_CHOICE, &RT_CHOISE, &QNH_UNIT, &PORT_NUMBER, &PSX_SERVER_HERE, &AEROWINX,
    &MSFS_INSTALL_PATH, &MSFS_2024_INSTALL_PATH, &ALWAYS_ON_TOP, &COLLAPSED, &MAIN_WINDOW_X,
    &MAIN_WINDOW_Y,
    &SKIP_AIRPORT_SCAN, &TbloButton, &SKIP_LIVERIES_SCAN, &LIG_AUTOMATIC, &AI_PACKAGE_SELECTOR,
    &LIG_PRIORITIZE, &lfolder0, &lfolder1, &lfolder2, &lfolder3, &lfolder4, &lfolder5, &lfolder6,
    &lfolder7, &lfolder8, &lfolder9,
    &RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE, &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2,
    &FLIGHT_LEVEL_3, &RANGE, &AUTO_RANGE,
    &ALL_AIR_GND_SELECTOR, &MAX_LIVE_SEL, &HOLDING_THRESHOLD_METERS, &MAX_HOLDING_MINUTES,
    &MATCHING_DEPTH, &TCAS_FL, &TWO_PROPS, &LIGHT_AIRCRAFT, &HELICOPTERS, &HIGH_PERF_AIRCRAFT,
    &COLLISION_USER_GND, &COLLISION_USER_AIR,
    &AircraftButton, &AIRCRAFT_SELECTOR, &BlockButton, &UnblockButton, &BLOCK_AIRCRAFT,
    &BLOCK_CALLSIGN, &BLOCK_REGCODE, &BLOCK_HEXIDDEC,
    &PARKING_INTERVAL_MINUTES, &ParkButton, &DESTINATION, &STAND_SELECTOR, &AIRP_RANGE,
    &AIRP_HEIGHT, &RT_PARKTRAFFIC_ONLY, &MAX_FIT, &MAX_FIT_FL, &MAX_PARK_SEL, &parking_percentage,
    &AUTO_PARK, &WEEK, &PARK_SOFT, &FlushButton,
    &RANDOM, &FLIGHT_MESSAGES, &GUID_CHANGES, &OBJECTID_LIST, &NAV_LIGHTS_WHILE_PARKED,
    &SetButton, &TIME_SHIFT_DAYS, &TIME_SHIFT_HOURS, &TIME_SHIFT_MINS, &SIM_TIME,
    &KEEP_SIM_TIME_PAR,
    &PROGRAM_VERSION, &AIG_VERSION, &ARCHIVES_VERSION, &DBASE_VERSION,
    &WEEKLY_TRAFFIC_AIRPORTS_VERSION, &AIRPORTS_VERSION, &LAST_EPOCH_TIME,
};

// ---------------------------------------------------------------------------
// Texts of the settings band that belong to no single control.

const std::vector<SettingsBandText> settingsSectionHeadings{
    {"DATA SOURCES", 5, 103},        {"CONFIGURATION", 657, 103}, {"COLLISION AVOIDANCE", 5, 207},
    {"MISC", 657, 207},              {"TRAFFIC INJECTION", 5, 343}, {"TIME SHIFT", 657, 343},
    {"PARKING", 5, 511},
};

const std::vector<SettingsBandText> settingsRowCaptions{
    {"airports:", 5, 135}, {"liveries:", 5, 167}, {"radius:", 5, 375}, {"taxiing:", 5, 407}, {"include:", 5, 471},
};
