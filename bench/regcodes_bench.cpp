// Reading the AIG regcodes file at start-up.
//
// Budget: gf_loadAIGRegcodes of a file of 30,000 titles and 36,000 regcodes
// under 150 ms, shown beside decrypting and parsing the same file alone.

#include <benchmark/benchmark.h>

#include <filesystem>

#include <pugixml.hpp>

#include "foundation/encrypted.h"
#include "liveries/regcodes.h"
#include "support/regcodes_builder.h"
#include "support/temp_dir.h"

namespace {

// The large file, encrypted once into a folder that lives for the run.
const std::filesystem::path& lf_largeRegcodesFile() {
    static tavo::test::ScopedTempDir dir;
    static const std::filesystem::path file = [] {
        auto path = dir.path() / "AIG-regcodes.enc";
        tavo::test::RegcodesBuilder::largeProfile().write(path);
        return path;
    }();
    return file;
}

void BM_LoadLargeAigRegcodes(benchmark::State& state) {
    const auto& file = lf_largeRegcodesFile();
    std::size_t records = 0, regcodes = 0;
    for (auto _ : state) {
        const RegcodeParseResult result = gf_loadAIGRegcodes(file);
        if (!result.errors.empty()) state.SkipWithError(result.errors.front().c_str());
        records = result.records.size();
        regcodes = 0;
        for (const auto& record : result.records) regcodes += record.regcodes.size();
    }
    state.counters["titles"] = static_cast<double>(records);
    state.counters["regcodes"] = static_cast<double>(regcodes);
    state.counters["bytes"] = static_cast<double>(std::filesystem::file_size(file));
}
BENCHMARK(BM_LoadLargeAigRegcodes)->Unit(benchmark::kMillisecond);

// Decrypting and parsing the same file, nothing else: what the reader adds
// beside this is its own work.
void BM_DecryptAndParseLargeAigRegcodes(benchmark::State& state) {
    const auto& file = lf_largeRegcodesFile();
    for (auto _ : state) {
        DecryptResult plain = gf_readEncryptedFile(file, kRegcodesEncLimit);
        pugi::xml_document doc;
        if (!plain.ok || !doc.load_buffer_inplace(plain.buffer.data(), plain.buffer.size()))
            state.SkipWithError("not parsed");
        benchmark::DoNotOptimize(doc.first_child());
    }
}
BENCHMARK(BM_DecryptAndParseLargeAigRegcodes)->Unit(benchmark::kMillisecond);

}  // namespace
