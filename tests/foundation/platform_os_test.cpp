#include <cstdlib>
#include <map>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <optional>
#include <sstream>
#include <string>

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "foundation/files.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"

namespace {

namespace fs = std::filesystem;
using ::testing::ElementsAre;

void writeBytes(const fs::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string readBytes(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream out;
    out << in.rdbuf();
    return out.str();
}

// Sets (or, with nullopt, unsets) environment variables for one test and
// puts the previous values back afterwards.
class ScopedEnv {
public:
    void set(const char* name, std::optional<std::string> value) {
        if (!saved_.contains(name)) {
            const char* old = std::getenv(name);
            saved_[name] = old ? std::optional<std::string>(old) : std::nullopt;
        }
        if (value) ::setenv(name, value->c_str(), 1);
        else ::unsetenv(name);
    }
    ~ScopedEnv() {
        for (const auto& [name, value] : saved_) {
            if (value) ::setenv(name.c_str(), value->c_str(), 1);
            else ::unsetenv(name.c_str());
        }
    }

private:
    std::map<std::string, std::optional<std::string>> saved_;
};

TEST(KnownFolders, OwnVariableThenXdgThenHome) {
    ScopedEnv env;
    env.set("TAVO_APPDATA_DIR", "/own/roaming");
    env.set("TAVO_LOCALAPPDATA_DIR", "/own/local");
    env.set("XDG_CONFIG_HOME", "/xdg/config");
    env.set("XDG_DATA_HOME", "/xdg/data");
    env.set("HOME", "/home/pilot");
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::roamingAppData), fs::path("/own/roaming"));
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::localAppData), fs::path("/own/local"));
    env.set("TAVO_APPDATA_DIR", "");  // empty counts as unset
    env.set("TAVO_LOCALAPPDATA_DIR", std::nullopt);
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::roamingAppData), fs::path("/xdg/config"));
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::localAppData), fs::path("/xdg/data"));
    env.set("XDG_CONFIG_HOME", std::nullopt);
    env.set("XDG_DATA_HOME", "");
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::roamingAppData), fs::path("/home/pilot/.config"));
    EXPECT_EQ(gf_osKnownFolder(KnownFolder::localAppData), fs::path("/home/pilot/.local/share"));
    EXPECT_EQ(gf_getAppDataPath(), fs::path("/home/pilot/.config"));
    EXPECT_EQ(gf_getLocalAppDataPath(), fs::path("/home/pilot/.local/share"));
    EXPECT_EQ(gf_getKnownFolderPath(KnownFolder::localAppData), fs::path("/home/pilot/.local/share"));
}

using OsFilesTest = tavo::test::TempWorkDirTest;

TEST_F(OsFilesTest, ReplaceFileContentLeavesNoTemporaryFile) {
    ASSERT_FALSE(gf_osReplaceFileContent("f.bin", std::string("a\0b", 3)));
    EXPECT_EQ(readBytes("f.bin"), std::string("a\0b", 3));
    ASSERT_FALSE(gf_osReplaceFileContent("f.bin", "second"));
    EXPECT_EQ(readBytes("f.bin"), "second");
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
    // Failing: the target is a folder; the temporary file is cleaned up.
    fs::create_directory("folder");
    EXPECT_TRUE(gf_osReplaceFileContent("folder", "x"));
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 2);
}

TEST_F(OsFilesTest, CopyAndRemove) {
    writeBytes("src", "data");
    writeBytes("dst", "old");
    EXPECT_FALSE(gf_osCopyFile("src", "dst"));
    EXPECT_EQ(readBytes("dst"), "data");
    EXPECT_EQ(readBytes("src"), "data");
    EXPECT_TRUE(gf_osCopyFile("absent", "dst"));
    EXPECT_EQ(readBytes("dst"), "data");
    EXPECT_FALSE(gf_osRemoveFile("src"));
    EXPECT_FALSE(fs::exists("src"));
    EXPECT_FALSE(gf_osRemoveFile("src"));  // already gone: no error
    EXPECT_EQ(std::distance(fs::directory_iterator("."), fs::directory_iterator()), 1);
}

TEST_F(OsFilesTest, MoveWithAndWithoutWriteThrough) {
    writeBytes("a", "1");
    EXPECT_FALSE(gf_osMoveFile("a", "b", true));
    EXPECT_EQ(readBytes("b"), "1");
    EXPECT_FALSE(gf_osMoveFile("b", "c", false));
    EXPECT_EQ(readBytes("c"), "1");
    EXPECT_EQ(gf_osMoveFile("absent", "c", true), std::errc::no_such_file_or_directory);
    EXPECT_EQ(readBytes("c"), "1");
}

TEST_F(OsFilesTest, MoveAcrossFileSystemsCopies) {
    const fs::path other = "/dev/shm";
    struct stat here {}, there {};
    if (::stat(".", &here) != 0 || ::stat(other.c_str(), &there) != 0 || here.st_dev == there.st_dev) {
        GTEST_SKIP() << "no second file system to move across";
    }
    tavo::test::ScopedTempDir unused;  // keeps names unique across runs
    const fs::path source = other / ("tavo-move-" + std::to_string(::getpid()));
    writeBytes(source, "across");
    writeBytes("target", "old");
    EXPECT_FALSE(gf_osMoveFile(source, "target", true));
    EXPECT_FALSE(fs::exists(source));
    EXPECT_EQ(readBytes("target"), "across");
}

TEST_F(OsFilesTest, FaultHookSeesEveryOperationWithItsPaths) {
    std::vector<std::string> seen;
    ScopedOsLaunchRecorder recorder;
    {
        ScopedOsFaultHook hook([&seen](OsOperation op, const fs::path& from, const fs::path& to) {
            seen.push_back(std::to_string(static_cast<int>(op)) + ":" + from.string() + ">" + to.string());
            return std::make_error_code(std::errc::io_error);
        });
        writeBytes("x", "1");
        EXPECT_EQ(gf_osMoveFile("x", "y", true), std::errc::io_error);
        EXPECT_EQ(gf_osCopyFile("x", "y"), std::errc::io_error);
        EXPECT_EQ(gf_osRemoveFile("x"), std::errc::io_error);
        EXPECT_EQ(gf_osReplaceFileContent("x", "2"), std::errc::io_error);
        EXPECT_FALSE(gf_osOpenInFileManager("folder"));
    }
    EXPECT_THAT(seen, ElementsAre("0:x>y", "1:x>y", "2:x>", "3:x>", "4:folder>"));
    EXPECT_EQ(readBytes("x"), "1");  // nothing was done
    EXPECT_FALSE(fs::exists("y"));
    EXPECT_TRUE(recorder.launches().empty());
    // Without the hook everything works again.
    EXPECT_FALSE(gf_osRemoveFile("x"));
    EXPECT_FALSE(fs::exists("x"));
}

TEST(OpenInFileManager, RecordsInsteadOfStarting) {
    ScopedOsLaunchRecorder recorder;
    EXPECT_TRUE(gf_osOpenInFileManager("/some/folder"));
    EXPECT_THAT(recorder.launches(), ElementsAre(ElementsAre("xdg-open", "/some/folder")));
}

TEST(OpenInFileManager, DefaultLauncherReportsWhetherTheProgramStarted) {
    // The real launcher, on programs that end at once, with no file manager
    // involved: a program that exists starts; one that does not is reported.
    ScopedEnv env;
    const fs::path bin = tavo::test::ScopedTempDir().path();  // removed at once: an empty PATH entry
    tavo::test::ScopedTempDir tools;
    const fs::path fake = tools.path() / "xdg-open";
    writeBytes(fake, "#!/bin/sh\nexit 0\n");
    fs::permissions(fake, fs::perms::owner_all);
    env.set("PATH", tools.path().string());
    EXPECT_TRUE(gf_osOpenInFileManager("/tmp"));
    env.set("PATH", bin.string());
    EXPECT_FALSE(gf_osOpenInFileManager("/tmp"));
}

}  // namespace
