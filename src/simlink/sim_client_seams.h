#pragma once
// Seams of the SimClient thread for tests: how it waits between connection
// attempts (100 ms, or 1 s while the other simulator runs), and how it pauses
// between two polls of a connection.

#include <chrono>
#include <functional>
#include <stop_token>

// Waits `duration` or until stop is requested; returns false when stopped.
using SimClientWait = std::function<bool(std::stop_token, std::chrono::milliseconds)>;
// An empty function restores the real wait. Set it before the thread starts.
void gf_setSimClientWait(SimClientWait wait);

// Pauses at most `duration` between two polls of the connection. Null (the
// default): a real sleep of that length. A world running faster than real
// time ends the pause as soon as the simulator has something to deliver.
using SimClientPollPause = void (*)(std::chrono::milliseconds duration);
void gf_setSimClientPollPause(SimClientPollPause pause);

// The SimClient thread issued the standing on-ground request in this run.
void gf_noteOnGroundStanding();
