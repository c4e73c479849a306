// Facility data of the simulator model: checking a client's facility
// definition and packing a model airport's blocks by it. The answer follows
// the definition: one block per opened item, its fields in the order the
// definition names them, each item followed by its own children, child lists
// in the order they were opened.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <stdexcept>
#include <variant>

#include "platform/simconnect/sim_model_internal.h"

namespace {

enum class Block : std::uint8_t { Airport, TaxiParking, Helipad, Runway, Start, PrimaryThreshold, SecondaryThreshold };

struct BlockName {
    const char* name;
    Block block;
};

constexpr BlockName kBlocks[] = {
    {"AIRPORT", Block::Airport},
    {"TAXI_PARKING", Block::TaxiParking},
    {"HELIPAD", Block::Helipad},
    {"RUNWAY", Block::Runway},
    {"START", Block::Start},
    {"PRIMARY_THRESHOLD", Block::PrimaryThreshold},
    {"SECONDARY_THRESHOLD", Block::SecondaryThreshold},
};

std::optional<Block> lf_block(std::string_view name) {
    for (const auto& b : kBlocks)
        if (name == b.name) return b.block;
    return std::nullopt;
}

bool lf_allowedChild(Block parent, Block child) {
    switch (parent) {
    case Block::Airport:
        return child == Block::TaxiParking || child == Block::Helipad || child == Block::Runway || child == Block::Start;
    case Block::Runway: return child == Block::PrimaryThreshold || child == Block::SecondaryThreshold;
    default: return false;
    }
}

DWORD lf_type(Block b) {
    switch (b) {
    case Block::Airport: return SIMCONNECT_FACILITY_DATA_AIRPORT;
    case Block::TaxiParking: return SIMCONNECT_FACILITY_DATA_TAXI_PARKING;
    case Block::Helipad: return SIMCONNECT_FACILITY_DATA_HELIPAD;
    case Block::Runway: return SIMCONNECT_FACILITY_DATA_RUNWAY;
    case Block::Start: return SIMCONNECT_FACILITY_DATA_START;
    default: return SIMCONNECT_FACILITY_DATA_PAVEMENT;
    }
}

// One packed field value: f64, f32, i32, u32 or a fixed-width text.
struct Text {
    std::string_view text;
    std::size_t width;
};
using Value = std::variant<double, float, std::int32_t, std::uint32_t, Text>;

std::size_t lf_width(const Value& v) {
    if (std::holds_alternative<double>(v)) return 8;
    if (const auto* t = std::get_if<Text>(&v)) return t->width;
    return 4;
}

// An item of any block kind (null pointers for the kinds it is not).
struct Item {
    const SimAirport* airport = nullptr;
    const SimTaxiParking* parking = nullptr;
    const SimHelipad* helipad = nullptr;
    const SimRunway* runway = nullptr;
    const SimStart* start = nullptr;
    const SimThreshold* threshold = nullptr;
};

// The field's value for an item; nullopt for a name the block does not have.
// With every pointer null it answers only whether the name exists (a
// placeholder value of the right width).
std::optional<Value> lf_field(Block b, std::string_view f, const Item& it) {
    static const SimAirport noAirport;
    static const SimTaxiParking noParking;
    static const SimHelipad noHelipad;
    static const SimRunway noRunway;
    static const SimStart noStart;
    static const SimThreshold noThreshold;
    switch (b) {
    case Block::Airport: {
        const auto& a = it.airport ? *it.airport : noAirport;
        if (f == "LATITUDE") return a.latitudeDeg;
        if (f == "LONGITUDE") return a.longitudeDeg;
        if (f == "ALTITUDE") return a.altitudeM;
        if (f == "NAME") return Text{a.name, 32};
        if (f == "NAME64") return Text{a.name, 64};
        if (f == "ICAO") return Text{a.icao, 8};
        if (f == "REGION") return Text{a.region, 8};
        if (f == "N_RUNWAYS") return a.advertisedRunways.value_or(static_cast<std::int32_t>(a.runways.size()));
        if (f == "N_STARTS") return a.advertisedStarts.value_or(static_cast<std::int32_t>(a.starts.size()));
        if (f == "N_HELIPADS") return a.advertisedHelipads.value_or(static_cast<std::int32_t>(a.helipads.size()));
        if (f == "N_TAXI_PARKINGS")
            return a.advertisedParkings.value_or(static_cast<std::int32_t>(a.parkings.size()));
        return std::nullopt;
    }
    case Block::TaxiParking: {
        const auto& p = it.parking ? *it.parking : noParking;
        if (f == "TYPE") return p.type;
        if (f == "TAXI_POINT_TYPE") return p.taxiPointType;
        if (f == "NAME") return p.name;
        if (f == "SUFFIX") return p.suffix;
        if (f == "NUMBER") return p.number;
        if (f == "ORIENTATION") return p.orientation;
        if (f == "HEADING") return p.headingDeg;
        if (f == "RADIUS") return p.radiusM;
        if (f == "BIAS_X") return p.biasXM;
        if (f == "BIAS_Z") return p.biasZM;
        return std::nullopt;
    }
    case Block::Helipad: {
        const auto& h = it.helipad ? *it.helipad : noHelipad;
        if (f == "LATITUDE") return h.latitudeDeg;
        if (f == "LONGITUDE") return h.longitudeDeg;
        if (f == "ALTITUDE") return h.altitudeM;
        if (f == "HEADING") return h.headingDeg;
        if (f == "LENGTH") return h.lengthM;
        if (f == "WIDTH") return h.widthM;
        if (f == "SURFACE") return h.surface;
        if (f == "TYPE") return h.type;
        return std::nullopt;
    }
    case Block::Runway: {
        const auto& r = it.runway ? *it.runway : noRunway;
        if (f == "LATITUDE") return r.latitudeDeg;
        if (f == "LONGITUDE") return r.longitudeDeg;
        if (f == "ALTITUDE") return r.altitudeM;
        if (f == "HEADING") return r.headingDeg;
        if (f == "LENGTH") return r.lengthM;
        if (f == "WIDTH") return r.widthM;
        if (f == "PRIMARY_NUMBER") return r.primaryNumber;
        if (f == "PRIMARY_DESIGNATOR") return r.primaryDesignator;
        if (f == "SECONDARY_NUMBER") return r.secondaryNumber;
        if (f == "SECONDARY_DESIGNATOR") return r.secondaryDesignator;
        if (f == "SURFACE") return r.surface;
        return std::nullopt;
    }
    case Block::Start: {
        const auto& s = it.start ? *it.start : noStart;
        if (f == "LATITUDE") return s.latitudeDeg;
        if (f == "LONGITUDE") return s.longitudeDeg;
        if (f == "ALTITUDE") return s.altitudeM;
        if (f == "HEADING") return s.headingDeg;
        if (f == "NUMBER") return s.number;
        if (f == "DESIGNATOR") return s.designator;
        if (f == "TYPE") return s.type;
        return std::nullopt;
    }
    case Block::PrimaryThreshold:
    case Block::SecondaryThreshold: {
        const auto& t = it.threshold ? *it.threshold : noThreshold;
        if (f == "LENGTH") return t.lengthM;
        if (f == "WIDTH") return t.widthM;
        if (f == "ENABLE") return t.enable;
        return std::nullopt;
    }
    }
    return std::nullopt;
}

struct Node {
    Block block = Block::Airport;
    std::vector<std::string> fields;
    std::vector<Node> children;
};

// Parses definition entries into the block tree. Throws std::invalid_argument
// with the reason; with `partial` an unclosed block at the end is accepted.
Node lf_parse(const std::vector<std::string>& entries, bool partial) {
    Node root;
    std::vector<Node*> stack;
    bool rootSeen = false;
    for (const auto& raw : entries) {
        const std::string e = gf_toUpperAscii(raw);
        if (e.rfind("OPEN ", 0) == 0 || e.rfind("CLOSE ", 0) == 0) {
            const bool open = e[0] == 'O';
            const auto block = lf_block(std::string_view(e).substr(open ? 5 : 6));
            if (!block) throw std::invalid_argument("unknown block " + e);
            if (open) {
                if (stack.empty()) {
                    if (rootSeen || *block != Block::Airport) throw std::invalid_argument("definition must open AIRPORT once");
                    rootSeen = true;
                    root.block = Block::Airport;
                    stack.push_back(&root);
                } else {
                    if (!lf_allowedChild(stack.back()->block, *block)) throw std::invalid_argument("misplaced " + e);
                    stack.back()->children.push_back(Node{*block, {}, {}});
                    stack.push_back(&stack.back()->children.back());
                }
            } else {
                if (stack.empty() || stack.back()->block != *block) throw std::invalid_argument("unmatched " + e);
                stack.pop_back();
            }
            continue;
        }
        if (stack.empty()) throw std::invalid_argument("field outside a block: " + e);
        if (!lf_field(stack.back()->block, e, Item{})) throw std::invalid_argument("unknown field " + e);
        stack.back()->fields.push_back(e);
    }
    if (!rootSeen || (!partial && !stack.empty())) throw std::invalid_argument("definition incomplete");
    return root;
}

void lf_emit(const Node& node, const Item& item, std::uint32_t parentUid, bool listItem, std::uint32_t index,
             std::uint32_t listSize, std::uint32_t requestId, std::uint32_t& nextUid, std::vector<SimRecord>& out) {
    std::vector<Value> values;
    values.reserve(node.fields.size());
    std::size_t size = 40;
    for (const auto& f : node.fields) {
        values.push_back(*lf_field(node.block, f, item));
        size += lf_width(values.back());
    }
    const std::uint32_t uid = nextUid++;
    SimRecord r = gf_simNewRecord(size, SIMCONNECT_RECV_ID_FACILITY_DATA);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, UserRequestId), requestId);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, UniqueRequestId), uid);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, ParentUniqueRequestId), parentUid);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, Type), lf_type(node.block));
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, IsListItem), static_cast<DWORD>(listItem ? 1 : 0));
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, ItemIndex), index);
    gf_simPut(r, offsetof(SIMCONNECT_RECV_FACILITY_DATA, ListSize), listSize);
    std::size_t at = 40;
    for (const auto& v : values) {
        std::visit(
            [&](const auto& x) {
                using T = std::decay_t<decltype(x)>;
                if constexpr (std::is_same_v<T, Text>) {
                    std::memcpy(r.data() + at, x.text.data(), std::min(x.text.size(), x.width));
                } else {
                    gf_simPut(r, at, x);
                }
            },
            v);
        at += lf_width(v);
    }
    out.push_back(std::move(r));

    for (const auto& child : node.children) {
        switch (child.block) {
        case Block::TaxiParking: {
            const auto& list = item.airport->parkings;
            for (std::size_t i = 0; i < list.size(); ++i)
                lf_emit(child, Item{.parking = &list[i]}, uid, true, static_cast<std::uint32_t>(i),
                        static_cast<std::uint32_t>(list.size()), requestId, nextUid, out);
            break;
        }
        case Block::Helipad: {
            const auto& list = item.airport->helipads;
            for (std::size_t i = 0; i < list.size(); ++i)
                lf_emit(child, Item{.helipad = &list[i]}, uid, true, static_cast<std::uint32_t>(i),
                        static_cast<std::uint32_t>(list.size()), requestId, nextUid, out);
            break;
        }
        case Block::Runway: {
            const auto& list = item.airport->runways;
            for (std::size_t i = 0; i < list.size(); ++i)
                lf_emit(child, Item{.runway = &list[i]}, uid, true, static_cast<std::uint32_t>(i),
                        static_cast<std::uint32_t>(list.size()), requestId, nextUid, out);
            break;
        }
        case Block::Start: {
            const auto& list = item.airport->starts;
            for (std::size_t i = 0; i < list.size(); ++i)
                lf_emit(child, Item{.start = &list[i]}, uid, true, static_cast<std::uint32_t>(i),
                        static_cast<std::uint32_t>(list.size()), requestId, nextUid, out);
            break;
        }
        case Block::PrimaryThreshold:
            lf_emit(child, Item{.threshold = &item.runway->primaryThreshold}, uid, false, 0, 0, requestId, nextUid, out);
            break;
        case Block::SecondaryThreshold:
            lf_emit(child, Item{.threshold = &item.runway->secondaryThreshold}, uid, false, 0, 0, requestId, nextUid,
                    out);
            break;
        case Block::Airport: break;
        }
    }
}

}  // namespace

std::optional<std::string> gf_simFacilityCheck(const std::vector<std::string>& entries, const std::string& next) {
    std::vector<std::string> all = entries;
    all.push_back(next);
    try {
        lf_parse(all, true);
    } catch (const std::invalid_argument& e) {
        return std::string(e.what());
    }
    return std::nullopt;
}

std::vector<SimRecord> gf_simFacilityAnswer(const std::vector<std::string>& entries, const SimAirport& airport,
                                            std::uint32_t requestId, std::uint32_t& nextUniqueId) {
    const Node root = lf_parse(entries, false);
    std::vector<SimRecord> out;
    lf_emit(root, Item{.airport = &airport}, 0, false, 0, 0, requestId, nextUniqueId, out);
    return out;
}
