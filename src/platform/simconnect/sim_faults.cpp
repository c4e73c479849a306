// Fault knobs of the simulator model: calls that fail, records cut short,
// withheld facility ends, and records queued as a test writes them.

#include <cstring>

#include "platform/simconnect/sim_model_internal.h"

void gf_simApplyRecordFaults(SimWorld& w, SimRecord& record) {
    if (record.size() >= 12 && !w.recordFaults.empty()) {
        DWORD id = 0;
        std::memcpy(&id, record.data() + 8, 4);
        std::optional<DWORD> requestId;
        if ((id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA || id == SIMCONNECT_RECV_ID_SIMOBJECT_DATA_BYTYPE ||
             id == SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID || id == SIMCONNECT_RECV_ID_FACILITY_DATA ||
             id == SIMCONNECT_RECV_ID_FACILITY_DATA_END) &&
            record.size() >= 16) {
            DWORD v = 0;
            std::memcpy(&v, record.data() + 12, 4);
            requestId = v;
        }
        for (auto& f : w.recordFaults) {
            if (f.fault.times == 0 || f.fault.recvId != id) continue;
            if (f.fault.requestId && f.fault.requestId != requestId) continue;
            if (f.fault.times > 0) --f.fault.times;
            if (f.fault.truncateTo < record.size()) {
                // A fresh buffer of exactly the cut size, so that a reader going
                // past the size it was given touches memory it does not own.
                SimRecord cut(record.begin(), record.begin() + f.fault.truncateTo);
                if (cut.size() >= 4) gf_simPut(cut, 0, static_cast<DWORD>(cut.size()));
                record = std::move(cut);
            }
            break;
        }
    }
}

void gf_simModelAddCallFault(const SimCallFault& fault) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.callFaults.push_back({fault, 0});
}

void gf_simModelAddRecordFault(const SimRecordFault& fault) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.recordFaults.push_back({fault});
}

void gf_simModelSetWithholdFacilityEnd(bool withhold) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.withholdFacilityEnd = withhold;
}

void gf_simModelSendException(const std::string& connection, DWORD exception, DWORD sendId, DWORD index) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    for (auto& [h, c] : w.connections) {
        if (c->quit || (!connection.empty() && c->name != connection)) continue;
        SimRecord r = gf_simNewRecord(sizeof(SIMCONNECT_RECV_EXCEPTION), SIMCONNECT_RECV_ID_EXCEPTION);
        gf_simPut(r, 12, exception);
        gf_simPut(r, 16, sendId);
        gf_simPut(r, 20, index);
        gf_simQueue(w, *c, std::move(r));
    }
}

void gf_simModelQueueRawRecord(const std::string& connection, const std::vector<std::byte>& record) {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    for (auto& [h, c] : w.connections) {
        if (c->quit || (!connection.empty() && c->name != connection)) continue;
        c->queue.push_back(record);
    }
}

void gf_simModelClearFaults() {
    auto& w = gf_simWorld();
    std::lock_guard lock(w.mutex);
    w.callFaults.clear();
    w.recordFaults.clear();
    w.withholdFacilityEnd = false;
}
