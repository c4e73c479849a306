// Loading a park airport's archive file from its .enc: decrypting it, parsing
// the plaintext in place, checking and reading its parameters and 512 stands
// with 20 flight options each, and comparing every pair of stands for the
// exclusions (the download and the cache copy aside), beside decrypting the
// same file alone. Small inputs (the test build): 64 stands with 4 options.

#include <cmath>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include "airports/park_airport_load.h"
#include "bench_size.h"
#include "foundation/encrypted.h"
#include "support/airport_file_builder.h"
#include "support/enc_writer.h"
#include "support/scoped_temp_dir.h"

namespace {

const int kStands = gf_benchSize(512, 64);
const int kOptionsPerStand = gf_benchSize(20, 4);

// Stands in rows of 16, 40 m apart with radii of 25 m, so that neighbours in
// a row overlap and exclude each other, as at a real apron.
std::string archiveAirportFile() {
    tavo::test::ApfFile file;
    file.parameters = {{"icao", "EDDF"}, {"airport_name", "Frankfurt"}, {"publisher", "stock"}, {"altitude", "364"},
                       {"Qf_real", "40"}, {"Qf_soft", "60"}};
    for (int i = 0; i < kStands; ++i) {
        const double lat = 50.03 + (i / 16) * 0.002;
        const double lon = 8.55 + (i % 16) * 40.0 / 1852.0 / 60.0 / std::cos(50.03 * 3.141592653589793 / 180.0);
        tavo::test::ApfStand stand = tavo::test::apfStand(fmt::format("V{}", i), "GATE_MEDIUM", lat, lon, 90.0, 25.0);
        for (int j = 0; j < kOptionsPerStand; ++j) {
            auto opt = tavo::test::apfOption(fmt::format("D-A{:03}", (i * 7 + j) % 1000), fmt::format("{}", 1 + j % 7),
                                             fmt::format("{}:{}", j % 40, j % 40 + 4), fmt::format("DLH{}", i * 31 + j));
            opt.emplace_back("airl", "DLH");
            opt.emplace_back("type", "A320");
            stand.options.push_back(std::move(opt));
        }
        file.stands.push_back(std::move(stand));
    }
    return file.text();
}

class ArchiveFile {
public:
    ArchiveFile() { tavo::test::writeEncryptedFile(path, archiveAirportFile()); }
    tavo::test::ScopedTempDir dir;
    const std::filesystem::path path = dir.path() / "EDDF.enc";
};

// Budget: under 40 ms.
void BM_LoadArchiveAirport512Stands(benchmark::State& state) {
    const ArchiveFile archive;
    std::size_t stands = 0;
    std::size_t excluded = 0;
    for (auto _ : state) {
        SecureBuffer buffer;
        pugi::xml_document document;
        if (auto error = lf_loadAirportDocument(archive.path, true, buffer, document)) {
            state.SkipWithError(error->c_str());
            return;
        }
        AirportReadResult result;
        result.requestedPath = "archive/stock/EDDF.enc";
        if (auto error = lf_readAirportContent(document, result)) {
            state.SkipWithError(error->c_str());
            return;
        }
        stands = result.stands.size();
        excluded = 0;
        for (const Stand& stand : result.stands) excluded += stand.excludes.empty() ? 0 : 1;
        benchmark::DoNotOptimize(result.stands.data());
    }
    if (stands != static_cast<std::size_t>(kStands)) state.SkipWithError("not every stand was read");
    if (excluded != stands) state.SkipWithError("neighbouring stands do not exclude each other");
}
BENCHMARK(BM_LoadArchiveAirport512Stands)->Unit(benchmark::kMillisecond);

// Baseline: decrypting the same file alone.
void BM_DecryptArchiveAirport512Stands(benchmark::State& state) {
    const ArchiveFile archive;
    for (auto _ : state) {
        const DecryptResult plain = gf_readEncryptedFile(archive.path, kAirportFileEncLimit);
        if (!plain.ok) {
            state.SkipWithError(plain.error.c_str());
            return;
        }
        benchmark::DoNotOptimize(plain.buffer.data());
    }
}
BENCHMARK(BM_DecryptArchiveAirport512Stands)->Unit(benchmark::kMillisecond);

}  // namespace
