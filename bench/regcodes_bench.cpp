// Reading the registration codes at start-up: the AIG regcodes file and the
// user's own my_regcodes files.
//
// Budget: gf_loadAIGRegcodes of a file of 30,000 titles and 36,000 regcodes
// (300 titles on small inputs) under 150 ms, shown beside decrypting and
// parsing the same file alone. The my_regcodes files grow as the user adds
// liveries: rows at 5,000 lines, 10,000 and 20,000 (100, 200 and 400 on small
// inputs) over four files, each beside reading the same files the plainest
// way.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <string_view>
#include <vector>

#include <fmt/format.h>
#include <pugixml.hpp>

#include "bench_size.h"
#include "foundation/encrypted.h"
#include "liveries/regcodes.h"
#include "support/regcodes_builder.h"
#include "support/scoped_temp_dir.h"

namespace {

// The large file, encrypted once into a folder that lives for the run.
const std::filesystem::path& lf_largeRegcodesFile() {
    static tavo::test::ScopedTempDir dir;
    static const std::filesystem::path file = [] {
        auto path = dir.path() / "AIG-regcodes.enc";
        auto builder = tavo::test::RegcodesBuilder::largeProfile();
        builder.liveries.resize(std::min<std::size_t>(builder.liveries.size(), gf_benchSize(30000, 300)));
        builder.write(path);
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

const int kMyRegcodeLines = gf_benchSize(5000, 100);

// `lines` my_regcodes lines over four files in a folder of their own: most
// name one registration, every fifth two, every tenth several with the
// special marker, every fiftieth is blank.
class MyRegcodesFolder {
public:
    explicit MyRegcodesFolder(int lines) {
        for (int file = 0; file < 4; ++file) {
            std::vector<std::string> text;
            for (int i = file; i < lines; i += 4) {
                const std::string title = fmt::format("My livery {:05} - Airline {} Airbus A320", i, i % 300);
                if (i % 50 == 0) text.emplace_back();
                else if (i % 10 == 0) text.push_back(fmt::format("{};D-A{:04},D-B{:04},D-C{:04};#", title, i, i, i));
                else if (i % 5 == 0) text.push_back(fmt::format("{};G-{:04},G-X{:04}", title, i, i));
                else text.push_back(fmt::format("{};PH-{:04}", title, i));
            }
            tavo::test::writeRegcodeFile(dir_.path() / fmt::format("airline{}.txt", file), text, file == 0,
                                         file % 2 == 0 ? tavo::test::LineEnd::lf : tavo::test::LineEnd::crlf);
        }
    }
    const std::filesystem::path& path() const { return dir_.path(); }

private:
    tavo::test::ScopedTempDir dir_;
};

void BM_ReadMyRegcodes(benchmark::State& state) {
    const MyRegcodesFolder folder(static_cast<int>(state.range(0)));
    std::size_t records = 0;
    for (auto _ : state) {
        const RegcodeParseResult result = gf_readRegcodeFolder(folder.path());
        if (!result.errors.empty()) state.SkipWithError(result.errors.front().c_str());
        records = result.records.size();
        benchmark::DoNotOptimize(result.records.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["titles"] = static_cast<double>(records);
}
BENCHMARK(BM_ReadMyRegcodes)
    ->Arg(kMyRegcodeLines)->Arg(2 * kMyRegcodeLines)->Arg(4 * kMyRegcodeLines)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

std::vector<std::string_view> lf_splitView(std::string_view text, char separator) {
    std::vector<std::string_view> parts;
    for (;;) {
        const auto at = text.find(separator);
        parts.push_back(text.substr(0, at));
        if (at == std::string_view::npos) return parts;
        text.remove_prefix(at + 1);
    }
}

// Baseline: the same files read the plainest way: every .txt file of the
// folder in name order, line by line (byte-order mark and CR dropped), split
// at ';' and ',', regcodes trimmed, checked character by character, sorted
// and made distinct.
void BM_ReadMyRegcodesPlainBaseline(benchmark::State& state) {
    const MyRegcodesFolder folder(static_cast<int>(state.range(0)));
    std::size_t records = 0;
    for (auto _ : state) {
        std::vector<std::filesystem::path> files;
        for (const auto& entry : std::filesystem::directory_iterator(folder.path()))
            if (entry.is_regular_file() && entry.path().extension() == ".txt") files.push_back(entry.path());
        std::sort(files.begin(), files.end());
        std::vector<RegcodeRecord> read;
        for (const auto& file : files) {
            std::ifstream in(file, std::ios::binary);
            std::string line;
            while (std::getline(in, line)) {
                if (line.starts_with("\xEF\xBB\xBF")) line.erase(0, 3);
                if (!line.empty() && line.back() == '\r') line.pop_back();
                if (line.empty()) continue;
                const auto fields = lf_splitView(line, ';');
                RegcodeRecord record{std::string(fields[0]), {}, fields.size() == 3 && fields[2] == "#"};
                if (fields.size() >= 2) {
                    for (std::string_view code : lf_splitView(fields[1], ',')) {
                        while (!code.empty() && code.front() == ' ') code.remove_prefix(1);
                        while (!code.empty() && code.back() == ' ') code.remove_suffix(1);
                        const bool valid = code.size() >= 3 && code.size() <= 12 &&
                                           std::all_of(code.begin(), code.end(), [](char c) {
                                               return (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '+' ||
                                                      c == '-' || c == '.';
                                           });
                        if (valid) record.regcodes.emplace_back(code);
                    }
                    std::sort(record.regcodes.begin(), record.regcodes.end());
                    record.regcodes.erase(std::unique(record.regcodes.begin(), record.regcodes.end()),
                                          record.regcodes.end());
                    record.special = record.special || record.regcodes.size() == 1;
                }
                read.push_back(std::move(record));
            }
        }
        records = read.size();
        benchmark::DoNotOptimize(read.data());
    }
    state.SetComplexityN(state.range(0));
    state.counters["titles"] = static_cast<double>(records);
}
BENCHMARK(BM_ReadMyRegcodesPlainBaseline)
    ->Arg(kMyRegcodeLines)->Arg(2 * kMyRegcodeLines)->Arg(4 * kMyRegcodeLines)->Complexity(benchmark::oN)
    ->Unit(benchmark::kMillisecond);

}  // namespace
