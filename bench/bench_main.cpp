// The benchmark program's entry point: Google Benchmark's own, except that a
// benchmark that stops with SkipWithError fails the program, and so does a
// filter that matches no benchmark (a misspelt or stale name) or a benchmark
// that throws. The test build runs each benchmark file as a ctest entry, and
// a check that failed inside a benchmark must fail that entry.

#include <exception>
#include <iostream>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

namespace {

// Passes everything on to the reporter the command line chose and notes the
// runs that ended in an error.
class ErrorNotingReporter : public benchmark::BenchmarkReporter {
public:
    explicit ErrorNotingReporter(std::unique_ptr<benchmark::BenchmarkReporter> shown) : shown_(std::move(shown)) {}

    bool ReportContext(const Context& context) override { return shown_->ReportContext(context); }
    void ReportRuns(const std::vector<Run>& runs) override {
        for (const Run& run : runs)
            if (run.error_occurred) failed_.push_back(run.benchmark_name() + ": " + run.error_message);
        shown_->ReportRuns(runs);
    }
    void Finalize() override { shown_->Finalize(); }

    const std::vector<std::string>& failed() const { return failed_; }

private:
    std::unique_ptr<benchmark::BenchmarkReporter> shown_;
    std::vector<std::string> failed_;
};

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    ErrorNotingReporter reporter{std::unique_ptr<benchmark::BenchmarkReporter>(benchmark::CreateDefaultDisplayReporter())};
    std::size_t matched = 0;
    try {
        matched = benchmark::RunSpecifiedBenchmarks(&reporter);
    } catch (const std::exception& error) {
        std::cerr << "tavo_bench: a benchmark threw: " << error.what() << '\n';
        return 1;
    }
    benchmark::Shutdown();
    const std::string filter = benchmark::GetBenchmarkFilter();
    // A negative filter ("-regex": every benchmark but those) may rightly
    // leave nothing to run.
    if (matched == 0 && !(filter.size() > 0 && filter.front() == '-')) {
        std::cerr << "tavo_bench: no benchmark matches '" << filter << "'\n";
        return 1;
    }
    if (!reporter.failed().empty()) {
        std::cerr << "tavo_bench: " << reporter.failed().size() << " benchmark run(s) failed:\n";
        for (const std::string& line : reporter.failed()) std::cerr << "  " << line << '\n';
        return 1;
    }
    return 0;
}
