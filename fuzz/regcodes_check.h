#pragma once
// What every registration-code record must keep, whichever reader gave it:
// a title, and regcodes that obey the rule, ascending and distinct. A broken
// promise ends the fuzz run.

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <span>

#include "liveries/regcodes.h"

namespace tavo::fuzz {

inline void checkRegcodeRecords(std::span<const RegcodeRecord> records) {
    for (const RegcodeRecord& record : records) {
        if (record.title.empty()) std::abort();
        if (!std::all_of(record.regcodes.begin(), record.regcodes.end(), gf_isValidRegcode)) std::abort();
        if (std::adjacent_find(record.regcodes.begin(), record.regcodes.end(), std::greater_equal<>()) !=
            record.regcodes.end())
            std::abort();  // not ascending and distinct
    }
    gf_mergeRegcodesByTitle(records, {});
}

}  // namespace tavo::fuzz
