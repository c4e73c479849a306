#include "support/world_traffic.h"

#include <algorithm>

#include <fmt/format.h>

#include "tools/sample_feed/sample_traffic.h"

namespace tavo::test {

namespace {

// A traffic line of another copy of the sample traffic: its own hexid,
// callsign and registration, so that TAVO sees another aircraft.
std::string lf_copyLine(const std::string& line, int copy) {
    std::vector<std::string> fields;
    std::size_t start = 0;
    for (std::size_t comma; (comma = line.find(',', start)) != std::string::npos; start = comma + 1)
        fields.push_back(line.substr(start, comma - start));
    fields.push_back(line.substr(start));
    if (fields.size() < 12) return line;
    const unsigned long hexid = std::stoul(fields[1]);
    fields[1] = std::to_string((hexid + 0x1000ul * static_cast<unsigned long>(copy)) & 0xFFFFFFul);
    fields[9] = fmt::format("TV{:04X}{:02}", hexid & 0xFFFF, copy);
    fields[11] = fmt::format("N{:03}{:02}T", hexid % 1000, copy);
    std::string out = fields[0];
    for (std::size_t i = 1; i < fields.size(); ++i) out += "," + fields[i];
    return out;
}

RequestAnswer lf_answer(sample::AppAnswer answer, double delayS) { return {answer, delayS}; }

}  // namespace

SampleTrafficSource::SampleTrafficSource(std::unique_ptr<sample::SampleTraffic> traffic, int copies)
    : traffic_(std::move(traffic)), copies_(copies) {}

const sample::SampleWorld& SampleTrafficSource::world() const { return traffic_->world(); }

std::vector<std::string> SampleTrafficSource::liveLines(std::int64_t second, double epoch) const {
    std::vector<std::string> lines;
    for (int copy = 0; copy < copies_; ++copy) {
        const std::int64_t shift = std::int64_t{copy} * sample::SampleTraffic::cycleSeconds() / copies_;
        std::vector<std::string> batch = sample::gf_sampleFlightsAt(*traffic_, second + shift, epoch - static_cast<double>(shift));
        if (batch.empty()) continue;
        batch.pop_back();  // one end tag for the whole second
        for (std::string& line : batch) lines.push_back(copy == 0 ? std::move(line) : lf_copyLine(line, copy));
    }
    if (!lines.empty()) lines.emplace_back("RTTFC_EOT");
    return lines;
}

std::vector<std::string> SampleTrafficSource::bufferLines(std::int64_t second, double epoch) const {
    return sample::gf_sampleBufferLines(*traffic_, second, epoch);
}

std::vector<std::string> SampleTrafficSource::parkedLines(std::int64_t second, double epoch,
                                                          const sample::ParkedBox& box) const {
    return sample::gf_sampleParkedLines(*traffic_, second, epoch, box);
}

GeneratedTrafficSource::GeneratedTrafficSource(const std::string& scenario, std::uint64_t seed,
                                               const sample::WorldOptions& options)
    : world_(sample::gf_loadSampleWorld(scenario)),
      airfield_(std::make_unique<sample::SampleAirfield>(world_)),
      generated_(sample::gf_generateWorld(world_, *airfield_, seed, options)) {}

std::vector<std::string> GeneratedTrafficSource::liveLines(std::int64_t second, double epoch) const {
    return sample::gf_worldLiveLines(generated_, second, epoch);
}

std::vector<std::string> GeneratedTrafficSource::bufferLines(std::int64_t second, double epoch) const {
    return sample::gf_worldBufferLines(generated_, second, epoch);
}

std::vector<std::string> GeneratedTrafficSource::parkedLines(std::int64_t, double epoch,
                                                             const sample::ParkedBox& box) const {
    return sample::gf_worldParkedLines(generated_, epoch, box);
}

bool GeneratedTrafficSource::madeBad(std::uint32_t hexid, double worldTimeS) const {
    const sample::GeneratedAircraft* a = generated_.find(hexid);
    if (a == nullptr) return false;
    // The line gives the time to the hundredth of a second.
    const auto at = std::lower_bound(a->reports.begin(), a->reports.end(), worldTimeS - 0.006,
                                     [](const sample::GeneratedReport& r, double t) { return r.t < t; });
    return at != a->reports.end() && at->t <= worldTimeS + 0.006 && at->madeBad;
}

RequestAnswer GeneratedTrafficSource::bufferAnswer() const {
    return lf_answer(generated_.bufferAnswer, generated_.bufferDelayS);
}

RequestAnswer GeneratedTrafficSource::parkedAnswer() const {
    return lf_answer(generated_.parkedAnswer, generated_.parkedDelayS);
}

}  // namespace tavo::test
