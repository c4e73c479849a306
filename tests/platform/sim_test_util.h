#pragma once
// Helpers of the simulator model tests: a client that keeps every record it
// is handed, and readers of record fields by offset.

#include <gtest/gtest.h>

#include <cstddef>
#include <cstring>
#include <string>
#include <vector>

#include "platform/simconnect/sim_model.h"
#include "platform/simconnect/simconnect.h"

namespace tavo::test {

using Record = std::vector<std::byte>;

struct Received {
    std::vector<Record> records;
    std::vector<DWORD> sizes;
};

inline void collectProc(SIMCONNECT_RECV* data, DWORD size, void* context) {
    auto* r = static_cast<Received*>(context);
    const auto* bytes = reinterpret_cast<const std::byte*>(data);
    r->records.emplace_back(bytes, bytes + size);
    r->sizes.push_back(size);
}

template <typename T>
T field(const Record& record, std::size_t offset) {
    T value{};
    EXPECT_LE(offset + sizeof(T), record.size()) << "field past the record's end";
    if (offset + sizeof(T) <= record.size()) std::memcpy(&value, record.data() + offset, sizeof(T));
    return value;
}

inline DWORD recvId(const Record& record) { return field<DWORD>(record, 8); }
// The exception number of an EXCEPTION record (its send id follows at 16).
inline DWORD exceptionOf(const Record& record) {
    EXPECT_EQ(recvId(record), static_cast<DWORD>(SIMCONNECT_RECV_ID_EXCEPTION));
    return field<DWORD>(record, 12);
}

inline std::string text(const Record& record, std::size_t offset, std::size_t width) {
    std::string s;
    for (std::size_t i = offset; i < offset + width && i < record.size(); ++i) {
        const char c = static_cast<char>(record[i]);
        if (c == '\0') break;
        s.push_back(c);
    }
    return s;
}

// Dispatches everything queued for the handle.
inline Received drain(HANDLE h) {
    Received r;
    EXPECT_EQ(SimConnect_CallDispatch(h, collectProc, &r), S_OK);
    return r;
}

inline std::vector<Record> ofKind(const Received& r, DWORD id) {
    std::vector<Record> out;
    for (const auto& rec : r.records)
        if (recvId(rec) == id) out.push_back(rec);
    return out;
}

inline SIMCONNECT_DATA_INITPOSITION initAt(double lat, double lon, double altFt) {
    return {lat, lon, altFt, 0.0, 0.0, 90.0, 1, 0};
}

// Creates an AI aircraft and returns the object id the model assigned.
inline DWORD createAircraft(HANDLE h, const char* title = "Any", DWORD request = 10000) {
    EXPECT_EQ(SimConnect_AICreateNonATCAircraft(h, title, "N1", initAt(47.0, 8.0, 1000), request), S_OK);
    const auto assigned = ofKind(drain(h), SIMCONNECT_RECV_ID_ASSIGNED_OBJECT_ID);
    return assigned.empty() ? 0 : field<DWORD>(assigned[0], 16);
}

// Resets the model before and after every test.
class SimModelTest : public ::testing::Test {
protected:
    void SetUp() override { gf_simModelReset(); }
    void TearDown() override { gf_simModelReset(); }

    HANDLE open(const char* name = "TAVO") {
        HANDLE h = nullptr;
        EXPECT_EQ(SimConnect_Open(&h, name, nullptr, 0, nullptr, 0), S_OK);
        return h;
    }
};

}  // namespace tavo::test
