#pragma once
// Option lists and their combo boxes: showing a list or choice option's value
// in its control, MAX_FIT (an index) and MAX_FIT_FL (hours), and gf_setRange.
// The fill and select operations are members of the option classes
// (settings/parameters.h): ChoiceOption::indexOfValue and ::fillCombo,
// DynamicListOption::fillCombo, NumericListOption::fillCombo and
// ::selectCurrent. Controls are reached by id through the window layer, which
// does nothing for an id that is no control yet.

#include <cstdint>

class ChoiceOption;
class NumericListOption;

// Shows the option's value in its control: in a combo box the entry equal to
// the value's text is selected (none when the value is no entry); any other
// control gets the text. Logs "GetDlgItem failed for ID {}" when the control
// does not exist.
void gf_showIntParameterValue(const NumericListOption& option);
void gf_showStringParameterValue(const ChoiceOption& option);

// MAX_FIT index -> hours: the index clamped to 0..47, plus 1, times 0.5
// (0 is 0.5 h, 47 is 24.0 h).
float gf_maxFitIndexToValue(std::int32_t index);
// Hours -> MAX_FIT index: clamped to 0.5..24.0, doubled, rounded (halves away
// from zero), minus 1, clamped to 0..47.
std::int32_t gf_maxFitValueToIndex(float hours);
// Sets MAX_FIT_FL from MAX_FIT and selects it in its combo box. Nothing is
// saved or published.
void gf_syncMaxFitCombo();

// Sets RANGE to v (clamped to its limits), selects it in its combo box, and
// publishes the range in force into the settings snapshot from v itself: v NM,
// v squared, v x 1852 m (plus 10000 with RT Direct). The range the user chose
// stays as it is in the snapshot, and nothing is saved.
void gf_setRange(std::int32_t v);
