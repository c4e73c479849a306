#pragma once
// File and folder helpers shared by all subsystems. Failures are logged once
// and reported by a false result.

#include <filesystem>

// Copies an existing file over "<stem>0<ext>" beside it (Log.txt -> Log0.txt).
// True when there was nothing to keep or the copy succeeded.
bool gf_save1GenerationOf(const std::filesystem::path& path);
