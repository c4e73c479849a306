#pragma once
// Small shared operations on a live aircraft that the ground and air motion
// use: its reference speed by category and mode, the phase change with its
// history and side effects, the reset of the motion path at the start of
// every leg, and three questions about the stream.

#include <cstdint>

#include "engine/records.h"

// Knots: the speed above which the aircraft is taken to be airborne or
// flying a takeoff, and the base of its roll speeds. Mode 2 takes 10 kt off
// the category's base, mode 3 20 kt (each not below 1 kt); a Heavy aircraft
// has 140 and 135 for them; slow light and slow twin types have one speed in
// every mode. Throws std::out_of_range for a category outside the seven.
double refSpeedKt(const LiveAc& ac, std::uint8_t mode);

// Knots: the speed the aircraft flies its final approach at, by its category
// and, within it, the slow types the program knows (the light singles, the
// light twins, the turboprops and regional jets among the Large), and the
// least it flies at in the air, three quarters of that (the margin covers a
// slow type of its class and a gusty report). A Rotorcraft has neither: it
// hovers. Throws std::out_of_range for a category outside the seven.
double gf_finalApproachSpeedKt(const LiveAc& ac);
double gf_airborneSpeedFloorKt(const LiveAc& ac);
inline constexpr double kAirborneFloorShare = 0.75;

// The aircraft enters the phase: the phase it leaves moves into the phase
// history and the phase's start tick is stamped; entering or leaving landing
// clears the approach state (entering also the landing runway and the flare's
// runway elevation). Entering pushing_back, pushed_back or parked ends
// `arrivingHere`, even when the phase does not change.
void setFlightPhase(LiveAc& ac, AcPhase phase);

// Invalidates the curved leg and the ground turn and zeroes the progress.
void resetMotionPath(MotionPath& path);

// At least two points, and every point after the front airborne.
bool allNextPointsAirborne(const LiveAc& ac);
// Every point after the front reported at or above the mode-3 reference
// speed (true for a stream of one point).
bool allNextPointsAtSpeed(const LiveAc& ac);
// The largest finite vertical speed of the stream (ft/min); minus infinity
// when there is none.
double maxStreamVerticalRate(const LiveAc& ac);
