#pragma once
// Version numbers: the program's own, the update server's and the manifests'.

#include <compare>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include <fmt/format.h>

struct VersionData {
    VersionData() = default;
    VersionData(std::int32_t major_, std::int32_t minor_, std::int32_t patch_)
        : major(major_), minor(minor_), patch(patch_) {}
    // "1.2" or "1.2.3" (the whole text), or a JSON object with the integer
    // members "major", "minor", "patch". Never throws: an empty text gives
    // 0.0.0 silently, anything unreadable 0.0.0 and the log line
    // "VersionData exception: <reason>".
    explicit VersionData(std::string_view text);

    // "{}.{}.{}"
    std::string toString() const;

    // Field by field: major, then minor, then patch.
    friend auto operator<=>(const VersionData&, const VersionData&) = default;
    friend bool operator==(const VersionData&, const VersionData&) = default;

    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
};

// The program's own version text and version.
inline constexpr std::string_view kProgramVersionText = "16.8.0";
extern const VersionData g_programVersion;

// A version with an optional release-candidate suffix ("2.1.0-RC3", "2.1rc").
struct RcVersion {
    VersionData version;
    std::uint32_t rcNumber = 0;
    bool isRc = false;

    // By version; on equal versions a release ranks above a release candidate,
    // and release candidates rank by their numbers.
    friend std::strong_ordering operator<=>(const RcVersion& a, const RcVersion& b);
    friend bool operator==(const RcVersion& a, const RcVersion& b) {
        return (a <=> b) == std::strong_ordering::equal;
    }
};

// Two or three dot-separated decimal numbers (signed 32-bit each); after the
// third only a single trailing '.' may follow. Nothing for anything else.
std::optional<VersionData> gf_parseVersion(std::string_view text);
// A version as above, optionally followed by "RC" (any case, optionally after
// one '-') and a decimal number.
std::optional<RcVersion> gf_parseVersionRc(std::string_view text);

template <>
struct fmt::formatter<VersionData> : fmt::formatter<std::string_view> {
    template <typename FormatContext>
    auto format(const VersionData& v, FormatContext& ctx) const {
        return fmt::format_to(ctx.out(), "{}.{}.{}", v.major, v.minor, v.patch);
    }
};
