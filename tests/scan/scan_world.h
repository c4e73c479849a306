#pragma once
// The world of the airport scan's tests: a working folder with Log.txt, the
// program's data folder (AirportsScanLog.txt), a headless main window with
// the scan control and the send button applied on this thread, the settings
// at their defaults, no simulator, and every global of the scan emptied
// after each test.

#include <filesystem>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <variant>
#include <vector>

#include <gtest/gtest.h>
#include <pugixml.hpp>

#include "../settings/parameters_file_test_support.h"
#include "airports/airport_file_format.h"
#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "foundation/zip_archive.h"
#include "platform/os/os.h"
#include "platform/simconnect/sim_model.h"
#include "scan/publishers.h"
#include "scan/scan_log.h"
#include "scan/scan_transaction.h"
#include "scan/tblo_archive.h"
#include "services/gui.h"
#include "services/stop.h"
#include "simlink/facility_reader.h"
#include "settings/snapshot.h"
#include "support/airports_data.h"
#include "support/archives_builder.h"
#include "support/scoped_temp_dir.h"

namespace tavo::test {

class ScanWorldTest : public ParametersFileTest {
protected:
    void SetUp() override {
        ParametersFileTest::SetUp();
        window = makeWindow();
        makeControl(window, ControlKind::CheckBox, SKIP_AIRPORT_SCAN.controlId);
        makeControl(window, ControlKind::Button, TbloButton.controlId);
        gf_gui().attachGuiThread();  // updates are applied at once
        gf_gui().reset();
        gf_gui().attachWindow(window);
        gf_clearStopMailbox();
        gf_simModelReset();
        chooseSimulator(false);
        clearScanState();
    }
    void TearDown() override {
        gf_closeFacilityReader();
        gf_osSetFaultHook({});
        gf_setZipWriteFaultHook({});
        gf_clearStopMailbox();
        gf_simModelReset();
        clearScanState();
        gf_gui().window.store(WindowHandle::None);
        gf_gui().reset();
        ParametersFileTest::TearDown();
    }

    static void clearScanState() {
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        gf_clearPublisherData();
        g_airportScanLog.clear();
        g_tbloPending.store(false);
    }
    static void chooseSimulator(bool msfs2024) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{msfs2024 ? 2u : 1u, 0}));
    }

    // The airports list, the weekly-traffic set and the archives data, loaded
    // as the scan loads them.
    void loadWorld(const std::vector<AirportDataEntry>& airports, const std::string& weekly,
                   const ArchivesBuilder& archives) {
        writeAirportsEnc(dir(), airports);
        ASSERT_TRUE(std::holds_alternative<std::size_t>(gf_loadAirports()));
        writeWktrafficEnc(dir(), {weekly});
        ASSERT_TRUE(gf_loadWeeklyTrafficAirports());
        archives.writeToInput();
        ASSERT_TRUE(gf_readPublishers(isMSFS2020()));
    }

    bool scanLogHas(const std::string& line) const {
        for (const std::string& l : g_airportScanLog)
            if (l == line) return true;
        return false;
    }
    bool enabled(ControlId id) { return gf_isControlEnabled(id).value_or(false); }

    WindowHandle window = WindowHandle::None;
};

// The stands of an airport file as the program reads them back, with the
// file's parameters.
struct ReadBackFile {
    bool loaded = false;
    std::vector<Stand> stands;
    std::map<std::string, std::string> parameters;

    std::string parameter(const std::string& name) const {
        const auto it = parameters.find(name);
        return it == parameters.end() ? std::string() : it->second;
    }
};

inline ReadBackFile readAirportFile(const std::filesystem::path& path) {
    ReadBackFile file;
    pugi::xml_document document;
    if (!document.load_file(path.c_str())) return file;
    file.loaded = true;
    lf_readParkPositions(document, file.stands);
    for (const pugi::xml_node p : document.child("root").child("parameters").children("parameter"))
        file.parameters[p.attribute("name").value()] = p.attribute("value").value();
    return file;
}

// The entries of a zip with their contents.
inline std::map<std::string, std::string> zipContents(const std::filesystem::path& path) {
    std::map<std::string, std::string> contents;
    ZipArchive archive;
    if (!archive.openForReading(path)) return contents;
    const auto entries = archive.entries();
    if (!entries) return contents;
    for (const ZipEntry& entry : *entries) {
        std::ostringstream out;
        if (archive.copyEntry(entry.index, out, 4096) == 0) contents[entry.name] = out.str();
    }
    return contents;
}

}  // namespace tavo::test
