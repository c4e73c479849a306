#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/engine_lists.h"
#include "engine/removal.h"
#include "liveries/code_tables.h"
#include "support/temp_dir.h"

using ::testing::HasSubstr;

namespace {

class Removal : public tavo::test::LogFileTest {
protected:
    void SetUp() override {
        LogFileTest::SetUp();
        lf_clear();
    }
    void TearDown() override {
        lf_clear();
        LogFileTest::TearDown();
    }
    static void lf_clear() {
        removeQueue.clear();
        liveCreateQueue.clear();
        staticCreateQueue.clear();
        g_staticsChanged = false;
    }
    static AiCreateRequest request(std::uint32_t hexid) {
        AiCreateRequest r;
        r.hexid = hexid;
        return r;
    }
};

}  // namespace

TEST_F(Removal, ByState) {
    enum Queued { none, live, statics };
    struct Row {
        const char* name;
        AcSimState state;
        std::uint32_t hexid, objectId;
        bool removeWhenCreatedBefore;
        Queued queued;
        // afterwards
        AcSimState stateAfter;
        std::size_t removals;
        bool removeRecord, createDropped, removeWhenCreated, staticsChanged;
        const char* line;
    };
    using S = AcSimState;
    const Row rows[] = {
        {"buffer", S::buffer, 0x4840D6, 0, false, none, S::buffer, 0, true, false, false, false, ""},
        {"create waiting live", S::adding2sim, 0x4840D6, 0, false, live, S::adding2sim, 0, false, true, false, false,
         ""},
        {"create waiting static", S::adding2sim, 42, 0, false, statics, S::adding2sim, 0, false, true, false, false,
         ""},
        {"create in flight", S::adding2sim, 0x4840D6, 0, false, none, S::adding2sim, 0, false, false, true, false,
         ""},
        {"create in flight, marked already", S::adding2sim, 0x4840D6, 0, true, live, S::adding2sim, 0, false, false,
         true, false, ""},
        {"active", S::active, 0x4840D6, 77, false, none, S::removingfromsim, 1, false, false, false, false, ""},
        {"active, marked when created", S::active, 0x4840D6, 77, true, none, S::removingfromsim, 1, false, false, true,
         false, ""},
        {"respawning: its removal is queued already", S::liveryrespawn, 0x4840D6, 77, false, none, S::removingfromsim,
         1, false, false, false, false, ""},
        {"being removed", S::removingfromsim, 0x4840D6, 77, false, none, S::removingfromsim, 1, false, false, false,
         false, "==> KLM1234 PH-BXA duplicate remove blocked"},
        {"active live without an object", S::active, 10001, 0, false, none, S::active, 0, true, false, false, false,
         "==> removeAircraftFromSim removing act KLM1234  PH-BXA"},
        {"active static without an object", S::active, 10000, 0, false, none, S::active, 0, true, false, false, true,
         ", with objectid=0 ?"},
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        lf_clear();
        AcBase ac;
        ac.callsign = "KLM1234";
        ac.registration = "PH-BXA";
        ac.hexid = row.hexid;
        ac.objectId = row.objectId;
        ac.simState = row.state;
        ac.removeWhenCreated = row.removeWhenCreatedBefore;
        // The respawn and the earlier removal queued the object already.
        if (row.state == S::liveryrespawn || row.state == S::removingfromsim) removeQueue.push_back(row.objectId);
        liveCreateQueue.push_back(request(1));
        if (row.queued == live) liveCreateQueue.push_back(request(row.hexid));
        if (row.queued == statics) staticCreateQueue.push_back(request(row.hexid));

        removeAircraftFromSim(ac);

        EXPECT_EQ(ac.simState, row.stateAfter);
        EXPECT_EQ(removeQueue.size(), row.removals);
        if (row.removals != 0) EXPECT_EQ(removeQueue.front(), 77u);
        EXPECT_EQ(ac.removeRecord, row.removeRecord);
        EXPECT_EQ(ac.createDropped, row.createDropped);
        EXPECT_EQ(ac.removeWhenCreated, row.removeWhenCreated);
        EXPECT_EQ(g_staticsChanged, row.staticsChanged);
        const bool stillQueued = row.queued != none && row.createDropped == false;
        EXPECT_EQ(liveCreateQueue.size() + staticCreateQueue.size(), stillQueued ? 2u : 1u);
        EXPECT_EQ(liveCreateQueue.front().hexid, 1u) << "other requests stay";
        const std::string log = newLogLines();
        if (*row.line != '\0')
            EXPECT_THAT(log, HasSubstr(row.line));
        else
            EXPECT_EQ(log, "");
    }
}
