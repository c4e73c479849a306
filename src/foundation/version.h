#pragma once
// Version numbers: the program's own, the update server's and the manifests'.

#include <cstdint>
#include <string>
#include <string_view>

struct VersionData {
    VersionData() = default;
    VersionData(std::int32_t major_, std::int32_t minor_, std::int32_t patch_)
        : major(major_), minor(minor_), patch(patch_) {}
    std::string toString() const;

    std::int32_t major = 0;
    std::int32_t minor = 0;
    std::int32_t patch = 0;
};

// The program's own version, 16.8.0.
extern const VersionData g_programVersion;
