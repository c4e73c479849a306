#pragma once
// The checks that bring the settings into a usable state at every start and
// restart of the main thread, in this order: gf_validateRadiusParameters
// (loads parameters.xml, makes radii and flight levels consistent, migrates
// settings of an older version), gf_validateStartupChoices (fixes simulator
// and traffic source for this start), then gf_publishAllParameters.
// Main thread, before any worker thread of the start exists.

#include <array>
#include <cstdint>
#include <limits>

// The eight radius values in the order RANGE_GROUND, RANGE_1, RANGE_2,
// RANGE_3, RANGE_ABOVE, FLIGHT_LEVEL_1, FLIGHT_LEVEL_2, FLIGHT_LEVEL_3.
using RadiusValues = std::array<double, 8>;

struct NormalisedRadii {
    RadiusValues values{};
    bool changed = false;
};

// Radii below zero become 0; the flight levels are sorted and spread at least
// `step` apart; the radii become non-decreasing. The flight levels are kept
// within levelMinimum..levelMaximum: levels pushed above the maximum are
// spread downwards from it instead, so that a result never needs clamping
// (which would undo it and report the same change at every start).
NormalisedRadii gf_normaliseRadiusParameters(const RadiusValues& values, double step = 1.0,
                                             double levelMinimum = -std::numeric_limits<double>::infinity(),
                                             double levelMaximum = std::numeric_limits<double>::infinity());

// Loads parameters.xml; unless it had to be written anew, corrects and saves
// the radius parameters when needed and runs gf_updateProgramVersion.
void gf_validateRadiusParameters();

// Stores the program's version in PROGRAM_VERSION and, when the stored one is
// older, migrates: removes obsolete keys, snaps HOLDING_THRESHOLD_METERS to
// its allowed values and deletes the "new_version" folder.
void gf_updateProgramVersion();

// HOLDING_THRESHOLD_METERS snapped to its allowed values: 10 or less gives
// 10, 900 or more 900, others the nearer neighbour (the lower one on a tie).
std::int32_t gf_snapHoldingThreshold(std::int32_t metres);

// Publishes the StartupChoice of this start from SIM_CHOICE and RT_CHOISE; an
// invalid value falls back to "MSFS 2024" / "RT Direct" in memory only.
void gf_validateStartupChoices();
