#pragma once
// What the main window's buttons, check boxes and drop-down lists do. Each
// handler knows its controls by id, changes the bound parameter (saved to
// parameters.xml at once and published into the settings snapshot), tells the
// user about consequences on the status line, restarts the run where a change
// only takes effect in a new one, and leaves work of the main thread to the
// main loop through the request flags below. GUI thread.

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/window/window.h"

// Requests of the window to the main loop. A handler raises one with a store;
// the main loop takes it with exchange(false), so each request is taken
// exactly once, also when the two threads meet on it. A request raised while
// no run is under way is taken by the next run. The blocked-aircraft request
// is g_blockedAircraftChanged (app/blocking.h).
extern std::atomic<bool> g_aircraftListRefreshRequested;  // refill the aircraft selector
extern std::atomic<bool> g_removeAllStaticsRequested;     // Flush
// MAX_PARK_SEL or parking_percentage was chosen: the static parking target is computed again.
extern std::atomic<bool> g_parkingPercentageChanged;
// MAX_LIVE_SEL was chosen: live aircraft above the new maximum are removed.
extern std::atomic<bool> g_liveMaximumChanged;
// MATCHING_DEPTH was raised: liveries that failed before may be tried again.
extern std::atomic<bool> g_forgetFailedLiveriesRequested;
// A category switch was turned off: its live aircraft are removed.
extern std::atomic<bool> g_categoryOffTwoProps;
extern std::atomic<bool> g_categoryOffLight;
extern std::atomic<bool> g_categoryOffRotorcraft;
extern std::atomic<bool> g_categoryOffHighPerf;
// The navigation lights of parked aircraft as NAV_LIGHTS_WHILE_PARKED was
// last switched: 0 or 1, -1 when nothing waits. Taken with exchange(-1).
extern std::atomic<std::int8_t> g_pendingNavLights;
// The user chose another simulator or traffic source during this run, or
// another liveries choice while it was stopping. The first two handlers also
// ask for a restart, which a stop request already pending (an error's) keeps
// out: closing down then restarts after all. Each run of the main thread
// clears it at its start.
extern std::atomic<bool> g_startChoiceChanged;

// WM_COMMAND of a child control: the buttons, then the option check boxes,
// then the drop-down lists. True when one of them took the command. An
// exception of a handler is logged ("lf_HandleWMCOMMAND exception ...") and
// the command counts as not handled; what changed before it stays changed.
bool lf_HandleWMCOMMAND(WindowHandle window, std::uint64_t wParam);

bool lf_handleButtons(WindowHandle window, ControlId id);
bool lf_handleOptionCheckboxes(WindowHandle window, ControlId id);
bool lf_handleCombos(WindowHandle window, std::uint64_t wParam);

// A new selection in a drop-down list: its index and the entry's text.
struct ComboSelection {
    std::size_t index = 0;
    std::string text;
};
// The selection the command reports for the list `id`: only a selection
// change of that very list whose selected entry exists; else nothing.
std::optional<ComboSelection> lf_getSelectedComboText(WindowHandle window, ControlId id, std::uint64_t wParam);
