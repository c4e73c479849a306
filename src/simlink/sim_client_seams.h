#pragma once
// Seams of the SimClient thread for tests: how it waits between connection
// attempts (100 ms, or 1 s while the other simulator runs).

#include <chrono>
#include <functional>
#include <stop_token>

// Waits `duration` or until stop is requested; returns false when stopped.
using SimClientWait = std::function<bool(std::stop_token, std::chrono::milliseconds)>;
// An empty function restores the real wait. Set it before the thread starts.
void gf_setSimClientWait(SimClientWait wait);

// The SimClient thread issued the standing on-ground request in this run.
void gf_noteOnGroundStanding();
