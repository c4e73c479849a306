// Record packing of the simulator model: new records, queueing them to a
// connection, packing an object's variables by a data definition and applying
// packed values a client sent, and system events to subscribers.

// Record fields are placed by offsetof on the derived record types, which
// g++ lays out plainly (see simconnect.h).
#pragma GCC diagnostic ignored "-Winvalid-offsetof"

#include <algorithm>
#include <cmath>
#include <cstring>

#include "platform/simconnect/sim_model_internal.h"
#include "foundation/geodesy.h"

namespace {

double lf_numeric(SimWorld& w, const SimObject& o, SimVar v) {
    switch (v) {
    case SimVar::Latitude: return o.pose.latitudeDeg;
    case SimVar::Longitude: return o.pose.longitudeDeg;
    case SimVar::Pitch: return o.pose.pitchRad;
    case SimVar::Bank: return o.pose.bankRad;
    case SimVar::Heading: return o.pose.headingRad;
    case SimVar::Altitude:
    case SimVar::IndicatedAltitude: return o.pose.altitudeFt;
    case SimVar::AltAboveGround:
        return o.pose.altitudeFt - gf_simTerrainFt(w, o.pose.latitudeDeg, o.pose.longitudeDeg);
    case SimVar::GroundAltitude: return gf_simTerrainFt(w, o.pose.latitudeDeg, o.pose.longitudeDeg);
    case SimVar::OnGround: return o.onGround ? 1.0 : 0.0;
    case SimVar::VerticalSpeed: return o.pose.verticalSpeedFpm;
    case SimVar::AirspeedTrue: return o.pose.trueAirspeedKt;
    case SimVar::GroundVelocity: return o.pose.groundVelocityKt;
    case SimVar::GpsTrack: {
        double deg = std::fmod(o.pose.headingRad * radiansToDegrees, 360.0);
        return deg < 0 ? deg + 360.0 : deg;
    }
    case SimVar::ZuluTime: return static_cast<double>(gf_simZuluFields(w)[0]);
    case SimVar::ZuluDay: return static_cast<double>(gf_simZuluFields(w)[1]);
    case SimVar::ZuluYear: return static_cast<double>(gf_simZuluFields(w)[2]);
    case SimVar::LightStates:
    case SimVar::LightOnStates: return static_cast<double>(o.lights);
    case SimVar::StaticCg: return o.staticCgFt;
    case SimVar::StaticPitch: return o.staticPitchRad;
    case SimVar::Spoilers: return o.spoilersPct;
    case SimVar::Throttle1: return o.throttle1Pct;
    case SimVar::Throttle2: return o.throttle2Pct;
    default: return 0.0;
    }
}

std::int64_t lf_integer(SimWorld& w, const SimObject& o, SimVar v, double scale) {
    switch (v) {
    case SimVar::ZuluTime: return gf_simZuluFields(w)[0];
    case SimVar::ZuluDay: return gf_simZuluFields(w)[1];
    case SimVar::ZuluYear: return gf_simZuluFields(w)[2];
    case SimVar::LightStates:
    case SimVar::LightOnStates: return o.lights;
    default: {
        const double value = lf_numeric(w, o, v) * scale;
        return std::isfinite(value) ? static_cast<std::int64_t>(value) : 0;
    }
    }
}

std::string_view lf_text(const SimObject& o, SimVar v) {
    switch (v) {
    case SimVar::AtcId: return o.atcId;
    case SimVar::AtcModel: return o.atcModel;
    case SimVar::Title: return o.title;
    default: return {};
    }
}

// Sets one variable from a value in the client's unit; read-only variables
// are left alone.
void lf_setNumeric(SimObject& o, SimVar v, double value, std::int64_t integer) {
    switch (v) {
    case SimVar::Latitude: o.pose.latitudeDeg = value; break;
    case SimVar::Longitude: o.pose.longitudeDeg = value; break;
    case SimVar::Pitch: o.pose.pitchRad = value; break;
    case SimVar::Bank: o.pose.bankRad = value; break;
    case SimVar::Heading: o.pose.headingRad = value; break;
    case SimVar::Altitude: o.pose.altitudeFt = value; break;
    case SimVar::VerticalSpeed: o.pose.verticalSpeedFpm = value; break;
    case SimVar::AirspeedTrue: o.pose.trueAirspeedKt = value; break;
    case SimVar::GroundVelocity: o.pose.groundVelocityKt = value; break;
    case SimVar::OnGround: o.onGround = value != 0.0; break;
    case SimVar::LightStates:
    case SimVar::LightOnStates: o.lights = integer; break;
    case SimVar::Spoilers: o.spoilersPct = value; break;
    case SimVar::Throttle1: o.throttle1Pct = value; break;
    case SimVar::Throttle2: o.throttle2Pct = value; break;
    default: break;
    }
}

}  // namespace

SimRecord gf_simNewRecord(std::size_t size, SIMCONNECT_RECV_ID id) {
    SimRecord r(size, std::byte{0});
    gf_simPut(r, 0, static_cast<DWORD>(size));
    gf_simPut(r, 4, DWORD{6});
    gf_simPut(r, 8, static_cast<DWORD>(id));
    return r;
}

void gf_simQueue(SimWorld& w, SimConnection& c, SimRecord record) {
    gf_simApplyRecordFaults(w, record);
    c.queue.push_back(std::move(record));
    w.queued.notify_all();
}

void gf_simQueueAnswer(SimWorld& w, SimConnection& c, SimRecord record) {
    if (w.answerDelayFrames == 0) {
        gf_simQueue(w, c, std::move(record));
        return;
    }
    c.heldAnswers.emplace_back(w.frameCount + w.answerDelayFrames, std::move(record));
}

void gf_simReleaseDueAnswers(SimWorld& w, SimConnection& c) {
    while (!c.heldAnswers.empty() && c.heldAnswers.front().first <= w.frameCount) {
        gf_simQueue(w, c, std::move(c.heldAnswers.front().second));
        c.heldAnswers.pop_front();
    }
}

SimRecord gf_simObjectData(SimWorld& w, const SimDataDefinition& def, const SimObject& object,
                           SIMCONNECT_RECV_ID kind, std::uint32_t requestId, std::uint32_t defineId,
                           std::uint32_t entry, std::uint32_t outOf) {
    std::size_t size = 40 + def.fixedSize;
    if (def.variable) {
        for (const auto& d : def.datums)
            if (d.type == SIMCONNECT_DATATYPE_STRINGV) size += lf_text(object, d.var).size() + 1;
    }
    SimRecord r = gf_simNewRecord(size, kind);
    gf_simPut(r, 12, requestId);
    gf_simPut(r, 16, object.id);
    gf_simPut(r, 20, defineId);
    gf_simPut(r, 28, entry);
    gf_simPut(r, 32, outOf);
    gf_simPut(r, 36, static_cast<DWORD>(def.datums.size()));
    std::size_t at = 40;
    for (const auto& d : def.datums) {
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: gf_simPut(r, at, lf_numeric(w, object, d.var) * d.scale); break;
        case SIMCONNECT_DATATYPE_FLOAT32:
            gf_simPut(r, at, static_cast<float>(lf_numeric(w, object, d.var) * d.scale));
            break;
        case SIMCONNECT_DATATYPE_INT64: gf_simPut(r, at, lf_integer(w, object, d.var, d.scale)); break;
        case SIMCONNECT_DATATYPE_INT32:
            gf_simPut(r, at, static_cast<std::int32_t>(lf_integer(w, object, d.var, d.scale)));
            break;
        case SIMCONNECT_DATATYPE_STRINGV: {
            const auto text = lf_text(object, d.var);
            std::memcpy(r.data() + at, text.data(), text.size());  // the NUL is already there
            at += text.size() + 1;
            continue;
        }
        default:
            if (gf_simIsStringType(d.type)) {
                const auto text = lf_text(object, d.var);
                std::memcpy(r.data() + at, text.data(), std::min(text.size(), d.width));
            }
            break;
        }
        at += d.width;
    }
    return r;
}

void gf_simApplyData(SimWorld& w, const SimDataDefinition& def, SimObject& object, const std::byte* data,
                     std::vector<double>& values) {
    values.clear();
    values.reserve(def.datums.size());
    bool altitudeSet = false;
    std::size_t at = 0;
    for (const auto& d : def.datums) {
        double value = 0;
        std::int64_t integer = 0;
        switch (d.type) {
        case SIMCONNECT_DATATYPE_FLOAT64: std::memcpy(&value, data + at, 8); break;
        case SIMCONNECT_DATATYPE_FLOAT32: {
            float f = 0;
            std::memcpy(&f, data + at, 4);
            value = f;
            break;
        }
        case SIMCONNECT_DATATYPE_INT64:
            std::memcpy(&integer, data + at, 8);
            value = static_cast<double>(integer);
            break;
        case SIMCONNECT_DATATYPE_INT32: {
            std::int32_t i = 0;
            std::memcpy(&i, data + at, 4);
            integer = i;
            value = i;
            break;
        }
        default: break;  // texts are not settable
        }
        at += d.width;
        values.push_back(value);
        if (gf_simIsStringType(d.type) || gf_simIsTextVar(d.var)) continue;
        const double own = d.scale != 0 ? value / d.scale : value;
        lf_setNumeric(object, d.var, own, integer);
        altitudeSet = altitudeSet || d.var == SimVar::Altitude;
    }
    // An AI aircraft sits on the ground when its altitude puts it there.
    if (altitudeSet && object.kind == SimObjectKind::Ai) {
        const double agl = object.pose.altitudeFt - gf_simTerrainFt(w, object.pose.latitudeDeg, object.pose.longitudeDeg);
        object.onGround = agl <= object.staticCgFt + 2.0;
    }
}

void gf_simNotify(SimWorld& w, std::string_view upperName, std::uint32_t data, std::optional<std::uint32_t> objectType) {
    for (auto& [handle, c] : w.connections) {
        if (c->quit) continue;
        for (const auto& [eventId, name] : c->subscriptions) {
            if (name != upperName) continue;
            SimRecord r = objectType ? gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE),
                                                       SIMCONNECT_RECV_ID_EVENT_OBJECT_ADDREMOVE)
                                     : gf_simNewRecord(sizeof(SIMCONNECT_RECV_EVENT), SIMCONNECT_RECV_ID_EVENT);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uGroupID), SIMCONNECT_UNUSED);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, uEventID), eventId);
            gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT, dwData), data);
            if (objectType) gf_simPut(r, offsetof(SIMCONNECT_RECV_EVENT_OBJECT_ADDREMOVE, eObjType), *objectType);
            gf_simQueue(w, *c, std::move(r));
        }
    }
}
