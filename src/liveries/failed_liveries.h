#pragma once
// Liveries the simulator refused to create, and aircraft for which livery
// matching found no livery at all.
//
// The failed-livery registry lives for the whole process: a restart of the
// traffic run keeps it, so a title that failed once is not picked again.
// Too many failures point at a broken installation rather than at single
// liveries; the twentieth distinct title that fails within one traffic run
// ends that run with error 81. Only titles that fail in the current run count
// toward that limit, so a restart does not end at once for the titles of
// earlier runs. The user's "forget failed liveries" empties the registry.
//
// The no-match set holds one text per aircraft that got no livery (its key
// text, a blank and its registration); the engine adds to it and asks it, the
// shell prints it to the log and empties it with the engine reset and every
// 24 hours.
//
// Both are used from the thread that runs the traffic engine; each takes its
// own lock all the same, so a caller on another thread sees whole updates.

#include <cstddef>
#include <string>
#include <string_view>
#include <vector>

#include "liveries/ac_key.h"

// The number of distinct titles failing in one traffic run that ends it.
inline constexpr std::size_t kFailedLiveryLimit = 20;

// The simulator failed to create the aircraft with this callsign, livery
// title and key: while the program runs, shows the highlighted status line
// "{} '{}' could not be created by your Sim!" (callsign, title), then records
// the title and the key's "model airline" pair. When this run has now seen
// kFailedLiveryLimit or more distinct failed titles, logs the error line and
// throws tavo::UserRelatedException 81 ("..., see Log.txt").
void gf_registerFailedLivery(std::string_view callsign, std::string_view liveryTitle, const AcKey& key);

// Whether the title failed before (exact, case-sensitive).
bool gf_isLiveryKnownToFail(std::string_view liveryTitle);

// "  " and each "model airline" pair of a failed creation ("  B738 DAL"), in
// the registry's order.
std::vector<std::string> gf_listFailedLiveries();

// The number of distinct failed titles (all runs) and of those that failed in
// the current traffic run.
std::size_t gf_failedLiveryCount();
std::size_t gf_failedLiveryCountThisRun();

// A new traffic run begins (the engine reset): the registry is kept, the
// count toward error 81 starts again.
void gf_startFailedLiveryRun();

// The user's "forget failed liveries": empties the registry and this run's
// count.
void gf_forgetFailedLiveries();

// The format text with its two fields filled by "===> " and the message.
std::string lf_formatArrowLine(std::string_view format, std::string_view message);

// The no-match set. Adding returns whether the text was new.
bool gf_addNoMatch(std::string_view text);
bool gf_isNoMatch(std::string_view text);
std::size_t gf_noMatchCount();
// Empties it (engine reset, the 24-hour step).
void gf_clearNoMatchList();

// Logs "\nNo match found for:", one line per entry and an empty line; nothing
// when the set is empty.
void gf_logNoMatchList();
