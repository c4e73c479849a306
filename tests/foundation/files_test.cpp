#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "platform/os/os.h"
#include "settings/snapshot.h"
#include "support/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
namespace fs = std::filesystem;

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

std::string invalidMessage(std::string_view text) {
    try {
        IcaoCode code(text);
    } catch (const std::invalid_argument& e) {
        return e.what();
    }
    return "accepted";
}

// A fault hook that fails the listed operations with "permission denied".
OsFaultHook failing(std::vector<OsOperation> ops) {
    return [ops](OsOperation op, const fs::path&, const fs::path&) {
        return std::find(ops.begin(), ops.end(), op) != ops.end()
                   ? std::make_error_code(std::errc::permission_denied)
                   : std::error_code{};
    };
}

// File tests run with the log open in their folder, so the lines the
// operations log can be checked.
class FilesTest : public tavo::test::TempWorkDirTest {
protected:
    void SetUp() override {
        TempWorkDirTest::SetUp();
        gf_openLogFile();
    }
    void TearDown() override {
        gf_logger().close();
        TempWorkDirTest::TearDown();
    }
    std::string logText() {
        gf_flushLog();
        return readBytes("Log.txt");
    }
};

TEST(IcaoCode, PacksUpperCasedCharacters) {
    const IcaoCode lower("eddf");
    const IcaoCode upper("EDDF");
    EXPECT_EQ(lower.packed, upper.packed);
    EXPECT_EQ(lower.packed, (std::uint32_t{'E'} << 24) | (std::uint32_t{'D'} << 16) | (std::uint32_t{'D'} << 8) | 'F');
    EXPECT_EQ(lower.text(), "EDDF");
    EXPECT_EQ(fmt::format("{}", lower), "EDDF");
    EXPECT_EQ(lower, upper);
    EXPECT_EQ(IcaoCode("0A1B").text(), "0A1B");
    const IcaoCode none;
    EXPECT_TRUE(none.isNone());
    EXPECT_EQ(none.packed, 0u);
    EXPECT_EQ(none.text(), "");
}

TEST(IcaoCode, RejectsWithTheTextAsGiven) {
    EXPECT_EQ(invalidMessage("ED-F"), "'ED-F' IcaoCode: invalid string");
    EXPECT_EQ(invalidMessage("EDD"), "'EDD' IcaoCode: invalid string");
    EXPECT_EQ(invalidMessage("EDDFX"), "'EDDFX' IcaoCode: invalid string");
    EXPECT_EQ(invalidMessage(""), "'' IcaoCode: invalid string");
    EXPECT_EQ(invalidMessage("edd "), "'edd ' IcaoCode: invalid string");
    EXPECT_EQ(invalidMessage("ED\xC3\x9F"), "'ED\xC3\x9F' IcaoCode: invalid string");  // not ASCII
}

TEST(IcaoCode, NumericOrderIsAlphabeticalOrder) {
    EXPECT_LT(IcaoCode("0AAA").packed, IcaoCode("9ZZZ").packed);
    EXPECT_LT(IcaoCode("9ZZZ").packed, IcaoCode("AAAA").packed);
    std::vector<std::string> texts{"LFPG", "EDDM", "0A1B", "EDDF", "KJFK", "A000", "ZZZZ", "EDD9"};
    std::vector<IcaoCode> codes;
    for (const auto& t : texts) codes.emplace_back(t);
    std::sort(texts.begin(), texts.end());
    std::sort(codes.begin(), codes.end());
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(codes[i].text(), texts[i]);
    EXPECT_LT(IcaoCode(), IcaoCode("0000"));  // "none" sorts first
}

TEST(FolderConstants, RelativeNamesAndJoinedPaths) {
    EXPECT_EQ(stockDir, "stock");
    EXPECT_EQ(simaddonDir, "simaddon");
    EXPECT_EQ(thirdpartyDir, "thirdparty");
    EXPECT_EQ(archiveDir, "archive");
    EXPECT_EQ(airportsDir, "airports");
    EXPECT_EQ(inputDir, "input");
    EXPECT_EQ(outputDir, "output");
    EXPECT_EQ(docsDir, "docs");
    EXPECT_EQ(insideSystemsDir, "InsideSystems");
    EXPECT_EQ(newVersionDir, "new_version");
    EXPECT_EQ(tbloDir, "tblo");
    EXPECT_EQ(tbloZipFile, "tblo.zip");
    EXPECT_EQ(outputInfoDir, "output/info");
    EXPECT_EQ(outputErrorsDir, "output/errors");
    EXPECT_EQ(parkAirportFile, "airports/park_airport.xml");
    EXPECT_EQ(myRegcodesPath, "input/my_regcodes");
    EXPECT_EQ(objectIdListFile, "output/info/ObjectIdList.txt");
    EXPECT_EQ(learnedAirportsDir, "airports/learned");
    EXPECT_EQ(learnedStockDir, "airports/learned/stock");
    EXPECT_EQ(learnedSimaddonDir, "airports/learned/simaddon");
    EXPECT_EQ(learnedThirdpartyDir, "airports/learned/thirdparty");
    EXPECT_EQ(mySimaddonDir, "airports/my_simaddon");
    EXPECT_EQ(myThirdpartyDir, "airports/my_thirdparty");
    EXPECT_EQ(liveriesScanned2020File, "output/LiveriesScanned_MSFS2020.xml");
    EXPECT_EQ(liveriesScanned2024File, "output/LiveriesScanned_MSFS2024.xml");
    EXPECT_EQ(dbaseEncFile, "input/dbase.enc");
    EXPECT_EQ(dbaseXmlFile, "input/dbase.xml");
    EXPECT_EQ(regcodesEncFile, "input/AIG-regcodes.enc");
    EXPECT_EQ(airportsXmlFile, "input/airports.xml");
    EXPECT_EQ(archivesEncFile, "input/archives.enc");
    EXPECT_EQ(wktrafficXmlFile, "input/wktraffic.xml");
    EXPECT_EQ(wktrafficEncName, "wktraffic.enc");
    EXPECT_EQ(regcodesXmlName, "AIG-regcodes.xml");
    for (const fs::path* p : {&stockDir, &parkAirportFile, &liveriesScanned2024File, &wktrafficEncFile}) {
        EXPECT_TRUE(p->is_relative()) << *p;
    }
}

TEST(FolderConstants, ScannedLiveriesFileFollowsTheStartupChoice) {
    const auto saved = startupChoice.load();
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{1, 0}));
    EXPECT_EQ(gf_liveriesScannedFilePath(), "output/LiveriesScanned_MSFS2020.xml");
    startupChoice.store(std::make_shared<const StartupChoice>(StartupChoice{2, 1}));
    EXPECT_EQ(gf_liveriesScannedFilePath(), "output/LiveriesScanned_MSFS2024.xml");
    startupChoice.store(saved);
}

TEST_F(FilesTest, Save1GenerationKeepsOnePreviousFile) {
    EXPECT_TRUE(gf_save1GenerationOf("absent.xml"));
    EXPECT_FALSE(fs::exists("absent0.xml"));
    writeBytes("data.xml", "one");
    EXPECT_TRUE(gf_save1GenerationOf("data.xml"));
    EXPECT_EQ(readBytes("data0.xml"), "one");
    writeBytes("data.xml", "two");
    EXPECT_TRUE(gf_save1GenerationOf("data.xml"));
    EXPECT_EQ(readBytes("data0.xml"), "two");
    EXPECT_EQ(readBytes("data.xml"), "two");

    EXPECT_FALSE(gf_save1GenerationOf("Log"));
    EXPECT_THAT(logText(), HasSubstr("==> gf_save1GenerationOf: no extension in filename: Log\n"));
}

TEST_F(FilesTest, Save1GenerationFailureKeepsTheOldGeneration) {
    writeBytes("data.xml", "new");
    writeBytes("data0.xml", "old");
    ScopedOsFaultHook fault(failing({OsOperation::copy}));
    EXPECT_FALSE(gf_save1GenerationOf("data.xml"));
    EXPECT_EQ(readBytes("data0.xml"), "old");
    EXPECT_THAT(logText(), HasSubstr("==> copy data.xml -> data0.xml failed: Permission denied\n"));
}

TEST_F(FilesTest, MoveFileReplacesAnExistingTarget) {
    writeBytes("a.txt", "new");
    writeBytes("b.txt", "old");
    EXPECT_TRUE(gf_moveFile("a.txt", "b.txt"));
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_EQ(readBytes("b.txt"), "new");
}

TEST_F(FilesTest, MoveFileFallsBackToCopyAndRemove) {
    writeBytes("a.txt", "new");
    writeBytes("b.txt", "old");
    ScopedOsFaultHook fault(failing({OsOperation::move}));
    EXPECT_TRUE(gf_moveFile("a.txt", "b.txt"));
    EXPECT_FALSE(fs::exists("a.txt"));
    EXPECT_EQ(readBytes("b.txt"), "new");
}

TEST_F(FilesTest, MoveFileFailureLeavesBothFilesIntact) {
    writeBytes("a.txt", "new");
    writeBytes("b.txt", "old");
    {
        ScopedOsFaultHook fault(failing({OsOperation::move, OsOperation::copy}));
        EXPECT_FALSE(gf_moveFile("a.txt", "b.txt"));
    }
    EXPECT_EQ(readBytes("a.txt"), "new");
    EXPECT_EQ(readBytes("b.txt"), "old");
    EXPECT_THAT(logText(), HasSubstr("==> could not move a.txt => b.txt: Permission denied\n"));
}

TEST_F(FilesTest, MoveFileWithLockedSourceCopiesButReportsFailure) {
    writeBytes("a.txt", "new");
    {
        ScopedOsFaultHook fault(failing({OsOperation::move, OsOperation::remove}));
        EXPECT_FALSE(gf_moveFile("a.txt", "b.txt"));
    }
    EXPECT_EQ(readBytes("a.txt"), "new");
    EXPECT_EQ(readBytes("b.txt"), "new");
    EXPECT_THAT(logText(), HasSubstr("==> could not remove a.txt after copy: Permission denied\n"));
}

TEST_F(FilesTest, MoveOfAMissingFileFails) {
    EXPECT_FALSE(gf_moveFile("absent.txt", "b.txt"));
    EXPECT_FALSE(fs::exists("b.txt"));
    EXPECT_THAT(logText(), HasSubstr("==> could not move absent.txt => b.txt: No such file or directory\n"));
}

TEST_F(FilesTest, RemoveFilesLeavesFoldersAlone) {
    fs::create_directories("d/sub");
    writeBytes("d/one.xml", "1");
    writeBytes("d/two.txt", "2");
    writeBytes("d/sub/three.xml", "3");
    gf_removeFilesFromDirectory("d");
    EXPECT_FALSE(fs::exists("d/one.xml"));
    EXPECT_FALSE(fs::exists("d/two.txt"));
    EXPECT_TRUE(fs::exists("d/sub/three.xml"));
    gf_removeFilesFromDirectory("missing");  // quietly nothing
    gf_removeFilesFromDirectory("d/sub/three.xml");  // not a folder: nothing
    EXPECT_TRUE(fs::exists("d/sub/three.xml"));
}

TEST_F(FilesTest, RemoveFilesLogsEachFailureAndGoesOn) {
    fs::create_directories("d");
    writeBytes("d/a", "1");
    writeBytes("d/b", "2");
    {
        ScopedOsFaultHook fault([](OsOperation op, const fs::path& from, const fs::path&) {
            return op == OsOperation::remove && from.filename() == "a"
                       ? std::make_error_code(std::errc::device_or_resource_busy)
                       : std::error_code{};
        });
        gf_removeFilesFromDirectory("d");
    }
    EXPECT_TRUE(fs::exists("d/a"));
    EXPECT_FALSE(fs::exists("d/b"));
    EXPECT_THAT(logText(), HasSubstr("==> Failed to remove d/a (Device or resource busy)\n"));
}

TEST_F(FilesTest, RemoveXmlFilesOfTheTbloFolder) {
    fs::create_directories("tblo/sub");
    writeBytes("tblo/EDDF.xml", "");
    writeBytes("tblo/LFPG.XML", "");
    writeBytes("tblo/keep.txt", "");
    writeBytes("tblo/sub/x.xml", "");
    gf_removeXMLFilesFromDirectory();
    EXPECT_FALSE(fs::exists("tblo/EDDF.xml"));
    EXPECT_FALSE(fs::exists("tblo/LFPG.XML"));
    EXPECT_TRUE(fs::exists("tblo/keep.txt"));
    EXPECT_TRUE(fs::exists("tblo/sub/x.xml"));
}

TEST_F(FilesTest, ListIcaoFilesSkipsNamesThatAreNoCodes) {
    fs::create_directories("apt/FOLD.xml");
    for (const char* name : {"EDDF.xml", "eddm.XML", "LFPG.txt", "ABC.xml", "notes.xml", "AB-C.xml", "KJ K.xml"}) {
        writeBytes(fs::path("apt") / name, "");
    }
    const auto codes = gf_listIcaoFiles("apt");
    std::vector<std::string> texts;
    for (const auto& c : codes) texts.emplace_back(c.text());
    EXPECT_THAT(texts, UnorderedElementsAre("EDDF", "EDDM"));
    EXPECT_THAT(gf_listIcaoFiles("missing"), IsEmpty());
    EXPECT_THAT(gf_listIcaoFiles("apt/EDDF.xml"), IsEmpty());  // a file, not a folder
}

TEST_F(FilesTest, TempFileGuardRemovesOnlyWhileArmed) {
    writeBytes("t.tmp", "x");
    { TempFileGuard guard("t.tmp"); }
    EXPECT_FALSE(fs::exists("t.tmp"));
    writeBytes("kept.tmp", "x");
    {
        TempFileGuard guard("kept.tmp");
        guard.disarm();
    }
    EXPECT_TRUE(fs::exists("kept.tmp"));
    // Moved away before the guard goes: nothing removed, nothing reported.
    writeBytes("moved.tmp", "x");
    {
        TempFileGuard guard("moved.tmp");
        ASSERT_TRUE(gf_moveFile("moved.tmp", "final.txt"));
    }
    EXPECT_TRUE(fs::exists("final.txt"));
    EXPECT_THAT(logText(), ::testing::Not(HasSubstr("==>")));
}

TEST_F(FilesTest, WriteLinesToFile) {
    ASSERT_TRUE(gf_writeLinesToFile({"a", "", "b c"}, "lines.txt"));
    EXPECT_EQ(readBytes("lines.txt"), "a\n\nb c\n");
    ASSERT_TRUE(gf_writeLinesToFile({}, "lines.txt"));
    EXPECT_EQ(readBytes("lines.txt"), "");
    writeBytes("keep.txt", "old\n");
    {
        ScopedOsFaultHook fault(failing({OsOperation::replace}));
        EXPECT_FALSE(gf_writeLinesToFile({"new"}, "keep.txt"));
    }
    EXPECT_EQ(readBytes("keep.txt"), "old\n");
    EXPECT_FALSE(gf_writeLinesToFile({"x"}, "missing/dir/f.txt"));
    EXPECT_THAT(logText(), HasSubstr("==> could not write keep.txt: Permission denied\n"));
    EXPECT_THAT(logText(), HasSubstr("==> could not write missing/dir/f.txt: No such file or directory\n"));
}

TEST_F(FilesTest, OpenInShellOpensTheParentFolder) {
    ScopedOsLaunchRecorder recorder;
    fs::create_directories("tblo");
    writeBytes("tblo/tblo.zip", "");
    EXPECT_TRUE(gf_openInShell("tblo/tblo.zip"));
    ASSERT_EQ(recorder.launches().size(), 1u);
    EXPECT_THAT(recorder.launches()[0], ElementsAre("xdg-open", (dir() / "tblo").string()));

    EXPECT_FALSE(gf_openInShell("tblo/missing.zip"));  // missing: nothing started
    EXPECT_FALSE(gf_openInShell("Log.txt"));            // no parent folder
    EXPECT_EQ(recorder.launches().size(), 1u);

    recorder.setResult(false);  // the file manager cannot be started
    EXPECT_FALSE(gf_openInShell("tblo/tblo.zip"));
    recorder.setResult(true);
    ScopedOsFaultHook fault(failing({OsOperation::openInFileManager}));
    EXPECT_FALSE(gf_openInShell("tblo/tblo.zip"));
    EXPECT_EQ(recorder.launches().size(), 2u);
}

}  // namespace
