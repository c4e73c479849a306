#pragma once
// What the park airports and the airport-file load ask of code that sits above
// them: the parking panel of the main window (the shell's enable rules) and
// the end of an airport's parked traffic (the planner's resets). The shell and
// the planner install their operations once at start; an operation that is not
// installed is left out. Tests install recorders.

struct ParkingSeams {
    // Disables the parking panel while a new airport is prepared.
    void (*disableParkingControls)() = nullptr;
    // After an airport file's settings were applied: the RT_PARKTRAFFIC_ONLY
    // and AUTO_PARK control dependencies and the MAX_FIT_FL rule.
    void (*applyParkingOptions)() = nullptr;
    // The RT_PARKTRAFFIC_ONLY and AUTO_PARK control dependencies alone (the
    // set-back of the user's parking settings applies the MAX_FIT_FL rule itself).
    void (*applyParkingDependencies)() = nullptr;
    // Ends the parked traffic of the current airport: the statics still to be
    // placed are dropped, every static and live aircraft at the airport is
    // removed and the parked traffic is reset.
    void (*endParkedTraffic)() = nullptr;
};

// Installs the operations (any thread; the calls read them atomically).
void gf_setParkingSeams(const ParkingSeams& seams);

// Each runs the installed operation, or does nothing.
void gf_seamDisableParkingControls();
void gf_seamApplyParkingOptions();
void gf_seamApplyParkingDependencies();
void gf_seamEndParkedTraffic();
