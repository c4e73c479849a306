#include <map>
#include <sstream>
#include <streambuf>
#include <string>

#include <gtest/gtest.h>
#include <zip.h>

#include "foundation/zip_archive.h"
#include "support/package_files.h"
#include "support/temp_dir.h"

namespace {

using tavo::test::readFile;
using tavo::test::writeFile;
using tavo::test::writeZip;

class ZipArchiveTest : public tavo::test::TempWorkDirTest {};

TEST_F(ZipArchiveTest, EntriesAndContentInChunks) {
    std::string big(100000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 7 % 256);
    writeZip("a.zip", {{"setup/", ""}, {"setup/install.exe", big}, {"readme.txt", "hello"}});

    ZipArchive archive;
    ASSERT_TRUE(archive.openForReading("a.zip")) << archive.errorText();
    const auto entries = archive.entries();
    ASSERT_TRUE(entries);
    ASSERT_EQ(entries->size(), 3u);
    EXPECT_EQ((*entries)[0].name, "setup/");
    EXPECT_TRUE((*entries)[0].isFolder());
    EXPECT_EQ((*entries)[1].name, "setup/install.exe");
    EXPECT_FALSE((*entries)[1].isFolder());
    EXPECT_EQ((*entries)[1].size, big.size());
    EXPECT_EQ((*entries)[2].size, 5u);

    for (const std::size_t chunk : {std::size_t{1}, std::size_t{4096}, std::size_t{1} << 20}) {
        std::ostringstream out;
        EXPECT_EQ(archive.copyEntry(1, out, chunk), 0);
        EXPECT_EQ(out.str(), big) << "chunk " << chunk;
    }
    std::ostringstream ignored;
    EXPECT_EQ(archive.copyEntry(7, ignored, 16), ZIP_ER_INVAL) << "no such entry";
    EXPECT_TRUE(archive.close());
    EXPECT_FALSE(archive.isOpen());
}

TEST_F(ZipArchiveTest, WhatCannotBeOpenedOrReadIsReported) {
    ZipArchive archive;
    EXPECT_FALSE(archive.openForReading("absent.zip"));
    EXPECT_FALSE(archive.errorText().empty());
    writeFile("text.zip", "this is no archive");
    EXPECT_FALSE(archive.openForReading("text.zip"));
    EXPECT_FALSE(archive.entries());

    // A stored entry whose bytes were changed after the archive was written:
    // the read completes but the checksum does not match.
    const std::string data(64, 'x');
    std::string bytes = tavo::test::handMadeZip("x.bin", data, static_cast<std::uint32_t>(data.size()));
    bytes[30 + 5 + 10] = 'y';  // inside the data, after the local header and the name
    writeFile("crc.zip", bytes);
    ASSERT_TRUE(archive.openForReading("crc.zip")) << archive.errorText();
    std::ostringstream out;
    EXPECT_EQ(archive.copyEntry(0, out, 16), ZIP_ER_CRC);
    EXPECT_FALSE(archive.errorText().empty());
}

// Counts what it is given and keeps none of it.
class CountingSink : public std::streambuf {
public:
    std::uint64_t taken = 0;

protected:
    std::streamsize xsputn(const char*, std::streamsize count) override {
        taken += static_cast<std::uint64_t>(count);
        return count;
    }
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }
};

TEST_F(ZipArchiveTest, AnEntryIsCopiedNoFurtherThanItsDeclaredSize) {
    const std::string data(64, 'x');
    struct Case {
        const char* name;
        std::string archive;
        int result;
        std::uint64_t written;
    };
    const Case cases[] = {
        {"stored, as declared", tavo::test::handMadeZip("a", data, 64), 0, 64},
        {"stored, 64 bytes declared as 10", tavo::test::handMadeZip("a", data, 10), ZIP_ER_INCONS, 10},
        {"stored, 64 bytes declared as 63", tavo::test::handMadeZip("a", data, 63), ZIP_ER_INCONS, 63},
        {"stored, 64 bytes declared as 65", tavo::test::handMadeZip("a", data, 65), ZIP_ER_INCONS, 64},
        {"deflated, as declared", tavo::test::handMadeDeflatedZip("a", 100000, 100000), 0, 100000},
        {"deflated, 50,000,000 bytes declared as 10", tavo::test::handMadeDeflatedZip("a", 50000000, 10),
         ZIP_ER_INCONS, 10},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        writeFile("lying.zip", c.archive);
        ZipArchive archive;
        ASSERT_TRUE(archive.openForReading("lying.zip")) << archive.errorText();
        for (const std::size_t chunk : {std::size_t{1}, std::size_t{7}, std::size_t{524288}}) {
            if (chunk == 1 && c.written > 100) continue;  // byte by byte only where that is quick
            CountingSink sink;
            std::ostream out(&sink);
            EXPECT_EQ(archive.copyEntry(0, out, chunk), c.result) << "chunk " << chunk << ": " << archive.errorText();
            EXPECT_EQ(sink.taken, c.written) << "chunk " << chunk;
            if (c.result != 0) EXPECT_FALSE(archive.errorText().empty());
        }
    }
}

TEST_F(ZipArchiveTest, AnUnclosedArchiveIsDiscardedAndAMovedOneKeepsItsHandle) {
    {
        ZipArchive archive;
        ASSERT_TRUE(archive.open("new.zip", ZIP_CREATE | ZIP_TRUNCATE));
        zip_source_t* source = zip_source_buffer(archive.handle(), "abc", 3, 0);
        ASSERT_GE(zip_file_add(archive.handle(), "abc.txt", source, 0), 0);
        ZipArchive moved = std::move(archive);
        EXPECT_FALSE(archive.isOpen());
        EXPECT_TRUE(moved.isOpen());
    }
    EXPECT_EQ(readFile("new.zip"), "") << "nothing is written without close()";
}

// The archive owns what was added until it is written, so the caller's
// buffer may go at once; a write that fails leaves an older archive as it was.
TEST_F(ZipArchiveTest, AddedDataIsWrittenFromItsOwnCopyAndAFailedWriteChangesNothing) {
    std::string big(70000, '\0');
    for (std::size_t i = 0; i < big.size(); ++i) big[i] = static_cast<char>(i * 13 % 256);
    {
        ZipArchive archive;
        ASSERT_TRUE(archive.open("out.zip", ZIP_CREATE | ZIP_TRUNCATE));
        std::string first = big;
        EXPECT_TRUE(archive.addData("big.bin", std::move(first)));
        EXPECT_TRUE(archive.addData("note.txt", std::string("old")));
        EXPECT_TRUE(archive.addData("note.txt", std::string("new"))) << "a second entry of a name replaces it";
        ZipArchive moved = std::move(archive);
        EXPECT_TRUE(moved.close()) << moved.errorText();
    }
    const auto read = [](const char* path) {
        std::map<std::string, std::string> contents;
        ZipArchive archive;
        const auto entries = archive.openForReading(path) ? archive.entries() : std::nullopt;
        if (!entries) return contents;
        for (const ZipEntry& e : *entries) {
            std::ostringstream out;
            if (archive.copyEntry(e.index, out, 4096) == 0) contents[e.name] = out.str();
        }
        return contents;
    };
    const std::map<std::string, std::string> written{{"big.bin", big}, {"note.txt", "new"}};
    EXPECT_EQ(read("out.zip"), written);

    for (const ZipWriteStep failing : {ZipWriteStep::open, ZipWriteStep::add, ZipWriteStep::close}) {
        SCOPED_TRACE(static_cast<int>(failing));
        gf_setZipWriteFaultHook([failing](ZipWriteStep step, const std::filesystem::path& path) {
            return step == failing && path == "out.zip";
        });
        ZipArchive archive;
        const bool opened = archive.open("out.zip", ZIP_CREATE | ZIP_TRUNCATE);
        const bool added = opened && archive.addData("other.txt", std::string("x"));
        const bool closed = added && archive.close();
        EXPECT_EQ(opened, failing != ZipWriteStep::open);
        EXPECT_EQ(added, failing == ZipWriteStep::close);
        EXPECT_FALSE(closed);
        EXPECT_FALSE(archive.isOpen() && failing == ZipWriteStep::close);
        EXPECT_FALSE(archive.errorText().empty());
        archive.discard();
        gf_setZipWriteFaultHook({});
        EXPECT_EQ(read("out.zip"), written);
    }
    ZipArchive notOpen;
    EXPECT_FALSE(notOpen.addData("x", "y"));
}

}  // namespace
