#pragma once
// The next-position step: what an active aircraft does when it reaches the
// point it was moving to. It drops points the aircraft cannot or should not
// fly through, invents points by dead reckoning when the feed has run dry,
// hands the leg to the ground or the air driver, prepares the per-tick step
// of the pose, and removes the aircraft when nothing sensible is left.
//
// The stream's front is the point last reached, index 1 the point moved to.
// Engine thread only.

#include <cstddef>
#include <cstdint>

#include "engine/records.h"

// Plans the leg to the next point and makes it the front of the stream. An
// exception inside is rethrown as std::runtime_error with the aircraft's
// context.
void nextPosMain(LiveAc& ac);

// Moves the aircraft on to the next point: the driver plans the leg, the
// per-tick step is set, and the front point is dropped.
void advanceToNextPoint(LiveAc& ac);

// The air driver's leg planning: a stationary next point makes a Rotorcraft
// hover and removes any other aircraft, so does a leg slower than
// kMinAirborneLegKt; otherwise the next point is retimed to the leg speed.
void nextPosAir(LiveAc& ac);

// Asks for the aircraft's removal; never throws.
void noMoreNextPos(LiveAc& ac) noexcept;

// How many dead-reckoned points the aircraft may receive when its stream runs
// dry (by phase, category, speed and distance from the user aircraft).
int extrapolationBudget(LiveAc& ac);

// Stores the budget in the extrapolation counter and appends one
// dead-reckoned point 3 s after the last one (7 days for a parked aircraft).
void extrapolateStreamPoint(LiveAc& ac, int budget);

// Knots, at least 1: the speed of the leg from the front to the next point.
double groundSpeedForNextLeg(const LiveAc& ac);

// Makes the next point due `ticks` from now, within the retiming limits of
// its reported tick and never before now + 1. A taxiing aircraft's later
// points fall due as late after their reports as the next one (the stream's
// lag); elsewhere they move along only when the next one would otherwise
// reach them. Nothing while extrapolating.
void retimeNextPoint(LiveAc& ac, int ticks);

// Moves the stream's points from index `from` on by `shift` ticks, and the
// lag the stream carries with them (never below 0).
void gf_shiftLaterPoints(LiveAc& ac, std::size_t from, std::int64_t shift);

// Flying, and no more than 30 s since the takeoff that led to it: still
// judged as a takeoff.
bool gf_isFlyingAfterTakeoff(const LiveAc& ac);

// The hold of an aircraft whose stream ran dry on the ground ends (a report
// or a stand took over): no extrapolation, wide retiming limits (wider for
// the delay of a takeoff roll).
void gf_endHolding(LiveAc& ac);

// The stages of MotionState::brakeToRest: the aircraft brakes to the point
// put where it comes to rest before a hold, or a report cut that braking
// short.
inline constexpr std::uint8_t kBrakingToRest = 1;
inline constexpr std::uint8_t kBrakeCutShort = 2;

// A report took over while the aircraft braked to rest for the hold its dead
// reckoning made, or while a taxi ran on at speed over a pause of its
// reports: the point it moved to becomes where it is now, with the speed it
// has, reached at once, and the hold is dropped; the leg to the report goes
// on from there. False (nothing done) when it did neither.
bool gf_cutBrakeToRest(LiveAc& ac);

// Lowers each retiming limit above 900 ticks by 100, not below 900: wide
// limits granted for a roll or an approach narrow again leg by leg.
void gf_relaxRetimeLimits(MotionState& m);

// The fastest (kt) an aircraft flies in the air to take back a delay, its
// traffic flying `baseKt`: 10 % or 15 kt faster, whichever is less.
double gf_flyingCatchUpMostKt(double baseKt);

// The fastest (kt) a flying leg reported at `baseKt` is flown to give back a
// delay of `lateTicks`: 10 % or 15 kt faster, whichever is less, eased in
// from the speed flown now (`flownKt`, NaN when none) by 2 kt a second over
// the leg's `legTicks`, and eased off as the delay runs out. `baseKt` itself
// when it is no speed.
double gf_flyingCatchUpKt(double baseKt, double lateTicks, double flownKt, double legTicks);

// Below this speed (kt) a leg is too slow for flight. It lies below the
// slowest leg that extrapolation makes (a Light aircraft from 25 kt, 10 % less
// a point, reaches 3 kt at its 20th point).
inline constexpr double kMinAirborneLegKt = 2.0;
