#pragma once
// Shared by the shell's start-up tests: a temporary installation folder with
// a fresh Log.txt, settings at their defaults, the chosen simulator, roaming
// and local AppData pointed into the folder, a headless window backend whose
// message boxes are recorded, and the GUI thread attached so that status
// lines are applied (and logged) at once.

#include <filesystem>
#include <memory>
#include <string>

#include <gtest/gtest.h>

#include "platform/os/os.h"
#include "platform/window/headless.h"
#include "services/gui.h"
#include "services/stop.h"
#include "settings/parameters.h"
#include "settings/settings_test_support.h"
#include "settings/snapshot.h"
#include "foundation/download.h"
#include "foundation/log.h"
#include "services/shell.h"
#include "support/http_server.h"
#include "support/scoped_env.h"
#include "support/temp_dir.h"

namespace tavo::test {

class ShellStartTest : public LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        resetSettingsToDefaults();
        env.set("TAVO_APPDATA_DIR", (dir() / "roaming").string());
        env.set("TAVO_LOCALAPPDATA_DIR", (dir() / "local").string());
        backend = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend);
        gf_gui().attachGuiThread();
        gf_gui().reset();
        gf_clearStopMailbox();
    }
    void TearDown() override {
        gf_gui().reset();
        gf_clearStopMailbox();
        gf_osSetFaultHook({});
        gf_installWindowBackend(nullptr);
        resetSettingsToDefaults();
        LogFileTest::TearDown();
    }

    static void chooseSimulator(bool msfs2020) {
        startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{msfs2020 ? 1u : 2u, 0}));
    }
    static void makeFolders(const std::filesystem::path& root, std::initializer_list<const char*> names) {
        for (const char* name : names) std::filesystem::create_directories(root / name);
    }
    bool logHas(const std::string& piece) { return logText().find(piece) != std::string::npos; }
    std::size_t logCount(const std::string& piece) {
        const std::string text = logText();
        std::size_t count = 0;
        for (auto at = text.find(piece); at != std::string::npos; at = text.find(piece, at + 1)) ++count;
        return count;
    }

    ScopedEnv env;
    std::shared_ptr<HeadlessBackend> backend;
};

// The start-up talking to a loopback download server.
class UpdateServerTest : public ShellStartTest {
protected:
    void SetUp() override {
        ShellStartTest::SetUp();
        env.set("TAVO_DOWNLOAD_URL", server.url("/downloads"));
        DownloadTimeouts quick;
        quick.connectSeconds = 2;
        quick.lowSpeedSeconds = 2;
        gf_setDefaultDownloadTimeouts(quick);
        std::filesystem::create_directories("input");
        g_webServerMaintenance.store(false);
    }
    void TearDown() override {
        server.stop();
        gf_setDefaultDownloadTimeouts(DownloadTimeouts{});
        g_webServerMaintenance.store(false);
        ShellStartTest::TearDown();
    }
    void serve(const std::string& path, std::string body) {
        server.setReply("GET", "/downloads/" + path, HttpReply::ok(std::move(body)));
    }
    std::size_t requested(const std::string& path) const { return server.requestCount("/downloads/" + path); }

    LoopbackHttpServer server;
};

}  // namespace tavo::test
