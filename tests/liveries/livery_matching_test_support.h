#pragma once
// The fixture of the livery matching tests: the small aircraft database with
// two more similar-model groups, livery tables built from a scanned-liveries
// file (and an AIG regcodes file) through the program's own processing, and
// aircraft records made from codes.

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <string_view>

#include "../settings/parameters_file_test_support.h"
#include "engine/records.h"
#include "engine/user_position.h"
#include "liveries/code_tables.h"
#include "liveries/failed_liveries.h"
#include "liveries/livery_matching.h"
#include "liveries/livery_tables.h"
#include "services/gui.h"
#include "settings/snapshot.h"
#include "support/dbase_builder.h"
#include "support/regcodes_builder.h"
#include "support/scanned_liveries_builder.h"

namespace tavo::test {

class LiveryMatchingTest : public ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        static const DbaseBuilder database = [] {
            DbaseBuilder b = DbaseBuilder::smallProfile();
            // Codes too far apart to have a closest one: the lists keep every
            // model and are shuffled.
            b.similar.push_back({"A388", "B748", "B77W"});
            b.similar.push_back({"EC35", "B06"});
            return b;
        }();
        loadDbase(database);
        gf_publishAllParameters();
        const WindowHandle window = makeWindow();
        for (GuiBoolParameter* p : {&LIGHT_AIRCRAFT, &TWO_PROPS, &HIGH_PERF_AIRCRAFT, &HELICOPTERS}) {
            makeControl(window, ControlKind::CheckBox, p->controlId);
        }
        gf_gui().attachGuiThread();
        gf_resetLiveryMatchingForTest();
        gf_forgetFailedLiveries();
        g_userAltitudeFt.store(0.0);
    }
    void TearDown() override {
        gf_forgetFailedLiveries();
        g_userAltitudeFt.store(0.0);
        gf_gui().reset();
        gf_publishAllParameters();
        ParametersFileTest::TearDown();
    }

    // Builds the tables; the regcodes file only when given.
    void build(const ScannedLiveriesBuilder& scanned, const std::optional<RegcodesBuilder>& aig = std::nullopt) {
        scanned.writeToOutput();
        if (aig) aig->writeToInput();
        gf_processScannedLiveries();
        newLogLines();
    }

    static void setMatching(int depth, bool random, int tcasFl = 180) {
        gf_updateSettings([&](SettingsSnapshot& s) {
            s.MATCHING_DEPTH = depth;
            s.RANDOM = random ? 1 : 0;
            s.TCAS_FL = tcasFl;
        });
    }

    static std::uint16_t airline(std::string_view code) { return gf_internAirlineCode(code); }
    static std::uint16_t model(std::string_view code) { return gf_internModelCode(code); }

    // The record the engine makes: the category comes from the model.
    static AcInfo aircraft(std::string_view airlineCode, std::string_view modelCode, std::string registration = {},
                           std::string_view operatorCode = {}, bool cargo = false) {
        AcInfo ac;
        ac.key = AcKey{airline(airlineCode), operatorCode.empty() ? std::uint16_t(0) : airline(operatorCode),
                       model(modelCode), static_cast<std::uint8_t>(cargo ? 1 : 0), 0};
        ac.callsign = "TST123";
        ac.registration = std::move(registration);
        ac.category = gf_getModelCategory(ac.key.model);
        return ac;
    }

    static Stand stand(std::string name, bool cargo) {
        return Stand(std::move(name), {}, 50.0, 8.5, 0.0, 40.0, ParkingType::GATE_MEDIUM, cargo, false, false);
    }

    static std::array<std::int32_t, 9> counts() {
        std::array<std::int32_t, 9> values{};
        for (std::size_t i = 0; i < values.size(); ++i) values[i] = matchStepCounts[i].load();
        return values;
    }
};

}  // namespace tavo::test
