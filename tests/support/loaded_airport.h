#pragma once
// The state a learned save reads, set as the park-airport load leaves it.

#include <filesystem>

namespace tavo::test {

// LOWI (Innsbruck, publisher "simaddon", 1906 ft) becomes the current airport
// with its file loaded and its learned file at the given path.
void loadTestAirport(const std::filesystem::path& learnedPath);
// No loaded airport file and no current airport.
void unloadTestAirport();

}  // namespace tavo::test
