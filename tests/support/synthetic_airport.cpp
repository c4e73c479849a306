#include "support/synthetic_airport.h"

#include <array>
#include <random>
#include <string>
#include <string_view>
#include <utility>

#include <fmt/format.h>

#include "engine/engine_lists.h"
#include "engine/stands.h"
#include "foundation/time.h"
#include "liveries/code_tables.h"

namespace tavo::test {

namespace {

constexpr std::array<std::string_view, 7> kAirlines{"KLM", "DLH", "BAW", "AFR", "UAL", "RYR", "EZY"};
constexpr std::array<std::string_view, 6> kModels{"B738", "A320", "A321", "E190", "B77W", "A333"};
constexpr std::array<ParkingType, 5> kTypes{ParkingType::GATE_HEAVY, ParkingType::GATE_MEDIUM, ParkingType::RAMP_CARGO,
                                            ParkingType::RAMP_GA_LARGE, ParkingType::GATE_EXTRA};
constexpr std::size_t kStandsPerRow = 25;
constexpr double kRowApartDeg = 0.0012;    // about 130 m
constexpr double kStandApartDeg = 0.0015;  // about 100 m at 50 N
constexpr double kRadiusMetres = 40.0;

class Draw {
public:
    explicit Draw(std::uint32_t seed) : engine_(seed) {}
    std::size_t below(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(engine_); }
    bool chance(double share) { return std::uniform_real_distribution<double>(0.0, 1.0)(engine_) < share; }

private:
    std::mt19937 engine_;
};

AcKey lf_key(Draw& draw) {
    AcKey key;
    key.airline = gf_internAirlineCode(kAirlines[draw.below(kAirlines.size())]);
    key.model = gf_internModelCode(kModels[draw.below(kModels.size())]);
    return key;
}

std::string lf_callsign(const AcKey& key, std::size_t number) {
    return fmt::format("{}{}", gf_airlineCodeAt(key.airline), 100 + number);
}

std::vector<Stand> lf_stands(const SyntheticAirportSpec& spec, Draw& draw) {
    std::vector<Stand> stands;
    stands.reserve(spec.stands);
    std::size_t optionCount = 0;
    for (std::size_t i = 0; i < spec.stands; ++i) {
        const bool overlaps = spec.overlapEvery != 0 && i > 0 && i % spec.overlapEvery == 0;
        const bool heli = spec.heliEvery != 0 && i % spec.heliEvery == spec.heliEvery - 1;
        LaLo position{spec.origin.lat + double(i / kStandsPerRow) * kRowApartDeg,
                      spec.origin.lon + double(i % kStandsPerRow) * kStandApartDeg};
        if (overlaps) position = LaLo{stands.back().latitude + 0.0001, stands.back().longitude};
        std::vector<StandOption> options;
        for (std::size_t k = 0; k < spec.optionsPerStand; ++k) {
            StandOption option;
            option.key = lf_key(draw);
            if (heli) option.key.model = gf_internModelCode("EC35");
            option.registration = fmt::format("SY-{:05}", optionCount);
            option.callsign1 = lf_callsign(option.key, optionCount);
            if (optionCount % 3 == 0) option.callsign2 = lf_callsign(option.key, optionCount + 5000);
            const std::size_t first = draw.below(kSlotsPerDay);
            const std::size_t length = 2 + draw.below(9);
            for (std::size_t s = first; s < std::min<std::size_t>(first + length, kSlotsPerDay); ++s)
                option.hours.set(s);
            option.day = static_cast<std::uint32_t>(1 + draw.below(7));
            option.real = draw.chance(spec.realShare) ? 1 : 0;
            option.number = static_cast<std::uint32_t>(k + 1);
            options.push_back(std::move(option));
            ++optionCount;
        }
        const ParkingType type = heli ? ParkingType::RAMP_GA_SMALL : kTypes[i % kTypes.size()];
        stands.emplace_back(fmt::format("P{}", i + 1), std::move(options), position.lat, position.lon,
                            double(i % 8) * 0.785, kRadiusMetres, type, type == ParkingType::RAMP_CARGO, false, heli);
        stands.back().id = static_cast<std::uint32_t>(i + 1);
        if (overlaps) {
            stands.back().excludes.push_back(static_cast<std::uint32_t>(i));
            stands[i - 1].excludes.push_back(static_cast<std::uint32_t>(i + 1));
        }
    }
    return stands;
}

std::uint64_t lf_pack(WeekTime t) { return (std::uint64_t{t.slot} << 32) | t.day; }

}  // namespace

SyntheticAirport makeSyntheticAirport(const SyntheticAirportSpec& spec) {
    Draw draw(spec.seed);
    SyntheticAirport airport;
    airport.stands = lf_stands(spec, draw);
    const std::size_t standCount = airport.stands.size();

    // Statics take the flight of their stand's first option, so that a plan
    // may keep them.
    const std::size_t staticStride = spec.statics == 0 ? 1 : std::max<std::size_t>(1, standCount / spec.statics);
    for (std::size_t i = 0; i < spec.statics && standCount > 0; ++i) {
        const Stand& stand = airport.stands[(i * staticStride) % standCount];
        FlightIdentity identity;
        if (!stand.options.empty()) {
            const StandOption& option = stand.options.front();
            identity.key = option.key;
            identity.callsign = option.callsign1;
            identity.identity2 = option.callsign1;
            identity.identity3 = option.callsign2;
            identity.registration = option.registration;
        } else {
            identity.key = lf_key(draw);
            identity.callsign = lf_callsign(identity.key, 9000 + i);
        }
        AcInfo info = gf_makeAcInfo(identity);
        info.hexid = static_cast<std::uint32_t>(i + 1);
        info.liveryTitle = "KLM B738";
        AcBase s = gf_initStaticAircraft(info, static_cast<std::int32_t>(stand.id), LaLo{stand.latitude, stand.longitude},
                                         stand.heading, stand.cargo);
        s.simState = AcSimState::active;
        s.objectId = static_cast<std::uint32_t>(100 + i);
        s.fromAirportFile = 1;
        s.parkTime = static_cast<double>(lf_pack(WeekTime{static_cast<std::uint32_t>(1 + i % 7), 10}));
        airport.statics.push_back(std::move(s));
    }

    for (std::size_t i = 0; i < spec.liveAircraft; ++i) {
        FlightIdentity identity;
        identity.key = lf_key(draw);
        identity.callsign = fmt::format("LIV{}", i);
        identity.registration = fmt::format("LV-{:04}", i);
        AcInfo info = gf_makeAcInfo(identity);
        info.hexid = static_cast<std::uint32_t>(0x400000 + i);
        info.liveryTitle = "KLM B738";
        const bool parked = i % 3 == 0 && standCount > 0;
        const Stand* stand = parked ? &airport.stands[(i * 7 + 3) % standCount] : nullptr;
        StreamPoint point;
        point.lat = stand ? stand->latitude : spec.origin.lat + 0.5 + double(i) * 0.001;
        point.lon = stand ? stand->longitude : spec.origin.lon;
        point.altitudeFt = stand ? 0.0 : 8000.0;
        point.airborne = stand ? 0 : 1;
        LiveAc ac({point}, info, 1.7e9);
        ac.simState = AcSimState::active;
        ac.objectId = static_cast<std::uint32_t>(1000 + i);
        ac.pose.latitude = point.lat;
        ac.pose.longitude = point.lon;
        ac.onGround = stand ? 1 : 0;
        ac.phase = stand ? AcPhase::parked : AcPhase::flying;
        ac.standId = stand ? static_cast<std::int32_t>(stand->id) : 0;
        ac.phaseStartClock = gf_systemClock100ns();
        airport.live.push_back(std::move(ac));
    }

    for (std::size_t i = 0; i < spec.parkedRecords && standCount > 0; ++i) {
        const Stand& stand = airport.stands[(i * 13 + 5) % standCount];
        ParkedRecord record;
        record.identity.key = lf_key(draw);
        record.identity.callsign = fmt::format("{}{}", gf_airlineCodeAt(record.identity.key.airline), 7000 + i);
        record.identity.registration = fmt::format("PK-{:05}", i);
        record.hexid = static_cast<std::uint32_t>(0x500000 + i);
        record.position = LaLo{stand.latitude, stand.longitude};
        // Two in three name their stand; the rest name none of the airport's
        // (each another) and are found by position.
        record.standName = i % 3 != 2 ? "Gate " + stand.name : fmt::format("Gate R{}", i);
        record.age = static_cast<std::int32_t>(i * kSlotsPerDay / std::max<std::size_t>(spec.parkedRecords, 1));
        record.slot = ((spec.nowSlot - record.age) % kSlotsPerDay + kSlotsPerDay) % kSlotsPerDay;
        airport.parked.push_back(std::move(record));
    }
    return airport;
}

void installSyntheticAirport(const SyntheticAirport& airport) {
    g_standTable = airport.stands;
    g_standNameIndex.clear();
    for (const Stand& stand : g_standTable) g_standNameIndex.emplace(stand.name, stand.id);
    gf_publishStandSnapshot();
    g_staticAircraft = airport.statics;
    g_liveAircraft = airport.live;
}

FakeParkedFeed::FakeParkedFeed(bool rtDirect) {
    ParkedTrafficSource source;
    source.fetch = [this] {
        ++fetches;
        return ready;
    };
    source.parkedMutex = &mutex;
    source.parkedList = &parked;
    source.skipEmptyList = !rtDirect;
    source.mapsMutex = &mutex;
    source.maps = &maps;
    gf_setParkedTrafficSource(rtDirect, std::move(source));
}

FakeParkedFeed::~FakeParkedFeed() { gf_clearParkedTrafficSources(); }

void FakeParkedFeed::setParked(std::vector<ParkedRecord> records) {
    std::lock_guard lock(mutex);
    parked = std::move(records);
}

void FakeParkedFeed::addLiveName(const std::string& callsign, std::uint32_t hexid) {
    std::lock_guard lock(mutex);
    maps.insert(HandOverEntry{callsign, hexid});
}

}  // namespace tavo::test
