#pragma once
// The airport whose file feeds the parked traffic now: what the load stored
// about it, read back when its learned stands are saved. The load fills it
// once the file was read; the end of the airport's parked traffic clears it.

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

struct LoadedAirport {
    bool fileLoaded = false;  // an airport file was read and its traffic runs
    bool handmade = false;    // the file read was a handmade one
    std::string name;
    std::string publisher;
    std::int32_t altitude = 0;  // feet
    std::string displayText;    // what the main window shows of it (its name)
    // Its quality factors, which the stand searches weigh.
    std::int32_t qfReal = 0;
    std::int32_t qfSoft = 0;
    std::size_t standCount = 0;  // Flush has statics to remove only with stands
    // Where this airport's learned file is saved: the path the load derived
    // from the source file it read (it may not exist yet). None when no safe
    // path could be made; such an airport's learning is not saved.
    std::optional<std::filesystem::path> learnedPath;
};

// A copy of the state, taken under its lock.
LoadedAirport gf_loadedAirport();
void gf_setLoadedAirport(const LoadedAirport& airport);
// Back to no airport file loaded.
void gf_clearLoadedAirport();
// Empties the texts kept of the airport file (name, publisher, display text), leaving
// the flags to the end of the airport's parked traffic (engine reset).
void gf_clearLoadedAirportTexts();
