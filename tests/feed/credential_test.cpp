// The RealTraffic credential: where it is looked for, the entry dialog, the
// program's own RealTraffic.lic, and every way a file can fail to hold one.

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>

#include <fmt/format.h>
#include <gtest/gtest.h>

#include "app/shell.h"
#include "feed/credential.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "platform/os/os.h"
#include "platform/window/headless.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;

std::string readFile(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

void writeFile(const fs::path& path, std::string_view bytes) {
    fs::create_directories(path.parent_path().empty() ? fs::path(".") : path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string licenseJson(std::string_view value) {
    return fmt::format(R"({{"License":"{}","Name":"someone"}})", value);
}

const std::string placeholderFile = R"({"License":"fill in your API-token here","Name":"unknown"})";

// A fresh working folder, a roaming AppData folder of its own, the log open
// in the working folder, and a headless window with a main window whose
// entry dialog answers from a script.
class RtCredential : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        if (const char* old = std::getenv("TAVO_APPDATA_DIR")) {
            savedAppData_ = old;
        }
        appData_ = dir() / "roaming";
        fs::create_directories(appData_);
        setenv("TAVO_APPDATA_DIR", appData_.c_str(), 1);
        gf_openLogFile();

        backend_ = std::make_shared<HeadlessBackend>();
        gf_installWindowBackend(backend_);
        MainWindowSpec spec;
        spec.title = "TAVO";
        spec.width = 900;
        spec.height = 700;
        spec.proc = [](WindowHandle, std::uint32_t, std::uint64_t, std::int64_t) -> std::int64_t { return 0; };
        spec.paint = [](WindowHandle, Painter&) {};
        window_ = backend_->createMainWindow(spec);
        g_mainWindow = window_;
        g_rtCredential = "left over from an earlier run";
    }
    void TearDown() override {
        g_mainWindow = WindowHandle::None;
        gf_installWindowBackend(nullptr);
        gf_logger().close();
        if (savedAppData_) {
            setenv("TAVO_APPDATA_DIR", savedAppData_->c_str(), 1);
        } else {
            unsetenv("TAVO_APPDATA_DIR");
        }
        TempWorkDirTest::TearDown();
    }

    fs::path appFile() const { return appData_ / "InsideSystems" / "RealTraffic.lic"; }
    std::string log() {
        gf_flushLog();
        return readFile(dir() / "Log.txt");
    }
    bool logHas(std::string_view line) {
        return log().find(std::string(line) + "\n") != std::string::npos;
    }
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

TEST_F(RtCredential, TheApplicationsFileWinsAndTheOwnFileIsLeftAlone) {
    writeFile(appFile(), licenseJson("ABCD-1234-EFGH"));
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, "ABCD-1234-EFGH");
    EXPECT_FALSE(fs::exists(rtLicenseFile));
    EXPECT_TRUE(backend_->entryDialogs().empty());
    EXPECT_TRUE(logHas(fmt::format("Your RealTraffic license was taken from '{}'", appFile().string())));
    EXPECT_EQ(readFile(appFile()), licenseJson("ABCD-1234-EFGH")) << "only read, never written";
}

TEST_F(RtCredential, NoFileAtAllCreatesThePlaceholderAndTheDialogFillsIt) {
    backend_->scriptEntryAnswer("rt_0123456789abcdef");
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, "rt_0123456789abcdef");
    EXPECT_EQ(readFile(rtLicenseFile), R"({"License":"rt_0123456789abcdef","Name":"unknown"})");
    EXPECT_TRUE(logHas("Your RealTraffic API-token was taken from 'RealTraffic.lic'"));

    const auto dialogs = backend_->entryDialogs();
    ASSERT_EQ(dialogs.size(), 1U);
    EXPECT_EQ(dialogs[0].owner, window_);
    EXPECT_TRUE(dialogs[0].ownerWasDisabled);
    EXPECT_EQ(dialogs[0].spec.title, "RealTraffic license");
    EXPECT_EQ(dialogs[0].spec.label, "License / token:");
    EXPECT_EQ(dialogs[0].spec.textLimit, 60U);
    EXPECT_TRUE(backend_->isWindowEnabled(window_)) << "the owner is enabled again afterwards";
    EXPECT_FALSE(fs::exists(appFile())) << "the application's file is never created";
}

TEST_F(RtCredential, TheDialogTakesAtMostSixtyCharacters) {
    const std::string longToken = "rt_" + std::string(67, 'x');
    backend_->scriptEntryAnswer(longToken);
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, longToken.substr(0, 60));
    EXPECT_EQ(readFile(rtLicenseFile),
              fmt::format(R"({{"License":"{}","Name":"unknown"}})", longToken.substr(0, 60)));
}

TEST_F(RtCredential, CancelledDialogNamesTheOwnFileWhereTheProgramLooks) {
    // Nothing scripted: the dialog is cancelled.
    const std::string text = expectNoCredential();
    EXPECT_EQ(text, noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile) << "the placeholder file stays for the user to fill";
    EXPECT_EQ(backend_->entryDialogs().size(), 1U);
}

TEST_F(RtCredential, OkOnAnEmptyFieldCountsAsCancel) {
    backend_->scriptEntryAnswer(std::string());
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
}

TEST_F(RtCredential, CancelledDialogNamesTheApplicationsFileWhenItExists) {
    writeFile(appFile(), licenseJson("fill in your license here"));
    EXPECT_EQ(expectNoCredential(), noCredentialText(appFile()));
    EXPECT_EQ(readFile(appFile()), licenseJson("fill in your license here"));
    // The application's placeholder sends the search on to the own file.
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
    EXPECT_EQ(backend_->entryDialogs().size(), 1U);
}

TEST_F(RtCredential, UnusableApplicationsFileFallsBackToAUsableOwnFile) {
    writeFile(appFile(), "not json at all");
    writeFile(rtLicenseFile, licenseJson("RT_UPPERCASE-IS-A-LICENSE"));
    gf_getRTLicense();
    EXPECT_EQ(g_rtCredential, "RT_UPPERCASE-IS-A-LICENSE");
    EXPECT_TRUE(backend_->entryDialogs().empty());
    EXPECT_TRUE(logHas("Your RealTraffic license was taken from 'RealTraffic.lic'"));
    EXPECT_EQ(readFile(rtLicenseFile), licenseJson("RT_UPPERCASE-IS-A-LICENSE")) << "not rewritten";
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
}

TEST_F(RtCredential, AnEnteredTextThatCannotBeStoredIsNotUsed) {
    writeFile(rtLicenseFile, placeholderFile);
    backend_->scriptEntryAnswer("rt_entered");
    ScopedOsFaultHook failReplace([](OsOperation operation, const fs::path&, const fs::path&) {
        return operation == OsOperation::replace ? std::make_error_code(std::errc::io_error)
                                                 : std::error_code{};
    });
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);
}

TEST_F(RtCredential, AnOwnFileThatCannotBeCreatedEndsTheSearchWithoutADialog) {
    ScopedOsFaultHook failReplace([](OsOperation operation, const fs::path&, const fs::path&) {
        return operation == OsOperation::replace ? std::make_error_code(std::errc::io_error)
                                                 : std::error_code{};
    });
    EXPECT_EQ(expectNoCredential(), noCredentialText(fs::absolute(rtLicenseFile)));
    EXPECT_TRUE(backend_->entryDialogs().empty());
    EXPECT_FALSE(fs::exists(rtLicenseFile));
}

TEST_F(RtCredential, TokenOrLicenceIsJudgedByACaseSensitivePrefix) {
    struct Case {
        std::string credential;
        bool token;
    };
    for (const Case& c : {Case{"rt_1", true}, Case{"rt_", true}, Case{"rt", false}, Case{"RT_1", false},
                          Case{"Rt_1", false}, Case{"xrt_1", false}}) {
        EXPECT_EQ(gf_isRTApiToken(c.credential), c.token) << c.credential;
        writeFile(rtLicenseFile, licenseJson(c.credential));
        gf_getRTLicense();
        EXPECT_EQ(g_rtCredential, c.credential);
        const std::string kind = c.token ? "API-token" : "license";
        EXPECT_TRUE(logHas(fmt::format("Your RealTraffic {} was taken from 'RealTraffic.lic'", kind)))
            << c.credential;
        gf_openLogFile();  // a fresh log for the next case
    }
}

TEST_F(RtCredential, PlaceholdersMatchOnlyExactly) {
    EXPECT_TRUE(gf_isRTCredentialMissing(""));
    EXPECT_TRUE(gf_isRTCredentialMissing("fill in your license here"));
    EXPECT_TRUE(gf_isRTCredentialMissing("fill in your API-token here"));
    EXPECT_FALSE(gf_isRTCredentialMissing("fill in your license here "));
    EXPECT_FALSE(gf_isRTCredentialMissing("Fill in your license here"));
    EXPECT_FALSE(gf_isRTCredentialMissing("fill in your API-token"));
}

// --- reading and writing the file -------------------------------------------

class RtLicenseFile : public RtCredential {};

TEST_F(RtLicenseFile, AcceptsMultiLineBomAndBareLineFeedFiles) {
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected;
    };
    const Case cases[] = {
        {"one line", R"({"License":"L-1"})", "L-1"},
        {"CRLF lines", "{\r\n  \"Name\": \"x\",\r\n  \"License\": \"L-2\"\r\n}\r\n", "L-2"},
        {"LF lines", "{\n\"License\"\n:\n\"L-3\"\n}\n", "L-3"},
        {"BOM", "\xEF\xBB\xBF{\"License\":\"L-4\"}", "L-4"},
        {"BOM and lines", "\xEF\xBB\xBF{\r\n\"License\":\"L-5\"}\r\n", "L-5"},
        {"spaces kept", R"({"License":"  L-6 "})", "  L-6 "},
        {"escapes", R"({"License":"a\"b\\c\u00fc"})", "a\"b\\c\xC3\xBC"},
    };
    for (const Case& c : cases) {
        writeFile("case.lic", c.bytes);
        EXPECT_EQ(gf_readRTLicenseFile("case.lic"), c.expected) << c.name;
    }
}

TEST_F(RtLicenseFile, EveryUnusableFileGivesNothingAndOneLogLine) {
    struct Case {
        const char* name;
        std::optional<std::string> bytes;  // nothing: the file does not exist
        std::string line;                  // "{}" stands for the path
    };
    const Case cases[] = {
        {"missing", std::nullopt, "Could not open '{}'."},
        {"empty", std::string(), "No license found in '{}'. File is empty."},
        {"array", R"(["License","x"])", "No license found in '{}'. Problem: JSON root is not an object"},
        {"number root", "42", "No license found in '{}'. Problem: JSON root is not an object"},
        {"no member", R"({"Name":"x"})",
         "No license found in '{}'. Problem: Missing or invalid 'License' field"},
        {"number", R"({"License":12345})",
         "No license found in '{}'. Problem: Missing or invalid 'License' field"},
        {"null", R"({"License":null})",
         "No license found in '{}'. Problem: Missing or invalid 'License' field"},
        {"empty value", R"({"License":""})", "No license found in '{}'. Problem: Empty 'License' value"},
        {"case of key", R"({"license":"x"})",
         "No license found in '{}'. Problem: Missing or invalid 'License' field"},
    };
    int index = 0;
    for (const Case& c : cases) {
        const fs::path path = fmt::format("bad{}.lic", index++);
        if (c.bytes) {
            writeFile(path, *c.bytes);
        }
        EXPECT_EQ(gf_readRTLicenseFile(path), "") << c.name;
        const std::string expected = fmt::format(fmt::runtime(c.line), path.string());
        EXPECT_TRUE(logHas(expected)) << c.name << ": " << expected;
    }
}

TEST_F(RtLicenseFile, ParseErrorsAreLoggedWithTheParsersText) {
    // A lone line feed is one empty line: nothing to parse.
    for (const std::string& bytes : {std::string("\n"), std::string("{\"License\":\"x\""),
                                    std::string("License=abc")}) {
        writeFile("broken.lic", bytes);
        EXPECT_EQ(gf_readRTLicenseFile("broken.lic"), "");
        const std::string text = log();
        const std::string prefix = "No license found in 'broken.lic'. Problem: [json.exception.parse_error";
        EXPECT_NE(text.find(prefix), std::string::npos) << text;
        gf_openLogFile();
    }
}

TEST_F(RtLicenseFile, WritesTheCompactTwoMemberObjectAndReadsItBack) {
    ASSERT_TRUE(gf_writeRTLicenseFile(""));
    EXPECT_EQ(readFile(rtLicenseFile), placeholderFile);

    const std::string awkward = "k\xC3\xBC\"\\/\tend";  // non-ASCII, quote, backslash, tab
    ASSERT_TRUE(gf_writeRTLicenseFile(awkward));
    EXPECT_EQ(readFile(rtLicenseFile), "{\"License\":\"k\xC3\xBC\\\"\\\\/\\tend\",\"Name\":\"unknown\"}");
    EXPECT_EQ(gf_readRTLicenseFile(rtLicenseFile), awkward);
}

TEST_F(RtLicenseFile, ACredentialThatIsNotUtf8IsRefusedAndTheOldFileStays) {
    ASSERT_TRUE(gf_writeRTLicenseFile("good"));
    EXPECT_FALSE(gf_writeRTLicenseFile("bad\xFF"));
    EXPECT_EQ(gf_readRTLicenseFile(rtLicenseFile), "good");
}

}  // namespace
