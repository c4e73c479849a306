#pragma once
// Times of the program: all UTC.

#include <string>

// "<day> <Mon> <year> <hh>:<mm>Z" of the system clock, "Invalid time" when the
// time cannot be broken down.
std::string gf_utcDateTimeText();
