#pragma once
// The key that describes every aircraft and every livery: an airline, an
// operating airline, a model and two flags, the codes as indexes into the
// process-wide code tables (liveries/code_tables.h). Eight bytes, so keys are
// compared, hashed and copied as one value.

#include <cstdint>
#include <string>

#include <fmt/format.h>

struct AcKey {
    std::uint16_t airline = 0;        // airline code index; 0 = none
    std::uint16_t operatorIndex = 0;  // airline code index of the operating airline; 0 = none
    std::uint16_t model = 0;          // model code index; 0 = none
    std::uint8_t cargo = 0;           // 1 = a cargo aircraft or livery
    std::uint8_t flag = 0;            // 1 = taken from a registration record of the aircraft database

    friend bool operator==(const AcKey&, const AcKey&) = default;
};
static_assert(sizeof(AcKey) == 8, "AcKey is one 8-byte value");

// The key as log lines show it: "{:3}{:4} {:4}{}{:3}" of the airline code,
// ",<operator code>" (empty without an operator), the model code, "." for a
// database key or a blank, and "(C)" for cargo.
std::string gf_acKeyText(const AcKey& key);

// The same pieces written one after the other: the airline code padded to 3,
// ",<operator code>" unpadded or four blanks without an operator, a blank and
// the model code padded to 4, the flag character, the cargo text padded to 3.
// With three-letter operator codes both texts are the same.
template <>
struct fmt::formatter<AcKey> {
    constexpr auto parse(fmt::format_parse_context& ctx) { return ctx.begin(); }
    fmt::format_context::iterator format(const AcKey& key, fmt::format_context& ctx) const;
};
