// The program update's archive and the installer in it, as the download
// server sent them: the archive's directory and content, and the installer's
// product version (the input read as an installer too).

#include <streambuf>

#include "foundation/zip_archive.h"
#include "fuzz_support.h"
#include "platform/os/installer.h"

namespace {

// Takes at most 1 MiB, then fails like a full disk, so that an entry that
// inflates without end cannot run the fuzzer out of memory.
class LimitedSink : public std::streambuf {
protected:
    std::streamsize xsputn(const char*, std::streamsize count) override {
        if (taken_ + count > kLimit) return 0;
        taken_ += count;
        return count;
    }
    int_type overflow(int_type c) override { return xsputn(nullptr, 1) == 1 ? c : traits_type::eof(); }

private:
    static constexpr std::streamsize kLimit = 1 << 20;
    std::streamsize taken_ = 0;
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::writeScratchFile("latest_version.zip", data, size);
    ZipArchive archive;
    if (archive.openForReading(path)) {
        if (const auto entries = archive.entries()) {
            for (const ZipEntry& entry : *entries) {
                LimitedSink sink;
                std::ostream out(&sink);
                archive.copyEntry(entry.index, out, 4096);
            }
        }
    }
    gf_osReadProductVersion(path);
    tavo::fuzz::settle();
    return 0;
}
