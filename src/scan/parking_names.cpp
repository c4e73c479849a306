#include "scan/parking_names.h"

#include <array>
#include <string_view>

namespace {

constexpr std::array<std::string_view, 12> kFixedPrefixes{
    "",           "PARKING ",    "N_PARKING ", "NE_PARKING ", "E_PARKING ", "SE_PARKING ",
    "S_PARKING ", "SW_PARKING ", "W_PARKING ", "NW_PARKING ", "GATE ",      "DOCK ",
};

}  // namespace

std::string gf_parkingNamePrefix(std::uint32_t nameIndex) {
    if (nameIndex < kFixedPrefixes.size()) return std::string(kFixedPrefixes[nameIndex]);
    if (nameIndex <= 37) {
        std::string prefix = "GATE ";
        prefix += static_cast<char>('A' + (nameIndex - 12));
        return prefix;
    }
    return {};
}
