#include <filesystem>
#include <sstream>
#include <string>

#include <benchmark/benchmark.h>
#include <fmt/format.h>
#include <pugixml.hpp>

#include "bench_size.h"
#include "foundation/encrypted.h"
#include "foundation/xml.h"
#include "support/enc_writer.h"
#include "support/scoped_temp_dir.h"

namespace {

// Decrypting the largest data file the program accepts (16 MiB of plaintext;
// 256 KiB on small inputs). Budget: under 100 ms per file.
void BM_DecryptSixteenMiB(benchmark::State& state) {
    tavo::test::ScopedTempDir dir;
    const std::filesystem::path file = dir.path() / "dbase.enc";
    const std::size_t bytes = gf_benchSize<std::size_t>(kDbaseEncLimit - 4096, 256 * 1024);
    tavo::test::writeEncryptedFile(file, tavo::test::patternText(bytes));
    for (auto _ : state) {
        DecryptResult r = gf_readEncryptedFile(file, kDbaseEncLimit);
        if (!r.ok) {
            state.SkipWithError(r.error.c_str());
            break;
        }
        benchmark::DoNotOptimize(r.buffer.data());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) *
                            static_cast<std::int64_t>(std::filesystem::file_size(file)));
}
BENCHMARK(BM_DecryptSixteenMiB)->Unit(benchmark::kMillisecond);

// A data file of about 5 MB (125 kB on small inputs): a meta block and many
// elements with attributes, the shape of the aircraft database and the
// airport files.
std::string lf_fiveMegabyteDocument() {
    pugi::xml_document doc;
    DataFileMeta meta;
    meta.version = "16.8.0";
    meta.sim = 2;
    gf_writeDataFileMeta(doc, meta);
    pugi::xml_node root = doc.child("root");
    pugi::xml_node list = root.append_child("parkpositions");
    for (int i = 0, count = gf_benchSize(40000, 1000); i < count; ++i) {
        pugi::xml_node p = list.append_child("p");
        gf_appendStringAttribute(p, "n", fmt::format("GATE A{}", i));
        gf_appendStringAttribute(p, "ll", fmt::format("{:.6f},{:.6f}", 47.0 + i * 1e-5, 8.5 - i * 1e-5));
        gf_appendStringAttribute(p, "h", fmt::format("{:.1f}", (i * 7) % 360 + 0.5));
        gf_appendStringAttribute(p, "r", "24.5");
        gf_appendBoolAttribute(p, "c", i % 3 == 0);
        pugi::xml_node o = p.append_child("o");
        gf_appendStringAttribute(o, "a", "DLH,SWR,AUA");
        gf_appendStringAttribute(o, "hh", "10:12");
    }
    std::ostringstream out;
    doc.save(out, "  ");
    return out.str();
}

void BM_ParseFiveMegabyteXml(benchmark::State& state) {
    const std::string text = lf_fiveMegabyteDocument();
    for (auto _ : state) {
        pugi::xml_document doc;
        const pugi::xml_parse_result ok = doc.load_buffer(text.data(), text.size());
        if (!ok || !gf_readDataFileMeta(doc, false)) {
            state.SkipWithError("parse failed");
            break;
        }
        benchmark::DoNotOptimize(doc.first_child());
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_ParseFiveMegabyteXml)->Unit(benchmark::kMillisecond);

void BM_SaveFiveMegabyteXmlSafely(benchmark::State& state) {
    tavo::test::ScopedTempDir dir;
    const std::string text = lf_fiveMegabyteDocument();
    pugi::xml_document doc;
    doc.load_buffer(text.data(), text.size());
    const std::filesystem::path target = dir.path() / "airport.xml";
    for (auto _ : state) {
        if (!gf_saveXmlDocumentSafely(doc, target)) {
            state.SkipWithError("save failed");
            break;
        }
    }
    state.SetBytesProcessed(static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(text.size()));
}
BENCHMARK(BM_SaveFiveMegabyteXmlSafely)->Unit(benchmark::kMillisecond);

}  // namespace
