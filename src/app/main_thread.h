#pragma once
// The main thread: one run of the traffic injection, from the check of the
// installation folder and the start-up step (settings, folders, update check,
// credential, data files, airports list, install path) over the liveries, the
// flight-plan folder, the park airports and the traffic engine, the SimClient
// thread and the wait for the simulator, to the traffic source and the main
// loop. Every run ends with the closing-down sequence, which restarts the
// program or ends it. Each step that can take long gives up as soon as a stop
// request is pending.

#include <string>
#include <string_view>

// The program's name in messages that name it (every placeholder).
std::string lf_programName(std::string_view format);

// The function of the main thread (one run). Catches every exception itself:
// its text becomes the window's error line and {SYSTEM ERROR, 0} is posted.
void lf_main();

// The start-up step: true when the run may go on. Exceptions pass to lf_main.
bool lf_startUp();

// Creates the program's working folders below the installation folder and
// removes a stale ObjectIdList.txt. Failures throw filesystem errors.
void lf_createFolders();

// True when the chosen simulator's install path was found or the user picked
// one that the install-path check accepted.
bool lf_checkInstallPaths();

// The job of a "--production" run; sets g_exitCode (0, or 1 when it failed).
void lf_commandLineJob();

// Starts the SimClient thread and waits for the simulator: true when a flight
// runs and the user aircraft is known, false when a stop request came first
// or the simulator went away.
bool lf_startSimClient();
bool lf_waitForSimulator();

// Re-enables the controls the liveries step disabled.
void lf_enableScanControls();

// Tests: the data files count as not yet read, as at process start.
void gf_forgetDataFilesLoaded();
