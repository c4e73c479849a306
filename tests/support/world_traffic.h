#pragma once
// What the RealTraffic application peer of a whole-program run sends: the
// sample world's scripted traffic, or a world generated from a seed. The run
// asks the source for each simulated second's live batch and for the replies
// to the program's buffer and parked requests; the source says how the
// application answers those requests (at once, late or never).

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "tools/sample_feed/sample_lines.h"
#include "tools/sample_feed/world_generator.h"

namespace tavo::test {

// How the application answers one kind of request.
struct RequestAnswer {
    sample::AppAnswer answer = sample::AppAnswer::AtOnce;
    double delayS = 0.0;  // late answers: this long after the request
};

class TrafficSource {
public:
    virtual ~TrafficSource() = default;
    virtual const sample::SampleWorld& world() const = 0;
    // The live batch sent in the feed's second (RTTFC lines and RTTFC_EOT),
    // nothing when no aircraft is due; `epoch` is the time of second 0.
    virtual std::vector<std::string> liveLines(std::int64_t second, double epoch) const = 0;
    virtual std::vector<std::string> bufferLines(std::int64_t second, double epoch) const = 0;
    virtual std::vector<std::string> parkedLines(std::int64_t second, double epoch,
                                                 const sample::ParkedBox& box) const = 0;
    std::string weather(double timestamp) const { return sample::gf_sampleWeatherDatagram(world().icao, timestamp); }
    virtual RequestAnswer bufferAnswer() const { return {}; }
    virtual RequestAnswer parkedAnswer() const { return {}; }
    // Whether the source knows which of its reports it made bad, and whether
    // the aircraft's report at a world time (seconds from the feed's start)
    // is one of them.
    virtual bool listsMadeBad() const { return false; }
    // When the application's TCP link drops and for how long (none: never).
    virtual std::optional<sample::LinkDrop> linkDrop() const { return std::nullopt; }
    virtual bool madeBad(std::uint32_t /*hexid*/, double /*worldTimeS*/) const { return false; }
};

// The sample world's traffic, `copies` times over (each copy a fraction of
// the cycle later, with hexids, callsigns and registrations of its own).
class SampleTrafficSource : public TrafficSource {
public:
    SampleTrafficSource(std::unique_ptr<sample::SampleTraffic> traffic, int copies);
    const sample::SampleTraffic& traffic() const { return *traffic_; }
    const sample::SampleWorld& world() const override;
    std::vector<std::string> liveLines(std::int64_t second, double epoch) const override;
    std::vector<std::string> bufferLines(std::int64_t second, double epoch) const override;
    std::vector<std::string> parkedLines(std::int64_t second, double epoch, const sample::ParkedBox& box) const override;

private:
    std::unique_ptr<sample::SampleTraffic> traffic_;
    int copies_ = 1;
};

// A generated world on the scenario's airport.
class GeneratedTrafficSource : public TrafficSource {
public:
    // Draws the seed's world on the scenario file's airport.
    GeneratedTrafficSource(const std::string& scenario, std::uint64_t seed, const sample::WorldOptions& options);
    const sample::GeneratedWorld& generated() const { return generated_; }
    const sample::SampleWorld& world() const override { return world_; }
    std::vector<std::string> liveLines(std::int64_t second, double epoch) const override;
    std::vector<std::string> bufferLines(std::int64_t second, double epoch) const override;
    std::vector<std::string> parkedLines(std::int64_t second, double epoch, const sample::ParkedBox& box) const override;
    RequestAnswer bufferAnswer() const override;
    RequestAnswer parkedAnswer() const override;
    bool listsMadeBad() const override { return true; }
    std::optional<sample::LinkDrop> linkDrop() const override { return generated_.linkDrop; }
    bool madeBad(std::uint32_t hexid, double worldTimeS) const override;

private:
    sample::SampleWorld world_;
    std::unique_ptr<sample::SampleAirfield> airfield_;
    sample::GeneratedWorld generated_;
};

}  // namespace tavo::test
