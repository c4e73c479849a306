// The RealTraffic credential: where it is looked for, the entry dialog, the
// program's own RealTraffic.lic, and every way a file can fail to hold one.

#include <cstdlib>
#include <memory>
#include <optional>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "feed/credential.h"
#include "foundation/text.h"
#include "platform/os/os.h"
#include "platform/window/headless.h"
#include "services/shell.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using tavo::test::readFile;
using tavo::test::writeFile;

std::string licenseJson(std::string_view value) {
    return fmt::format(R"({{"License":"{}","Name":"someone"}})", value);
}

const std::string placeholderFile = R"({"License":"fill in your API-token here","Name":"unknown"})";

// A roaming AppData folder of its own, the log open in the working folder, and
// a headless main window whose entry dialog answers from a script.
class RtCredential : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        if (const char* old = std::getenv("TAVO_APPDATA_DIR")) savedAppData_ = old;
        appData_ = dir() / "roaming";
        fs::create_directories(appData_);
        setenv("TAVO_APPDATA_DIR", appData_.c_str(), 1);

        backend_ = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend_);
        MainWindowSpec setup;
        setup.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
        window_ = backend_->createMainWindow(setup);
        g_mainWindow = window_;
        g_rtCredential = "left over from an earlier run";
    }
    void TearDown() override {
        g_mainWindow = WindowHandle::None;
        gf_installWindowBackend(nullptr);
        if (savedAppData_) {
            setenv("TAVO_APPDATA_DIR", savedAppData_->c_str(), 1);
        } else {
            unsetenv("TAVO_APPDATA_DIR");
        }
        LogFileTest::TearDown();
    }

    fs::path appFile() const { return appData_ / "InsideSystems" / "RealTraffic.lic"; }
    void writeAppFile(std::string_view bytes) {
        fs::create_directories(appFile().parent_path());
        writeFile(appFile(), bytes);
    }
    bool logHas(std::string_view line) { return logText().find(std::string(line) + "\n") != std::string::npos; }
    // Runs the search expecting the "no credential" error; returns its text.
    std::string expectNoCredential() {
        try {
            gf_getRTLicense();
        } catch (const tavo::UserRelatedException& e) {
            EXPECT_EQ(e.code, 899);
            EXPECT_TRUE(g_rtCredential.empty());
            return e.what();
        }
        ADD_FAILURE() << "no exception; credential '" << g_rtCredential << "'";
        return {};
    }
    static std::string noCredentialText(const fs::path& path) {
        return fmt::format("899: No valid RT license / API-token found. Place your new license in '{}'.",
                           path.string());
    }

    fs::path appData_;
    std::optional<std::string> savedAppData_;
    std::shared_ptr<HeadlessBackend> backend_;
    WindowHandle window_ = WindowHandle::None;
};

TEST_F(RtCredential, TheApplicationsFileWinsIsOnlyReadAndAnUnusableOneIsPassedOver) {
    writeAppFile(licenseJson("ABCD-1234-EFGH"));
    writeFile(rtLicenseFile, licenseJson("RT_UPPERCASE-IS-A-LICENSE"));
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, "ABCD-1234-EFGH");
    EXPECT_TRUE(logHas(fmt::format("Your RealTraffic license was taken from '{}'", appFile().string())));
    EXPECT_EQ(readFile(appFile()), licenseJson("ABCD-1234-EFGH"));

    writeAppFile("not json at all");
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, "RT_UPPERCASE-IS-A-LICENSE");
    EXPECT_TRUE(logHas("Your RealTraffic license was taken from 'RealTraffic.lic'"));
    EXPECT_TRUE(backend_->entryDialogs().empty());
}

TEST_F(RtCredential, NoFileAtAllCreatesThePlaceholderAndTheDialogFillsItWithAtMostSixtyCharacters) {
    const std::string longToken = "rt_" + std::string(67, 'x');
    backend_->scriptEntryAnswer(longToken);
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, longToken.substr(0, 60));
    EXPECT_EQ(readFile(rtLicenseFile), fmt::format(R"({{"License":"{}","Name":"unknown"}})", longToken.substr(0, 60)));
    EXPECT_TRUE(logHas("Your RealTraffic API-token was taken from 'RealTraffic.lic'"));

    const auto dialogs = backend_->entryDialogs();
    ASSERT_EQ(dialogs.size(), 1U);
    EXPECT_EQ(dialogs[0].owner, window_);
    EXPECT_TRUE(dialogs[0].ownerWasDisabled);
    EXPECT_TRUE(backend_->isWindowEnabled(window_)) << "the owner is enabled again afterwards";
    EXPECT_FALSE(fs::exists(appFile())) << "the application's file is never created";
}

TEST_F(RtCredential, CancelOrAnEmptyAnswerNamesTheFileWhereTheProgramLooks) {
    // Nothing scripted: the dialog is cancelled; the placeholder stays for the user to fill.
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
    backend_->scriptEntryAnswer(std::string());
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(backend_->entryDialogs().size(), 2U);

    // With the application's placeholder present the search goes on to the
    // own file, but the message names the application's file.
    writeAppFile(licenseJson("fill in your license here"));
    EXPECT_EQ(expectNoCredential(), noCredentialText(appFile()));
    EXPECT_EQ(readFile(appFile()), licenseJson("fill in your license here"));
}

TEST_F(RtCredential, EitherPlaceholderInTheOwnFileOpensTheDialog) {
    for (const std::string_view placeholder : {rtLicensePlaceholder, rtApiTokenPlaceholder}) {
        writeFile(rtLicenseFile, licenseJson(placeholder));
        backend_->clearRecords();
        backend_->scriptEntryAnswer("  spaced licence  ");
        gf_getRTLicense();
        EXPECT_EQ(backend_->entryDialogs().size(), 1U) << placeholder;
        EXPECT_EQ(g_rtCredential, "  spaced licence  ") << "used as entered, spaces and all";
        EXPECT_EQ(readFile(rtLicenseFile), R"({"License":"  spaced licence  ","Name":"unknown"})");
    }
    EXPECT_FALSE(gf_isRTCredentialMissing("fill in your license here "));
    EXPECT_FALSE(gf_isRTCredentialMissing("Fill in your license here"));
}

TEST_F(RtCredential, AnOwnFileThatCannotBeWrittenIsNeverUsed) {
    ScopedOsFaultHook failReplace([](OsOperation operation, const fs::path&, const fs::path&) {
        return operation == OsOperation::replace ? std::make_error_code(std::errc::io_error) : std::error_code{};
    });
    // It cannot be created: the search ends without a dialog.
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_TRUE(backend_->entryDialogs().empty());
    EXPECT_FALSE(fs::exists(rtLicenseFile));
    // The entered text cannot be stored: it is not used.
    writeFile(rtLicenseFile, placeholderFile);
    backend_->scriptEntryAnswer("rt_entered");
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
}

TEST_F(RtCredential, TokenOrLicenceIsJudgedByACaseSensitivePrefix) {
    for (const auto& [credential, token] : {std::pair{"rt_1", true}, {"rt_", true}, {"rt", false},
                                            {"RT_1", false}, {"Rt_1", false}, {"xrt_1", false}}) {
        EXPECT_EQ(gf_isRTApiToken(credential), token) << credential;
        writeFile(rtLicenseFile, licenseJson(credential));
        gf_getRTLicense();
        EXPECT_EQ(g_rtCredential, credential);
        EXPECT_NE(newLogLines().find(fmt::format("Your RealTraffic {} was taken from 'RealTraffic.lic'\n",
                                                 token ? "API-token" : "license")),
                  std::string::npos)
            << credential;
    }
}

// --- reading and writing the file -------------------------------------------

using RtLicenseFile = RtCredential;

TEST_F(RtLicenseFile, AcceptsMultiLineBomAndBareLineFeedFiles) {
    const std::pair<std::string, std::string> cases[] = {
        {R"({"License":"L-1"})", "L-1"},
        {"{\r\n  \"Name\": \"x\",\r\n  \"License\": \"L-2\"\r\n}\r\n", "L-2"},
        {"{\n\"License\"\n:\n\"L-3\"\n}\n", "L-3"},
        {"\xEF\xBB\xBF{\"License\":\"L-4\"}", "L-4"},
        {"\xEF\xBB\xBF{\r\n\"License\":\"L-5\"}\r\n", "L-5"},
        {R"({"License":"  L-6 "})", "  L-6 "},
        {R"({"License":"a\"b\\c\u00fc"})", "a\"b\\c\xC3\xBC"},
    };
    for (const auto& [bytes, expected] : cases) {
        writeFile("case.lic", bytes);
        EXPECT_EQ(gf_readRTLicenseFile("case.lic"), expected) << bytes;
    }
}

TEST_F(RtLicenseFile, EveryUnusableFileGivesNothingAndOneLogLine) {
    const std::string invalid = "No license found in '{}'. Problem: Missing or invalid 'License' field";
    const std::pair<std::optional<std::string>, std::string> cases[] = {
        {std::nullopt, "Could not open '{}'."},  // no file at all
        {std::string(), "No license found in '{}'. File is empty."},
        {R"(["License","x"])", "No license found in '{}'. Problem: JSON root is not an object"},
        {R"({"Name":"x"})", invalid},
        {R"({"License":12345})", invalid},
        {R"({"License":null})", invalid},
        {R"({"license":"x"})", invalid},
        {R"({"License":""})", "No license found in '{}'. Problem: Empty 'License' value"},
        // A lone line feed is one empty line: nothing to parse.
        {"\n", "No license found in '{}'. Problem: [json.exception.parse_error"},
        {"{\"License\":\"x\"", "No license found in '{}'. Problem: [json.exception.parse_error"},
    };
    int index = 0;
    for (const auto& [bytes, line] : cases) {
        const fs::path path = fmt::format("bad{}.lic", index++);
        if (bytes) writeFile(path, *bytes);
        EXPECT_EQ(gf_readRTLicenseFile(path), "") << path;
        EXPECT_NE(newLogLines().find(fmt::format(fmt::runtime(line), path.string())), std::string::npos) << path;
    }
}

TEST_F(RtLicenseFile, WritesTheCompactTwoMemberObjectAndRefusesWhatIsNotUtf8) {
    ASSERT_TRUE(gf_writeRTLicenseFile(""));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
    const std::string awkward = "k\xC3\xBC\"\\/\tend";  // non-ASCII, quote, backslash, tab
    ASSERT_TRUE(gf_writeRTLicenseFile(awkward));
    EXPECT_EQ(readFile(rtLicenseFile), "{\"License\":\"k\xC3\xBC\\\"\\\\/\\tend\",\"Name\":\"unknown\"}");
    EXPECT_EQ(gf_readRTLicenseFile(rtLicenseFile), awkward);
    EXPECT_FALSE(gf_writeRTLicenseFile("bad\xFF"));
    EXPECT_EQ(gf_readRTLicenseFile(rtLicenseFile), awkward) << "the old file stays";
}

}  // namespace
