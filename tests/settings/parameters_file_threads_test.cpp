// parameters.xml written from two threads: single saves against single saves,
// and a single save against the start-up load and the writing of a new file.

#include <atomic>
#include <chrono>
#include <future>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "parameters_file_test_support.h"
#include "platform/os/os.h"

namespace {

using tavo::test::ParametersFileTest;
using tavo::test::registeredCount;
using tavo::test::storedParameters;
using tavo::test::storedValues;

TEST_F(ParametersFileTest, TwoThreadsSavingDifferentParametersKeepEveryLastValue) {
    ASSERT_TRUE(gf_loadParameters());
    constexpr int kSaves = 1000;
    std::thread texts([] {
        for (int i = 1; i <= kSaves; ++i) lfolder4.setAndSave("folder " + std::to_string(i));
    });
    std::thread numbers([] {
        for (int i = 1; i <= kSaves; ++i) BLOCK_HEXIDDEC.setAndSave(i);
    });
    texts.join();
    numbers.join();

    EXPECT_EQ(storedValues(file(), "lfolder4"), std::vector<std::string>{"folder 1000"});
    EXPECT_EQ(storedValues(file(), "BLOCK_HEXIDDEC"), std::vector<std::string>{"1000"});
    EXPECT_EQ(storedParameters(file()).size(), registeredCount());
    EXPECT_FALSE(logHas("saving '"));
}

// A save asked for while the load is about to write its document must land
// after it, not under it. The fault hook stops the load at the start of its
// write and lets another thread try to save meanwhile.
TEST_F(ParametersFileTest, ASaveDuringTheLoadsWriteLandsAfterIt) {
    for (const bool saveAll : {false, true}) {
        SCOPED_TRACE(saveAll ? "while writing a new file" : "while loading");
        ASSERT_TRUE(gf_loadParameters());
        std::atomic<bool> started{false};
        std::promise<void> saved;
        std::future<void> savedFuture = saved.get_future();
        std::thread saver;
        const std::string value = saveAll ? "LOWW" : "EDDM";
        // Outlives the saver thread, which may still be in the hook when the
        // hook is taken away.
        std::filesystem::path temporary = parametersFilePath();
        temporary += ".tmp";
        {
            // The first step of the load's write: its document is built, the
            // file not yet replaced.
            ScopedOsFaultHook hook([&](OsOperation op, const std::filesystem::path& from, const std::filesystem::path&) {
                if (op == OsOperation::remove && from == temporary && !started.exchange(true)) {
                    saver = std::thread([&] {
                        DESTINATION.setAndSave(value);
                        saved.set_value();
                    });
                    // Bounded: with the file lock held the save cannot finish now.
                    savedFuture.wait_for(std::chrono::milliseconds(300));
                }
                return std::error_code{};
            });
            if (saveAll) {
                gf_saveParameters();
            } else {
                EXPECT_FALSE(gf_loadParameters());
            }
        }
        ASSERT_TRUE(started.load());
        saver.join();
        EXPECT_EQ(storedValues(file(), "DESTINATION"), std::vector<std::string>{value});
        EXPECT_EQ(DESTINATION.value(), value);
        EXPECT_EQ(storedParameters(file()).size(), registeredCount());
        std::filesystem::remove(file());
    }
}

// The GUI saves a value while the start-up load is under way: the load has
// read the file (and holds its lock) but not yet taken the values. The save
// must wait for the load as a whole, so that the new value is neither
// overwritten in memory by the file's old one nor written back as that old one.
TEST_F(ParametersFileTest, ASaveStartedWhileTheLoadReadsIsNotLost) {
    ASSERT_TRUE(gf_loadParameters());
    DESTINATION.setAndSave("EDDF");
    const std::string value = "KSEA";
    std::thread saver;
    std::atomic<bool> started{false};
    gf_setParametersLoadReadHook([&] {
        if (started.exchange(true)) return;
        saver = std::thread([&] { DESTINATION.setAndSave(value); });
        // Give the save every chance to change the value under the load; with
        // the lock taken across set and save it cannot, and this waits out its
        // bound.
        const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(300);
        while (DESTINATION.value() != value && std::chrono::steady_clock::now() < deadline)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
    });
    EXPECT_FALSE(gf_loadParameters());
    gf_setParametersLoadReadHook({});
    ASSERT_TRUE(started.load());
    saver.join();
    EXPECT_EQ(DESTINATION.value(), value);
    EXPECT_EQ(storedValues(file(), "DESTINATION"), std::vector<std::string>{value});
}

}  // namespace
