#pragma once
// The RT Direct login before the readers start, the logout after they have
// stopped, and the start and stop of the two reader threads.

#include <cstdint>
#include <string>

// The login step on the main thread: returns after a login, or after a
// failure that has been reported with a stop request; throws
// tavo::UserRelatedException for 402, 404 and 405 (after showing the message
// for ten seconds) and std::runtime_error "No RT database connection" for 500.
void gf_authenticateAtRTServer();
// "{}_{}" of the program name and version.
std::string gf_rtApiSoftwareText();
// "RT Direct {} license, {} day{} left" for an account type and expiry at `now`
// (seconds since 1970); the days are whole days, truncated toward zero.
std::string gf_rtDirectServiceInfo(std::uint32_t type, std::int64_t expiry, std::int64_t now);
// The logout after both readers have been joined; never throws.
void gf_RTAPIDeauthenticate();

// Starts the weather reader, then the traffic reader, in their thread slots.
void gf_startRTDirectReaders();
// The RT Direct part of closing down: stops and wakes both readers, joins the
// weather reader, then the traffic reader, logs out, and before a restart
// resets both readers.
void gf_closeRTDirect(bool restart);
