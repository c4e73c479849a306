#include "liveries/ac_key.h"

#include <string_view>

#include "liveries/code_tables.h"

namespace {

char lf_flagChar(const AcKey& key) { return key.flag != 0 ? '.' : ' '; }
std::string_view lf_cargoText(const AcKey& key) { return key.cargo != 0 ? "(C)" : ""; }

}  // namespace

std::string gf_acKeyText(const AcKey& key) {
    std::string operatorPart;
    if (key.operatorIndex != 0) operatorPart = fmt::format(",{}", gf_airlineCodeAt(key.operatorIndex));
    return fmt::format("{:3}{:4} {:4}{}{:3}", gf_airlineCodeAt(key.airline), operatorPart,
                       gf_modelCodeAt(key.model), lf_flagChar(key), lf_cargoText(key));
}

fmt::format_context::iterator fmt::formatter<AcKey>::format(const AcKey& key, fmt::format_context& ctx) const {
    auto out = fmt::format_to(ctx.out(), "{:3}", gf_airlineCodeAt(key.airline));
    if (key.operatorIndex != 0)
        out = fmt::format_to(out, ",{}", gf_airlineCodeAt(key.operatorIndex));
    else
        out = fmt::format_to(out, "{:4}", "");
    return fmt::format_to(out, " {:4}{}{:3}", gf_modelCodeAt(key.model), lf_flagChar(key), lf_cargoText(key));
}
