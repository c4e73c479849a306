#include "foundation/version.h"

#include <fmt/format.h>

std::string VersionData::toString() const { return fmt::format("{}.{}.{}", major, minor, patch); }

const VersionData g_programVersion{16, 8, 0};
