#include "settings/option_lists.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <string>
#include <vector>

#include <fmt/format.h>

#include "foundation/log.h"
#include "platform/window/window.h"
#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace {

std::optional<std::size_t> lf_indexOf(const std::vector<std::string>& texts, const std::string& value) {
    const auto it = std::find(texts.begin(), texts.end(), value);
    if (it == texts.end()) return std::nullopt;
    return static_cast<std::size_t>(it - texts.begin());
}

// Fills a combo box and selects one entry by its exact text. A prefix or
// case-blind match would show "AIG, FSLTL" as "AIG, FSLTL, JF, MTL".
void lf_fillTextCombo(ControlId id, const std::vector<std::string>& texts, const std::string& value) {
    if (!gf_controlExists(id)) return;
    gf_setComboItems(id, texts);
    const auto position = lf_indexOf(texts, value);
    gf_setComboSelection(id, position ? static_cast<int>(*position) : -1);
}

// Shows a value's text in a control: the equal entry of a combo box (none
// when there is no such entry, rather than keeping a stale one), or the text
// of any other control.
void lf_showText(ControlId id, const std::string& text) {
    if (!gf_controlExists(id)) {
        gf_logNoThrow(fmt::format("GetDlgItem failed for ID {}", id));
        return;
    }
    if (const auto items = gf_comboItems(id)) {
        const auto position = lf_indexOf(*items, text);
        gf_setComboSelection(id, position ? static_cast<int>(*position) : -1);
        return;
    }
    gf_setControlText(id, text);
}

}  // namespace

// ---------------------------------------------------------------------------
// Members of the option classes

std::optional<std::size_t> ChoiceOption::indexOfValue() const {
    return lf_indexOf(m_choices, value());
}

void ChoiceOption::fillCombo() const {
    lf_fillTextCombo(controlId, m_choices, value());
}

void DynamicListOption::fillCombo() const {
    const std::shared_ptr<const List> list = choices();
    lf_fillTextCombo(controlId, *list, value());
}

void NumericListOption::fillCombo() const {
    if (!gf_controlExists(controlId)) return;
    std::vector<std::string> texts;
    texts.reserve(allowedValues().size());
    for (const std::int32_t v : allowedValues()) texts.push_back(fmt::format("{}", v));
    gf_setComboItems(controlId, texts);
    const auto position = positionOfValue();
    gf_setComboSelection(controlId, position ? static_cast<int>(*position) : -1);
}

void NumericListOption::selectCurrent() const {
    if (const auto position = positionOfValue()) {
        gf_setComboSelection(controlId, static_cast<int>(*position));
    }
}

// ---------------------------------------------------------------------------

void gf_showIntParameterValue(const NumericListOption& option) {
    lf_showText(option.controlId, fmt::format("{}", option.value()));
}

void gf_showStringParameterValue(const ChoiceOption& option) {
    lf_showText(option.controlId, option.value());
}

float gf_maxFitIndexToValue(std::int32_t index) {
    return static_cast<float>(std::clamp(index, 0, 47) + 1) * 0.5f;
}

std::int32_t gf_maxFitValueToIndex(float hours) {
    // Written so that a NaN takes the lower end too.
    if (!(hours >= 0.5f)) hours = 0.5f;
    if (hours > 24.0f) hours = 24.0f;
    const long doubled = std::lround(static_cast<double>(hours) * 2.0);
    return std::clamp(static_cast<std::int32_t>(doubled) - 1, 0, 47);
}

void gf_syncMaxFitCombo() {
    MAX_FIT_FL.set(gf_maxFitIndexToValue(MAX_FIT.value()));
    if (MAX_FIT_FL.allowedValues().empty()) return;
    if (const auto position = MAX_FIT_FL.positionOfValue()) {
        gf_setComboSelection(MAX_FIT_FL.controlId, static_cast<int>(*position));
    }
}

void gf_setRange(std::int32_t v) {
    RANGE.set(v);
    RANGE.selectCurrent();
    // The snapshot takes v itself, which the automatic range may set beyond
    // the list's limits. Products are taken in 64 bits: v * v overflows 32 bits
    // from 46341 on, v * 1852 from about 1.16 million.
    const auto wide = static_cast<std::int64_t>(v);
    const double squared = static_cast<double>(wide * wide);
    const std::int64_t metres = wide * 1852 + (isRTDirect() ? 10000 : 0);
    const auto metres32 = static_cast<std::int32_t>(std::clamp<std::int64_t>(
        metres, std::numeric_limits<std::int32_t>::min(), std::numeric_limits<std::int32_t>::max()));
    gf_updateSettings([&](SettingsSnapshot& s) {
        s.RANGE = static_cast<double>(v);
        s.RANGE_SQUARED = squared;
        s.RANGE_METERS = metres32;
    });
}
