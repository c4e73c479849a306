#pragma once
// Where the tests find the checkout's readable data and the build's
// installation folder. Only source_paths.cpp carries the two absolute paths,
// so that every other object compiles the same in any checkout and the
// compiler cache serves one checkout's objects to another.

#include <filesystem>

namespace tavo::test {

// The root of the source checkout (data/, tests/data/ ...).
std::filesystem::path sourceDir();
// The installation folder this build lays out (TAVO/ with input/*.enc).
std::filesystem::path installDir();

}  // namespace tavo::test
