#pragma once
// Tests of parameters.xml: the program's data folder is fixed for the life of
// the process on its first use, so every test executable that includes this
// header points roaming AppData at one temporary folder of its own before any
// test runs, and every test empties the data folder before and after it.

#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gtest/gtest.h>
#include <pugixml.hpp>
#include <unistd.h>

#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/window/headless.h"
#include "settings/parameters.h"
#include "settings/parameters_file.h"
#include "settings_test_support.h"
#include "support/temp_dir.h"

namespace tavo::test {

// The process's roaming AppData folder, made and announced before main runs.
class TestAppDataFolder {
public:
    static const std::filesystem::path& path() {
        static TestAppDataFolder folder;
        return folder.m_path;
    }

private:
    TestAppDataFolder() {
        // Saves flush to disk; in memory (where there is such a file system)
        // the thousands of saves of the thread tests take seconds, not minutes.
        std::error_code ec;
        const std::filesystem::path shm("/dev/shm");
        const std::filesystem::path base =
            std::filesystem::is_directory(shm, ec) && ::access(shm.c_str(), W_OK) == 0
                ? shm
                : std::filesystem::temp_directory_path();
        std::string pattern = (base / "tavo-appdata-XXXXXX").string();
        if (char* made = ::mkdtemp(pattern.data())) m_path = made;
        ::setenv("TAVO_APPDATA_DIR", m_path.c_str(), 1);
    }
    ~TestAppDataFolder() {
        std::error_code ec;
        if (!m_path.empty()) std::filesystem::remove_all(m_path, ec);
    }
    std::filesystem::path m_path;
};

inline const bool g_testAppDataAnnounced = !TestAppDataFolder::path().empty();

// A parameters.xml document from "KEY=value" pairs.
inline std::string parametersXml(const std::vector<std::pair<std::string, std::string>>& entries) {
    std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<root>\n  <parameters>\n";
    for (const auto& [key, value] : entries) {
        xml += "    <parameter name=\"" + key + "\" value=\"" + value + "\" />\n";
    }
    return xml + "  </parameters>\n</root>\n";
}

// Every "parameter" element of a parameters.xml, in file order.
struct StoredParameter {
    std::string name;
    std::string value;
};

inline std::vector<StoredParameter> storedParameters(const std::filesystem::path& path) {
    pugi::xml_document document;
    std::vector<StoredParameter> result;
    if (!document.load_file(path.c_str())) return result;
    for (pugi::xml_node e = gf_findParametersNode(document).child("parameter"); e; e = e.next_sibling("parameter"))
        result.push_back({e.attribute("name").value(), e.attribute("value").value()});
    return result;
}

inline std::vector<std::string> storedValues(const std::filesystem::path& path, const std::string& key) {
    std::vector<std::string> values;
    for (const auto& p : storedParameters(path)) {
        if (p.name == key) values.push_back(p.value);
    }
    return values;
}

// The number of parameters the file layer stores.
inline std::size_t registeredCount() {
    return boolParameters.size() + guiBoolParameters.size() + intParameters.size() + listOptions.size() +
           stringParameters.size() + pathParameters.size() + choiceOptions.size();
}

// A fixture with an empty data folder, a fresh log in a temporary working
// folder, the settings at their defaults and a headless window backend.
class ParametersFileTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        const std::filesystem::path folder = programDataFolder();
        // Never let a test touch a real user's settings.
        ASSERT_EQ(folder, TestAppDataFolder::path() / "TAVO");
        emptyDataFolder();
        std::filesystem::create_directories(folder);
        resetSettingsToDefaults();
        PROGRAM_VERSION.setDefaultValue("");
        backend = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend);
    }
    void TearDown() override {
        gf_installWindowBackend(nullptr);
        resetSettingsToDefaults();
        PROGRAM_VERSION.setDefaultValue("");
        emptyDataFolder();
        LogFileTest::TearDown();
    }

    static void emptyDataFolder() {
        std::error_code ec;
        std::filesystem::remove_all(TestAppDataFolder::path() / "TAVO", ec);
    }

    const std::filesystem::path& file() const { return parametersFilePath(); }
    std::filesystem::path generationFile() const { return programDataFolder() / "parameters0.xml"; }

    bool logHas(const std::string& piece) { return logText().find(piece) != std::string::npos; }
    bool logHasLine(const std::string& line) { return logHas("\n" + line + "\n"); }
    std::size_t logCount(const std::string& piece) {
        const std::string text = logText();
        std::size_t count = 0;
        for (std::size_t at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
        return count;
    }

    // Makes the main window and a control for each bound parameter given.
    WindowHandle makeWindow() {
        MainWindowSpec setup;
        setup.title = "test";
        setup.width = 900;
        setup.height = 700;
        setup.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
        return gf_createMainWindow(setup);
    }
    void makeControl(WindowHandle window, ControlKind kind, ControlId id) {
        ControlSpec setup;
        setup.kind = kind;
        setup.id = id;
        ASSERT_TRUE(gf_createControl(window, setup));
    }

    std::shared_ptr<HeadlessBackend> backend;
};

}  // namespace tavo::test
