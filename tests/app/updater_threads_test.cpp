// The update check against a loopback download server.

#include <filesystem>
#include <string>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "app/updater.h"
#include "app_test_support.h"
#include "foundation/text.h"

namespace {

namespace fs = std::filesystem;
using nlohmann::json;
using tavo::test::readFile;
using tavo::test::writeFile;

json lf_version(int major, int minor, int patch) { return {{"major", major}, {"minor", minor}, {"patch", patch}}; }

// What reached parameters.xml's writer, as "KEY=value".
std::vector<std::string> g_saved;
void lf_recordSave(const Parameter& parameter) noexcept {
    if (const auto* p = dynamic_cast<const StringParameter*>(&parameter)) g_saved.push_back(p->name + "=" + p->value());
}

class UpdaterTest : public tavo::test::UpdateServerTest {
protected:
    void SetUp() override {
        UpdateServerTest::SetUp();
        // Every data file present and recorded at 1.0.0, so that only what a
        // test changes is downloaded.
        for (const char* name : {"airports.enc", "AIG-regcodes.enc", "archives.enc", "dbase.enc", "wktraffic.enc"})
            writeFile(fs::path("input") / name, std::string("local ") + name);
        for (StringParameter* p : {&AIRPORTS_VERSION, &AIG_VERSION, &ARCHIVES_VERSION, &DBASE_VERSION,
                                   &WEEKLY_TRAFFIC_AIRPORTS_VERSION})
            p->setValue("1.0.0");
        manifest = {{"msfs", lf_version(16, 8, 0)},     {"maintenance", lf_version(0, 0, 0)},
                    {"airports", lf_version(1, 0, 0)},  {"aig", lf_version(1, 0, 0)},
                    {"archives", lf_version(1, 0, 0)},  {"dbase", lf_version(1, 0, 0)},
                    {"weekly", lf_version(1, 0, 0)}};
    }
    void publish() { serve("versions.json", manifest.dump()); }
    bool check(const VersionData& running = VersionData{16, 8, 0}) {
        const bool result = gf_checkForUpdates(running);
        EXPECT_FALSE(fs::exists("versions.json")) << "the manifest is removed after reading";
        return result;
    }
    std::size_t dataRequests() const {
        std::size_t n = 0;
        for (const auto& r : server.requests()) n += r.path.starts_with("/downloads/input/") ? 1 : 0;
        return n;
    }

    json manifest;
};

TEST_F(UpdaterTest, ManifestUpTo1MiBIsReadLargerIsRemovedUnread) {
    std::string text = manifest.dump();
    text.append(1048576 - text.size(), ' ');
    serve("versions.json", text);
    EXPECT_TRUE(check());
    EXPECT_TRUE(logHas("\nmsfs version up-to-date\n"));

    gf_openLogFile();
    serve("versions.json", text + " ");
    EXPECT_TRUE(check());
    EXPECT_TRUE(logHas("==> versions.json is unexpectedly large: 1048577 bytes\n"));
    EXPECT_FALSE(logHas("up-to-date"));
}

TEST_F(UpdaterTest, ManifestsThatAreNoObjectSkipTheCheck) {
    for (const std::string body : {"[1, 2, 3]", "{\"msfs\": {\"major\": 17,", "", "\xFF\xFE{}"}) {
        SCOPED_TRACE(body);
        gf_openLogFile();
        manifest["airports"] = lf_version(9, 0, 0);
        serve("versions.json", body);
        EXPECT_TRUE(check()) << "the start goes on";
        EXPECT_TRUE(logHas("==> Invalid versions.json received; update check skipped\n"));
        EXPECT_EQ(dataRequests(), 0u);
    }
}

TEST_F(UpdaterTest, AMissingManifestSkipsTheCheck) {
    EXPECT_TRUE(check());
    EXPECT_TRUE(logHas("==> Downloading version info from my web site failed!\n"));
    EXPECT_EQ(dataRequests(), 0u);
}

TEST_F(UpdaterTest, ProgramVersionsCompareNumberByNumber) {
    struct Case {
        VersionData web, running;
        bool newer;
    };
    const Case cases[] = {
        {{16, 10, 0}, {16, 9, 5}, true},
        {{16, 9, 5}, {16, 10, 0}, false},
        {{16, 9, 5}, {16, 9, 5}, false},
        {{17, 0, 0}, {16, 99, 99}, true},
        {{16, 9, 6}, {16, 9, 5}, true},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.web.toString() + " against " + c.running.toString());
        gf_openLogFile();
        manifest["msfs"] = lf_version(c.web.major, c.web.minor, c.web.patch);
        publish();
        const std::size_t archives = requested("release/TAVO_latest_version.zip");
        if (c.newer) {
            // No archive on the server: the update fails.
            EXPECT_THROW(check(c.running), tavo::UserRelatedException);
            EXPECT_EQ(requested("release/TAVO_latest_version.zip"), archives + 1);
        } else {
            EXPECT_TRUE(check(c.running));
            EXPECT_TRUE(logHas("\nmsfs version up-to-date\n"));
        }
        EXPECT_TRUE(logHas("\nmsfs program version at web = " + c.web.toString() + "\n"));
    }
}

TEST_F(UpdaterTest, MaintenanceStopsTheStartBeforeTheDataFiles) {
    manifest["maintenance"] = lf_version(0, 0, 1);
    manifest["airports"] = lf_version(2, 0, 0);
    publish();
    try {
        check();
        FAIL() << "no exception";
    } catch (const tavo::UserRelatedException& e) {
        EXPECT_EQ(e.code, 2026);
    }
    EXPECT_TRUE(g_webServerMaintenance.load());
    EXPECT_TRUE(logHas("\nmsfs version up-to-date\n")) << "the program is checked first";
    EXPECT_EQ(dataRequests(), 0u);
}

TEST_F(UpdaterTest, NoMaintenanceOrNoKeyLetsTheDataFilesUpdate) {
    serve("input/airports.enc", "new airports");
    manifest["airports"] = lf_version(1, 0, 1);
    publish();
    EXPECT_TRUE(check());
    EXPECT_TRUE(logHas("\nmaintenance version up-to-date\n"));
    EXPECT_EQ(readFile("input/airports.enc"), "new airports");

    gf_openLogFile();
    manifest.erase("maintenance");
    manifest["airports"] = lf_version(1, 0, 2);
    publish();
    EXPECT_TRUE(check());
    EXPECT_TRUE(logHas("==> maintenance version not found\n"));
    EXPECT_EQ(AIRPORTS_VERSION.value(), "1.0.2");
    EXPECT_FALSE(g_webServerMaintenance.load());
}

TEST_F(UpdaterTest, DataFilesAreFetchedWhenNewerOrMissing) {
    // airports: missing here, so fetched although the web version is lower.
    fs::remove("input/airports.enc");
    manifest["airports"] = lf_version(0, 9, 0);
    serve("input/airports.enc", "airports 0.9");
    // aig: empty parameter, web 0.0.0, file present: up to date.
    AIG_VERSION.setValue("");
    manifest["aig"] = lf_version(0, 0, 0);
    // archives: newer on the web.
    manifest["archives"] = lf_version(1, 0, 10);
    serve("input/archives.enc", "archives 1.0.10");
    // dbase: newer on the web, but its download fails.
    manifest["dbase"] = lf_version(3, 0, 0);
    // weekly: not in the manifest.
    manifest.erase("weekly");
    publish();
    g_saved.clear();
    gf_installParameterFileWriter(&lf_recordSave);

    EXPECT_TRUE(check());
    // Saved, not only set: else every start would fetch the files again.
    EXPECT_EQ(g_saved, (std::vector<std::string>{"AIRPORTS_VERSION=0.9.0", "ARCHIVES_VERSION=1.0.10"}));
    EXPECT_EQ(readFile("input/airports.enc"), "airports 0.9");
    EXPECT_EQ(AIRPORTS_VERSION.value(), "0.9.0");
    EXPECT_TRUE(logHas("\nairports updated to 0.9.0\n"));
    EXPECT_EQ(requested("input/AIG-regcodes.enc"), 0u);
    EXPECT_TRUE(logHas("\naig version up-to-date\n"));
    EXPECT_EQ(AIG_VERSION.value(), "");
    EXPECT_EQ(readFile("input/archives.enc"), "archives 1.0.10");
    EXPECT_EQ(ARCHIVES_VERSION.value(), "1.0.10");
    EXPECT_EQ(requested("input/dbase.enc"), 1u);
    EXPECT_EQ(readFile("input/dbase.enc"), "local dbase.enc") << "a failed download leaves the file";
    EXPECT_EQ(DBASE_VERSION.value(), "1.0.0") << "and its version, to be tried again";
    EXPECT_TRUE(logHas("==> weekly version not found\n"));
    EXPECT_EQ(requested("input/wktraffic.enc"), 0u);
}

}  // namespace
