#pragma once
// Shared by the settings tests: every test starts from the table's defaults
// and a default snapshot, and leaves them so for the next.

#include <gtest/gtest.h>

#include "settings/parameters.h"
#include "settings/snapshot.h"

namespace tavo::test {

inline void resetSettingsToDefaults() {
    for (BoolParameter* p : boolParameters) p->setValue(p->defaultValue());
    for (GuiBoolParameter* p : guiBoolParameters) p->setValue(p->defaultValue());
    for (IntParameter* p : intParameters) p->set(p->defaultValue());
    for (NumericListOption* p : listOptions) p->set(p->defaultValue());
    for (StringParameter* p : stringParameters) p->setValue(p->defaultValue());
    for (PathParameter* p : pathParameters) p->setValue(p->defaultValue());
    for (ChoiceOption* p : choiceOptions) p->setValue(p->defaultValue());
    MAX_FIT_FL.set(MAX_FIT_FL.defaultValue());
    AIRCRAFT_SELECTOR.setValue("");
    STAND_SELECTOR.setValue("");
    g_blockedCallsignPrefix.store(0);
    gf_installParameterFileWriter(nullptr);
    settingsSnapshot.store(std::make_shared<const SettingsSnapshot>());
    startupChoice.store(std::make_shared<const StartupChoice>());
}

class SettingsTest : public ::testing::Test {
protected:
    void SetUp() override { resetSettingsToDefaults(); }
    void TearDown() override { resetSettingsToDefaults(); }
};

}  // namespace tavo::test
