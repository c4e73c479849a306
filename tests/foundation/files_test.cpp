#include <algorithm>
#include <filesystem>
#include <stdexcept>
#include <string>
#include <vector>

#include <fmt/format.h>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "platform/os/os.h"
#include "support/temp_dir.h"

namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using ::testing::UnorderedElementsAre;
using tavo::test::readFile;
using tavo::test::writeFile;
namespace fs = std::filesystem;

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
using FilesTest = tavo::test::LogFileTest;

TEST(IcaoCode, PacksUpperCasedCharacters) {
    const IcaoCode lower("eddf");
    EXPECT_EQ(lower, IcaoCode("EDDF"));
    EXPECT_EQ(lower.packed, (std::uint32_t{'E'} << 24) | (std::uint32_t{'D'} << 16) | (std::uint32_t{'D'} << 8) | 'F');
    EXPECT_EQ(fmt::format("{}", lower), "EDDF");
    EXPECT_TRUE(IcaoCode().isNone());
    EXPECT_EQ(IcaoCode().text(), "");
    for (const char* bad : {"ED-F", "EDD", "EDDFX", "", "edd ", "ED\xC3\x9F"}) {
        try {
            IcaoCode code(bad);
            ADD_FAILURE() << bad << " accepted";
        } catch (const std::invalid_argument& e) {
            EXPECT_EQ(e.what(), fmt::format("'{}' IcaoCode: invalid string", bad));
        }
    }
}

// The one check of an airport code: the scan log, the weekly traffic list, the
// manifests, the airport files and IcaoCode all ask it.
TEST(IcaoCode, OneCheckOfFourLettersOrDigits) {
    struct Row {
        std::string text;
        bool code;
    };
    const std::vector<Row> rows{
        {"EDDF", true},
        {"eddf", true},
        {"EdDf", true},
        {"0A1B", true},
        {"1234", true},
        {"AZaz", true},
        {"09ZZ", true},
        {"EDD", false},         // three characters
        {"EDDFX", false},       // five
        {"", false},
        {"ED-F", false},
        {"ED F", false},
        {"ED_F", false},
        {"@DDF", false},        // the characters either side of A-Z, a-z and 0-9
        {"[DDF", false},
        {"`DDF", false},
        {"{DDF", false},
        {"/DDF", false},
        {":DDF", false},
        {"ED\xC3\x9F", false},  // four bytes, one of them a two-byte letter
        {"EDD\xC4", false},      // a Windows-1252 letter
        {"EDD\xFF", false},
        {std::string("EDD\0", 4), false},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(::testing::PrintToString(row.text));
        EXPECT_EQ(gf_isAirportCode(row.text), row.code);
        bool built = true;
        try {
            (void)IcaoCode(row.text);
        } catch (const std::invalid_argument&) {
            built = false;
        }
        EXPECT_EQ(built, row.code) << "IcaoCode takes what the check accepts, nothing else";
    }
    // Characters as kept: upper case only.
    EXPECT_TRUE(gf_isAirportCodeChar('Z'));
    EXPECT_TRUE(gf_isAirportCodeChar('0'));
    EXPECT_FALSE(gf_isAirportCodeChar('a'));
    EXPECT_FALSE(gf_isAirportCodeChar('\xC4'));
}

TEST(IcaoCode, NumericOrderIsAlphabeticalOrder) {
    std::vector<std::string> texts{"LFPG", "EDDM", "0A1B", "EDDF", "KJFK", "A000", "ZZZZ", "EDD9", "9ZZZ"};
    std::vector<IcaoCode> codes;
    for (const auto& t : texts) codes.emplace_back(t);
    std::sort(texts.begin(), texts.end());
    std::sort(codes.begin(), codes.end());
    for (std::size_t i = 0; i < texts.size(); ++i) EXPECT_EQ(codes[i].text(), texts[i]);
    EXPECT_LT(IcaoCode(), IcaoCode("0000"));  // "none" sorts first
}

TEST(FolderConstants, RelativePathsJoinedFromTheirFolders) {
    // Nested paths are built from their parent constants, all relative to the
    // program's folder.
    EXPECT_EQ(outputInfoDir, outputDir / "info");
    EXPECT_EQ(objectIdListFile, outputInfoDir / "ObjectIdList.txt");
    EXPECT_EQ(learnedStockDir, learnedAirportsDir / stockDir);
    EXPECT_EQ(learnedThirdpartyDir, fs::path("airports/learned/thirdparty"));
    EXPECT_EQ(parkAirportFile, fs::path("airports/park_airport.xml"));
    EXPECT_EQ(dbaseEncFile, fs::path("input/dbase.enc"));
    EXPECT_EQ(regcodesEncFile, fs::path("input/AIG-regcodes.enc"));
    for (const fs::path* p : {&stockDir, &parkAirportFile, &liveriesScanned2024File, &wktrafficEncFile}) {
        EXPECT_TRUE(p->is_relative()) << *p;
    }
}

TEST_F(FilesTest, Save1GenerationKeepsOnePreviousFile) {
    EXPECT_TRUE(gf_save1GenerationOf("absent.xml"));
    EXPECT_FALSE(fs::exists("absent0.xml"));
    writeFile("data.xml", "one");
    EXPECT_TRUE(gf_save1GenerationOf("data.xml"));
    writeFile("data.xml", "two");
    EXPECT_TRUE(gf_save1GenerationOf("data.xml"));
    EXPECT_EQ(readFile("data0.xml"), "two");
    EXPECT_EQ(readFile("data.xml"), "two");
    EXPECT_FALSE(gf_save1GenerationOf("Log"));
    EXPECT_THAT(newLogLines(), HasSubstr("==> gf_save1GenerationOf: no extension in filename: Log\n"));
    // A failing copy keeps the old generation.
    writeFile("data.xml", "three");
    ScopedOsFaultHook fault(failing({OsOperation::copy}));
    EXPECT_FALSE(gf_save1GenerationOf("data.xml"));
    EXPECT_EQ(readFile("data0.xml"), "two");
    EXPECT_EQ(newLogLines(), "==> copy data.xml -> data0.xml failed: Permission denied\n");
}

TEST_F(FilesTest, MoveFileOntoAnExistingTargetAndAcrossFailures) {
    struct Case {
        std::vector<OsOperation> faults;
        bool ok;
        const char* sourceAfter;
        const char* targetAfter;
        const char* logged;
    };
    const Case cases[] = {
        {{}, true, "(gone)", "new", ""},
        {{OsOperation::move}, true, "(gone)", "new", ""},  // falls back to copy and remove
        {{OsOperation::move, OsOperation::copy}, false, "new", "old",
         "==> could not move a.txt => b.txt: Permission denied\n"},
        {{OsOperation::move, OsOperation::remove}, false, "new", "new",
         "==> could not remove a.txt after copy: Permission denied\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.logged);
        writeFile("a.txt", "new");
        writeFile("b.txt", "old");
        {
            ScopedOsFaultHook fault(failing(c.faults));
            EXPECT_EQ(gf_moveFile("a.txt", "b.txt"), c.ok);
        }
        EXPECT_EQ(fs::exists("a.txt") ? readFile("a.txt") : "(gone)", c.sourceAfter);
        EXPECT_EQ(readFile("b.txt"), c.targetAfter);
        EXPECT_EQ(newLogLines(), c.logged);
    }
    fs::remove("b.txt");
    EXPECT_FALSE(gf_moveFile("absent.txt", "b.txt"));
    EXPECT_FALSE(fs::exists("b.txt"));
    EXPECT_EQ(newLogLines(), "==> could not move absent.txt => b.txt: No such file or directory\n");
}

TEST_F(FilesTest, RemoveFilesLeavesFoldersAloneAndGoesOnAfterAFailure) {
    fs::create_directories("d/sub");
    for (const char* name : {"d/a", "d/b.txt", "d/sub/c.xml"}) writeFile(name, "x");
    {
        ScopedOsFaultHook fault([](OsOperation op, const fs::path& from, const fs::path&) {
            return op == OsOperation::remove && from.filename() == "a"
                       ? std::make_error_code(std::errc::device_or_resource_busy)
                       : std::error_code{};
        });
        gf_removeFilesFromDirectory("d");
    }
    EXPECT_TRUE(fs::exists("d/a"));
    EXPECT_FALSE(fs::exists("d/b.txt"));
    EXPECT_TRUE(fs::exists("d/sub/c.xml"));
    EXPECT_EQ(newLogLines(), "==> Failed to remove d/a (Device or resource busy)\n");
    gf_removeFilesFromDirectory("missing");  // quietly nothing

    fs::create_directories("tblo/sub");
    for (const char* name : {"tblo/EDDF.xml", "tblo/LFPG.XML", "tblo/keep.txt", "tblo/sub/x.xml"}) writeFile(name, "");
    gf_removeXMLFilesFromDirectory();
    EXPECT_FALSE(fs::exists("tblo/EDDF.xml"));
    EXPECT_FALSE(fs::exists("tblo/LFPG.XML"));
    EXPECT_TRUE(fs::exists("tblo/keep.txt"));
    EXPECT_TRUE(fs::exists("tblo/sub/x.xml"));
}

TEST_F(FilesTest, ListIcaoFilesSkipsNamesThatAreNoCodes) {
    fs::create_directories("apt/FOLD.xml");
    for (const char* name : {"EDDF.xml", "eddm.XML", "LFPG.txt", "ABC.xml", "notes.xml", "AB-C.xml", "KJ K.xml"}) {
        writeFile(fs::path("apt") / name, "");
    }
    std::vector<std::string> texts;
    for (const auto& c : gf_listIcaoFiles("apt")) texts.emplace_back(c.text());
    EXPECT_THAT(texts, UnorderedElementsAre("EDDF", "EDDM"));
    EXPECT_THAT(gf_listIcaoFiles("missing"), IsEmpty());
}

TEST_F(FilesTest, TempFileGuardRemovesOnlyWhileArmed) {
    writeFile("t.tmp", "x");
    { TempFileGuard guard("t.tmp"); }
    EXPECT_FALSE(fs::exists("t.tmp"));
    writeFile("kept.tmp", "x");
    {
        TempFileGuard guard("kept.tmp");
        guard.disarm();
    }
    EXPECT_TRUE(fs::exists("kept.tmp"));
    // Moved away before the guard goes: nothing removed, nothing reported.
    writeFile("moved.tmp", "x");
    {
        TempFileGuard guard("moved.tmp");
        ASSERT_TRUE(gf_moveFile("moved.tmp", "final.txt"));
    }
    EXPECT_TRUE(fs::exists("final.txt"));
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(FilesTest, WriteLinesToFile) {
    ASSERT_TRUE(gf_writeLinesToFile({"a", "", "b c"}, "lines.txt"));
    EXPECT_EQ(readFile("lines.txt"), "a\n\nb c\n");
    {
        ScopedOsFaultHook fault(failing({OsOperation::replace}));
        EXPECT_FALSE(gf_writeLinesToFile({"new"}, "lines.txt"));
    }
    EXPECT_EQ(readFile("lines.txt"), "a\n\nb c\n");
    EXPECT_EQ(newLogLines(), "==> could not write lines.txt: Permission denied\n");
    EXPECT_FALSE(gf_writeLinesToFile({"x"}, "missing/dir/f.txt"));
    EXPECT_EQ(newLogLines(), "==> could not write missing/dir/f.txt: No such file or directory\n");
}

TEST_F(FilesTest, ReadWholeFileGivesEveryByteOrNothing) {
    const std::string bytes("a\0b\r\n\xff", 6);
    writeFile("bytes.bin", bytes);
    EXPECT_EQ(gf_readWholeFile("bytes.bin"), bytes);
    writeFile("empty.txt", "");
    EXPECT_EQ(gf_readWholeFile("empty.txt"), std::string());
    ReadFailure why = ReadFailure::notRead;
    EXPECT_EQ(gf_readWholeFile("empty.txt", &why), std::string());
    EXPECT_EQ(why, ReadFailure::none);
    fs::create_directories("folder.xml");
    EXPECT_EQ(gf_readWholeFile("folder.xml", &why), std::nullopt);
    EXPECT_EQ(why, ReadFailure::notOpened);
    EXPECT_EQ(gf_readWholeFile("missing.txt"), std::nullopt);
    EXPECT_EQ(newLogLines(), "");
}

TEST_F(FilesTest, OpenInShellOpensTheParentFolder) {
    ScopedOsLaunchRecorder recorder;
    fs::create_directories("tblo");
    writeFile("tblo/tblo.zip", "");
    EXPECT_TRUE(gf_openInShell("tblo/tblo.zip"));
    ASSERT_EQ(recorder.launches().size(), 1u);
    EXPECT_THAT(recorder.launches()[0], ElementsAre("xdg-open", (dir() / "tblo").string()));
    EXPECT_FALSE(gf_openInShell("tblo/missing.zip"));  // missing: nothing started
    EXPECT_EQ(recorder.launches().size(), 1u);
    recorder.setResult(false);  // the file manager cannot be started
    EXPECT_FALSE(gf_openInShell("tblo/tblo.zip"));
    recorder.setResult(true);
    ScopedOsFaultHook fault(failing({OsOperation::openInFileManager}));
    EXPECT_FALSE(gf_openInShell("tblo/tblo.zip"));
}

}  // namespace
