#pragma once
// Livery matching: the title of an installed livery for every live aircraft
// about to be spawned and every static aircraft about to be placed.
//
// Matching goes from the exact to the approximate in numbered steps:
//   0  the registration, the single one of a special regcode record
//   1  the registration, any other case
//   2  airline and model (operator-aware)
//   3  a similar model of the same airline (or operator)
//   4  the generic airline "ZZZ" (for a "PVT" aircraft already at depth 2)
//   5  the same model, any airline
//   6  a similar model, any airline
//   7  any model of the aircraft's category
//   8  "B738", else "A320"
// MATCHING_DEPTH (1..7) says how deep matching may go; a live aircraft goes
// to depth 8 when both it and the user aircraft fly above TCAS_FL. Small
// aircraft (Light, TwoProps, Bizjet, Rotorcraft) always go through steps 5
// to 7: their models are too many to expect an airline livery.
//
// The livery tables are read without locks: they are built before traffic
// runs and only the similar-model lists change while it runs (their order,
// shuffled in place by steps 3 and 6). Both matchers run on the engine's
// thread. Titles that the simulator failed to create are refused.

#include <array>
#include <atomic>
#include <cstdint>

struct AcInfo;
struct Stand;

// Live acceptances per step 0..8; only ever incremented while the program
// runs. Read by the summary.
extern std::array<std::atomic<std::int32_t>, 9> matchStepCounts;

// A live aircraft about to be spawned; altitudeFt is the altitude of the
// newest point of its position stream. On return the aircraft's title is the
// accepted livery (counted, logged, with its FSLTL and weak-match flags), or
// empty.
void gf_matchLiveryLive(AcInfo& ac, double altitudeFt);

// A static aircraft about to be placed at the stand (its name and cargo flag
// are read). True when the aircraft has a livery afterwards: it had one
// already, or one was accepted. No counter, no flags.
bool gf_matchLiveryParked(AcInfo& ac, const Stand& stand);

// Logs the live matches per step and the model/airline pairs the simulator
// failed to create; nothing until a live match was accepted.
void gf_logLiveryMatchingSummary();

// Tests only: zeroes the counters and forgets the special code indexes (the
// code tables were reset). No match may run meanwhile.
void gf_resetLiveryMatchingForTest();
