#pragma once
// The end of every run of the main thread: the stop request that closed it is
// read, the worker threads are stopped and joined in a fixed order, the
// network and what the run built are released, and then the program either
// restarts (NEW FLIGHT, NEW SETTINGS, SIMCONNECT ERROR, READER ERROR) after
// the request's countdown, or ends. Either way the last act is one message to
// the main window: MSG_START for the next run, or MSG_EXIT. Main thread.

#include <atomic>
#include <cstdint>
#include <string_view>

// True while a restart is under way; the next run's start-up then skips the
// update check.
extern std::atomic<bool> g_restartUnderWay;

// The closing-down sequence. Never throws: a failure inside is logged and
// shown, and the program then ends (MSG_EXIT).
void lf_closingDown();

// The countdown before a restart, once a second on the status line; true when
// the restart may go on. Longer countdowns (above 15 s) offer the Unblock
// button as a way to restart at once. A closed window ends it (false).
bool lf_restartCountdown(std::int32_t seconds);

// The main module's start values for the next run; the stop mailbox is
// emptied, so keepRunning is true again.
void lf_reinitMainState();

// A web-API session was closed now: no new one within the next 3 s in this
// process, and LAST_EPOCH_TIME keeps the time for the next process. Never
// throws (a failed save is logged).
void lf_recordRTAPICooldown();

// Posts MSG_START (restart) or MSG_EXIT to the main window. Never throws.
void lf_postStartOrExit();

// "lf_closingDown exception: {}" as an error line and a highlighted status
// line. Never throws.
void lf_reportClosingDownException(std::string_view text) noexcept;

// The longest wait after a SYSTEM ERROR or INSTALL PATH MISSING before the
// program ends, so that the user can read the error line and choose another
// simulator or traffic source.
inline constexpr std::int32_t kSystemErrorWaitSeconds = 25;
// Countdowns longer than this offer the Unblock button.
inline constexpr std::int32_t kUnblockOfferedAbove = 15;
