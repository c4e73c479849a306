#pragma once
// The start state of the main window's controls at each run, the groups of
// controls that follow the program's state (time shift, range), the counters
// of the status band, the wait for the first traffic, and the automatic range
// that follows the user aircraft's altitude. The parking group and its re-plan
// requests are services (services/parking_controls.h), since the
// parked-traffic code drives them too.

#include <chrono>
#include <functional>

// The whole window at the start of a run: drop-down lists filled with their
// current value selected, every control enabled or disabled by the settings
// and by what the run has not done yet, the parking group by its two
// governing options. Finds a tblo.zip left from an earlier run (then the Tblo
// button is enabled and the hint shown); a failing existence query throws
// std::filesystem::filesystem_error "exists".
void lf_initControls();

// The time-shift group at the start of a run. With the RT App the group is
// disabled and its labels dimmed. With RT Direct the three values are shown
// and the shift they make is applied (without a restart), or with SIM_TIME on
// the shift is left to the simulator's clock.
void lf_initTimeShiftControls();

// Enables or disables the three time-shift lists and SIM_TIME (dimming the
// labels when disabling); the Set button is disabled either way.
void lf_enableTimeShiftControls(bool enable);

// Posts the live aircraft in the simulator that are not parked, then the
// parked live aircraft and the static aircraft (both posting their averages).
// Main thread.
void gf_showLiveAircraftCounts();

// Waits up to 15 s for the first traffic of the traffic source, in steps of
// 100 ms; logs "No traffic in this region" when none came. Ends silently when
// the program is stopping.
void lf_waitForFirstTraffic();

// The range in force by AUTO_RANGE: the automatic one, or the range the user
// last chose. The RANGE list is enabled only while AUTO_RANGE is off.
void gf_applyRangeMode();

// The range for the user aircraft's altitude (RANGE_GROUND on the ground, then
// along the three flight levels, RANGE_ABOVE above the last one) becomes the
// range in force. With RT Direct a changed range moves the query box.
void gf_autoRange();

// The altitude bands of the automatic range: flight levels (x 100 ft) and the
// ranges at them (nautical miles).
struct AutoRangeLevels {
    double level1 = 0, level2 = 0, level3 = 0;
    double ground = 0, range1 = 0, range2 = 0, range3 = 0, above = 0;
};
// The automatic range for an aircraft on the ground or at that altitude (feet).
double lf_autoRangeFor(bool onGround, double altitudeFt, const AutoRangeLevels& levels);

// At the program's start: the answers of the parked-traffic code and of the
// airport scan that the services below the shell ask for, and the refusal of
// modal dialogs while a stop request is pending or the program is exiting.
void gf_installShellSeams();

// The clock of the shell's waits. Empty members: the steady clock and a real
// sleep. Tests move a clock of their own.
struct ShellWaitClock {
    std::function<std::chrono::steady_clock::time_point()> now;
    std::function<void(std::chrono::steady_clock::time_point)> sleepUntil;
};
void gf_setShellWaitClock(ShellWaitClock clock);
// The clock in use, both members set.
ShellWaitClock gf_shellWaitClock();
