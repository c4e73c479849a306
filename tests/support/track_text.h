#pragma once

#include <filesystem>
#include <vector>

#include "support/motion_harness.h"

namespace tavo::test {

// Writes each aircraft's track as text, for reading a failing aircraft's
// motion beside its reports: every tenth of a second the pose (with the
// speed over the second before, from the positions), its phase and whether a
// leg started; then every report with the tick it fell due.
void gf_writeTrackText(const std::filesystem::path& file, const std::vector<const AircraftRecord*>& records);

}  // namespace tavo::test
