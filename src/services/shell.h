#pragma once
// Program-wide state of the shell that other subsystems read; it lives beside
// the other services so that no subsystem has to reach up into the program.

#include <atomic>

#include "platform/window/window.h"

// True while the traffic is shifted into the past by more than 0 minutes. Set
// by the time-shift step of the shell; read by the traffic clock together with
// the RT App's professional flag.
extern std::atomic<bool> g_timeShiftActive;

// The main window: None until the window procedure stores it on WM_CREATE.
// Worker threads post private messages to it (MSG_SWITCH_SIM); the credential
// dialog uses it as its owner.
extern std::atomic<WindowHandle> g_mainWindow;

// Set by the update check at start-up when the download server announces
// maintenance, before any other thread runs; stays set for the rest of the
// run. The download of archived airport files refuses to run while it is set.
extern std::atomic<bool> g_webServerMaintenance;
