#include "settings/validation.h"

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/version.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings/snapshot.h"

namespace {

// The parameters of RadiusValues, in its order.
const std::array<IntParameter*, 8>& lf_radiusParameters() {
    static const std::array<IntParameter*, 8> parameters{
        &RANGE_GROUND, &RANGE_1, &RANGE_2, &RANGE_3, &RANGE_ABOVE, &FLIGHT_LEVEL_1, &FLIGHT_LEVEL_2, &FLIGHT_LEVEL_3,
    };
    return parameters;
}

// The nearest integer (halves away from zero) that the parameter can hold.
std::int32_t lf_roundToParameter(const IntParameter& parameter, double value) {
    if (std::isnan(value)) return parameter.defaultValue();
    const double rounded = std::round(value);
    const double limited = std::clamp(rounded, static_cast<double>(parameter.minimum()),
                                      static_cast<double>(parameter.maximum()));
    return static_cast<std::int32_t>(limited);
}

// Whether a two-way start-up choice holds `other`. Any text but the two is
// logged and replaced by `fallback`, the choice's default.
bool lf_isOtherChoice(ChoiceOption& option, std::string_view what, std::string_view other,
                      std::string_view fallback) {
    const std::string value = option.value();
    if (value == other) return true;
    if (value != fallback) {
        gf_logError(fmt::format("Invalid {} '{}', using '{}'", what, value, fallback));
        option.setValue(std::string(fallback));
    }
    return false;
}

}  // namespace

NormalisedRadii gf_normaliseRadiusParameters(const RadiusValues& values, double step, double levelMinimum,
                                             double levelMaximum) {
    NormalisedRadii result{values, false};
    RadiusValues& v = result.values;

    for (std::size_t i = 0; i < 5; ++i) {
        if (v[i] < 0.0) {
            v[i] = 0.0;
            result.changed = true;
        }
    }

    std::array<double, 3> levels{v[5], v[6], v[7]};
    std::sort(levels.begin(), levels.end());
    double first = levels[0];
    double second = first >= levels[1] ? first + step : levels[1];
    double third = second >= levels[2] ? second + step : levels[2];
    // Levels spread above the highest one allowed are spread downwards from
    // it instead: clamping them afterwards would only undo the spreading.
    if (third > levelMaximum) {
        third = levelMaximum;
        second = std::min(second, third - step);
        first = std::min(first, second - step);
    }
    if (first < levelMinimum) {
        first = levelMinimum;
        second = std::max(second, first + step);
        third = std::max(third, second + step);
    }
    const std::array<double, 3> corrected{first, second, third};
    for (std::size_t i = 0; i < 3; ++i) {
        if (corrected[i] != v[5 + i]) result.changed = true;
        v[5 + i] = corrected[i];
    }

    for (std::size_t i = 1; i < 5; ++i) {
        if (v[i] < v[i - 1]) {
            v[i] = v[i - 1];
            result.changed = true;
        }
    }
    return result;
}

void gf_validateRadiusParameters() {
    if (gf_loadParameters()) return;

    const auto& parameters = lf_radiusParameters();
    RadiusValues values{};
    for (std::size_t i = 0; i < parameters.size(); ++i) values[i] = parameters[i]->value();
    // The tightest limits the three flight levels share.
    double levelMinimum = -std::numeric_limits<double>::infinity();
    double levelMaximum = std::numeric_limits<double>::infinity();
    for (std::size_t i = 5; i < 8; ++i) {
        levelMinimum = std::max(levelMinimum, static_cast<double>(parameters[i]->minimum()));
        levelMaximum = std::min(levelMaximum, static_cast<double>(parameters[i]->maximum()));
    }

    const NormalisedRadii normalised = gf_normaliseRadiusParameters(values, 1.0, levelMinimum, levelMaximum);
    if (normalised.changed) {
        gf_logError("Radius parameters changed to fulfill the requirements (see Manual): ");
        for (std::size_t i = 0; i < parameters.size(); ++i) {
            parameters[i]->setAndSave(lf_roundToParameter(*parameters[i], normalised.values[i]));
        }
    } else {
        gf_log("Radius parameters okay");
    }
    gf_updateProgramVersion();
}

std::int32_t gf_snapHoldingThreshold(std::int32_t metres) {
    static const std::vector<std::int32_t> allowed{10,  50,  100, 150, 200, 250, 300, 350,
                                                   400, 450, 500, 600, 700, 800, 900};
    if (metres <= allowed.front()) return allowed.front();
    if (metres >= allowed.back()) return allowed.back();
    const auto upper = std::lower_bound(allowed.begin(), allowed.end(), metres);
    if (*upper == metres) return metres;
    const std::int32_t high = *upper;
    const std::int32_t low = *(upper - 1);
    return metres - low <= high - metres ? low : high;
}

void gf_updateProgramVersion() {
    const std::string programText = g_programVersion.toString();
    const std::string stored = PROGRAM_VERSION.value();
    // A missing or empty stored version counts as the current one.
    if (stored == PROGRAM_VERSION.defaultValue()) {
        PROGRAM_VERSION.setAndSave(programText);
        return;
    }
    const VersionData storedVersion(stored);
    if (storedVersion != g_programVersion) PROGRAM_VERSION.setAndSave(programText);
    // An equal or newer stored version (a downgrade) migrates nothing.
    if (!(g_programVersion > storedVersion)) return;

    gf_log(fmt::format("This is a version update from {} -> {}", storedVersion, g_programVersion));

    const BoolParameter obsolete("COLLISION_LIVE_PARKED_GND", false);
    gf_removeParameterElement(obsolete);

    HOLDING_THRESHOLD_METERS.setAndSave(gf_snapHoldingThreshold(HOLDING_THRESHOLD_METERS.value()));

    // What the updater left behind; a folder that is missing or cannot be
    // removed is no reason to stop.
    std::error_code ec;
    std::filesystem::remove_all(newVersionDir, ec);
}

void gf_validateStartupChoices() {
    const std::uint32_t simulator = lf_isOtherChoice(SIM_CHOICE, "simulator choice", "MSFS 2020", "MSFS 2024") ? 1 : 2;
    const std::uint8_t trafficSource = lf_isOtherChoice(RT_CHOISE, "traffic source", "RT App", "RT Direct") ? 1 : 0;

    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{simulator, trafficSource}));
}
