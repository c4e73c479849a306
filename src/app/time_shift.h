#pragma once
// The time shift: the traffic of a number of minutes ago, at most two weeks.
// The user sets it with the days, hours and minutes combo boxes and the Set
// button; with RT Direct and SIM_TIME on, the program follows the simulator's
// clock instead and shifts by the distance between real time and simulator
// time. RT Direct's two readers send the active shift with their requests;
// with the RT App the shift is only announced here.

#include <cstdint>

// The longest shift ever made active: two weeks in minutes.
inline constexpr std::int32_t kMaxTimeShiftMinutes = 14 * 1440;
// The simulator clock must move this far from the last time seen before the
// shift is measured again.
inline constexpr std::int64_t kSimTimeJumpSeconds = 30;

// The shift of the current settings snapshot in minutes.
std::int32_t lf_currentTimeShiftMinutes();

// Splits the minutes into days, hours and minutes, stores each (clamped to its
// parameter's limits, saved), selects it in its combo box when it is one of
// the box's entries, and publishes the three. Main thread.
void lf_showTimeShift(std::int32_t minutes);

// Makes a shift active and announces it: the time-shifted flag, the three
// parameters unless controlsAlreadySet, both RT Direct readers' shift (at most
// two weeks), the status line, and (unless noRestart) a NEW SETTINGS restart.
// Setting 0 while no shift is active only says "Time shift = 0".
void lf_timeShift(std::int32_t minutes, bool noRestart, bool controlsAlreadySet);

// The Set button: applies the shift the combo boxes hold (already in the
// settings snapshot) and disables the button. GUI thread.
void gf_setButtonPressed();

// The check of the simulator clock: when the simulator's Zulu time moved 30 s
// or more from the last time seen, the shift becomes the whole minutes between
// now and the simulator's time (0 when the simulator is ahead).
void lf_checkSimTimeShift();
// Apply a shift measured on the simulator clock. The first check of a run
// applies it at once; a later jump restarts the run with NEW SETTINGS.
void lf_simTimeShiftRTDirect(std::int32_t minutes);
// The same for the RT App: the combo boxes and the readers' shift stay as they are.
void lf_simTimeShiftRTApp(std::int32_t minutes);

// The start of a run: the next valid simulator time is the first check, and
// no simulator time has been seen. The main state's restart calls it.
void gf_resetTimeShiftRun();
// The last simulator time seen (seconds since 1970, 0 for none). The start-up
// of the time-shift controls sets it. Main thread.
void gf_setLastSeenSimTime(std::int64_t seconds);
std::int64_t gf_lastSeenSimTime();
