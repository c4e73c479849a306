// The BGL reader on scenery files of real size: processing a 50 MB file of
// thousands of airports with parkings and helipads, beside only reading the
// same file into memory with plain reads; and probing 10,000 small files, as
// a scan of many packages does before any heavy work, beside the same probe
// done with plain system calls. On small inputs (the test build) the file
// holds 60 airports and the probe meets 200 files.

#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <variant>
#include <vector>

#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <fmt/format.h>
#include <unistd.h>

#include "airports/airports_list.h"
#include "airports/weekly_traffic.h"
#include "bench_size.h"
#include "scan/bgl_reader.h"
#include "scan/scan_log.h"
#include "support/airports_data.h"
#include "support/bgl_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

using namespace tavo::test;

// Airports of the large file, spread over 30 subsections.
const std::size_t kAirports = gf_benchSize<std::size_t>(3420, 60);

// What reached the hand-over, so the work cannot be skipped.
std::uint64_t g_stands = 0;
std::uint64_t g_airports = 0;
void countStands(Airport& airport, int helipads) {
    g_stands += airport.stands.size() + static_cast<unsigned>(helipads);
    ++g_airports;
}

// An airport with 2 helipads, a few other subrecords and 250 parkings, some
// with airline codes: about 17 KB, the size of a large real airport.
BglAirport largeAirport(std::size_t n) {
    BglAirport a;
    a.icao = profileIcao(n);
    a.altitudeMm = static_cast<std::int32_t>(n % 900) * 1000;
    const double lat = -60.0 + static_cast<double>(n % 1200) * 0.1;
    const double lon = -170.0 + static_cast<double>(n % 3400) * 0.1;
    a.subrecords.push_back(bglPlainRecord(0x19, 40));
    a.subrecords.push_back(bglHelipad({lat + 0.01, lon, 20.0f}));
    a.subrecords.push_back(bglHelipad({lat + 0.02, lon, 24.0f, 36}));
    a.subrecords.push_back(bglPlainRecord(0x0C, 120));
    std::vector<BglParking> parkings;
    for (std::uint32_t k = 0; k < 250; ++k) {
        BglParking p;
        p.nameIndex = 10 + k % 28;
        p.type = 1 + k % 15;
        p.number = k / 28 + 1;
        p.radiusMetres = 15.0f + static_cast<float>(k % 30);
        p.headingDegrees = static_cast<float>(k * 7 % 360);
        p.lat = lat + 0.0001 * k;
        p.lon = lon + 0.0001 * (k % 17);
        if (k % 5 == 0) p.airlineCodes = {0x4241, 0x4443, 0x4645};
        parkings.push_back(p);
    }
    a.subrecords.push_back(bglParkings(parkings));
    return a;
}

// A working folder with the airports list loaded (the codes the files name)
// and the hand-over counting stands, for as long as a benchmark runs.
class BglWorkFolder {
public:
    BglWorkFolder() {
        writeAirportsEnc(dir_.path(), airportsProfile(kAirports));
        gf_unloadAirportsForTests();
        gf_clearWeeklyTrafficAirports();
        loaded_ = std::holds_alternative<std::size_t>(gf_loadAirports());
        gf_setBglAirportHandover(&countStands);
    }
    ~BglWorkFolder() {
        gf_setBglAirportHandover(nullptr);
        gf_unloadAirportsForTests();
        g_airportScanLog.clear();
    }
    bool loaded() const { return loaded_; }

private:
    ScopedWorkDir dir_;
    bool loaded_ = false;
};

// The 50 MB file: the airports spread over three airport sections of several
// subsections, with sections of other types between them. Made once per run
// of the benchmarks and removed at exit.
const std::filesystem::path& large50MbFile() {
    static const ScopedTempDir folder;
    static const std::filesystem::path path = [] {
        std::vector<BglSection> sections;
        const BglSubsection others{{bglPlainRecord(0x11, 64), bglPlainRecord(0x12, 256)}, -1};
        sections.push_back(BglSection{0x65, 0, {others}});
        std::size_t n = 0;
        for (int s = 0; s < 3; ++s) {
            BglSection section{3, s == 1 ? 0x10001u : 0x1u, {}};
            for (int sub = 0; sub < 10; ++sub) {
                BglSubsection subsection;
                for (std::size_t k = 0; k < kAirports / 30; ++k)
                    subsection.records.push_back(bglAirportRecord(largeAirport(n++)));
                section.subsections.push_back(std::move(subsection));
            }
            sections.push_back(std::move(section));
            sections.push_back(BglSection{0x22, 0, {others}});
        }
        const std::filesystem::path file = folder.path() / "large.bgl";
        writeBglFile(file, bglBuild(sections).bytes);
        return file;
    }();
    return path;
}

// Processing the 50 MB file: read, walk, decode every airport, stands of
// every one. Budget: under 0.3 s warm.
void BM_ProcessBgl50MB(benchmark::State& state) {
    BglWorkFolder folder;
    if (!folder.loaded()) {
        state.SkipWithError("airports list not loaded");
        return;
    }
    const auto& path = large50MbFile();
    for (auto _ : state) {
        g_stands = 0;
        g_airports = 0;
        lf_processBGLfile(path);
        g_airportScanLog.clear();
        benchmark::DoNotOptimize(g_stands);
    }
    if (g_airports != kAirports) state.SkipWithError("not every airport reached the hand-over");
    state.counters["stands"] = static_cast<double>(g_stands);
    state.counters["MB"] = static_cast<double>(std::filesystem::file_size(path)) / 1e6;
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}
BENCHMARK(BM_ProcessBgl50MB)->Unit(benchmark::kMillisecond);

// Baseline: the same file read into memory with plain reads, nothing parsed.
void BM_ReadBgl50MBPlain(benchmark::State& state) {
    const auto& path = large50MbFile();
    for (auto _ : state) {
        std::ifstream in(path, std::ios::binary);
        const auto size = std::filesystem::file_size(path);
        std::vector<std::uint32_t> words(size / 4);
        in.read(reinterpret_cast<char*>(words.data()), static_cast<std::streamsize>(words.size() * 4));
        benchmark::DoNotOptimize(words.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations() * std::filesystem::file_size(path)));
}
BENCHMARK(BM_ReadBgl50MBPlain)->Unit(benchmark::kMillisecond);

// 10,000 small files (200 on small inputs): three in four name an airport
// section (some behind other sections), the rest do not. Made once per run.
const std::vector<std::filesystem::path>& smallFiles() {
    static const ScopedTempDir dir;
    static const std::vector<std::filesystem::path> paths = [] {
        const BglSubsection others{{bglPlainRecord(0x11, 64)}, -1};
        const BglSubsection airport{
            {bglAirportRecord(BglAirport{"EGLL", -1, 0, {bglHelipad({51.47, -0.46, 20.0f})}, -1})}, -1};
        const BglBytes kinds[] = {
            bglBuild({BglSection{3, 0, {airport}}}).bytes,
            bglBuild({BglSection{0x22, 0, {others}}, BglSection{0x65, 0, {others}}, BglSection{3, 0x10001, {airport}}})
                .bytes,
            bglBuild({BglSection{3, 0x1, {airport}}, BglSection{0x22, 0, {others}}}).bytes,
            bglBuild({BglSection{0x22, 0, {others}}, BglSection{0x65, 0, {others}}}).bytes,
        };
        std::vector<std::filesystem::path> files;
        const int count = gf_benchSize(10000, 200);
        for (int i = 0; i < count; ++i) {
            files.push_back(dir.path() / fmt::format("f{}.bgl", i));
            writeBglFile(files.back(), kinds[i % 4]);
        }
        return files;
    }();
    return paths;
}

// Runs the probe over every small file and checks that three in four answered yes.
template <typename Probe>
void lf_probeAll(benchmark::State& state, Probe probe) {
    const auto& paths = smallFiles();
    std::size_t airports = 0;
    for (auto _ : state) {
        airports = 0;
        for (const auto& p : paths) airports += probe(p) ? 1 : 0;
        benchmark::DoNotOptimize(airports);
    }
    if (airports != paths.size() / 4 * 3) state.SkipWithError("the probe missed airport sections");
    state.counters["with_airports"] = static_cast<double>(airports);
}

// The program's probe. Budget: under 1 s for the 10,000 files.
void BM_Probe10000SmallFiles(benchmark::State& state) {
    lf_probeAll(state, [](const std::filesystem::path& p) { return lf_probeBglHeader(p); });
}
BENCHMARK(BM_Probe10000SmallFiles)->Unit(benchmark::kMillisecond);

// Baseline: the same test the plainest way: open, one read of the header and
// the section table behind it (these files hold a few sections), close.
void BM_Probe10000SmallFilesPlainBaseline(benchmark::State& state) {
    lf_probeAll(state, [](const std::filesystem::path& p) {
        const int fd = ::open(p.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) return false;
        unsigned char bytes[1024];
        const ssize_t got = ::read(fd, bytes, sizeof bytes);
        ::close(fd);
        if (got < static_cast<ssize_t>(kBglHeaderSize)) return false;
        std::uint32_t count = 0;
        std::memcpy(&count, bytes + 20, sizeof count);
        for (std::uint32_t i = 0; i < count; ++i) {
            const std::size_t at = kBglHeaderSize + static_cast<std::size_t>(i) * kBglSectionEntrySize;
            if (at + 4 > static_cast<std::size_t>(got)) return false;
            std::uint32_t type = 0;
            std::memcpy(&type, bytes + at, sizeof type);
            if (type == kBglAirportSectionType) return true;
        }
        return false;
    });
}
BENCHMARK(BM_Probe10000SmallFilesPlainBaseline)->Unit(benchmark::kMillisecond);

}  // namespace
