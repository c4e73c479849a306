// The last act of closing down on the open main window.

#include "app/closing_down.h"
#include "command_fixture.h"

namespace tavo::test {
namespace {

// Log.txt that can no longer be written (a full disk): every line throws.
class UnwritableLog {
public:
    UnwritableLog() {
        Logger& logger = gf_logger();
        std::lock_guard lock(logger.mutex);
        logger.file.close();
        logger.file.clear();
        logger.file.exceptions(std::ios::badbit);
        logger.isOpen = true;
    }
    ~UnwritableLog() {
        Logger& logger = gf_logger();
        std::lock_guard lock(logger.mutex);
        logger.file.exceptions(std::ios::goodbit);
        logger.file.clear();
        logger.isOpen = false;
    }
};

TEST_F(CommandTest, TheRunsLastMessageIsPostedEvenWhenItsLogLineCannotBeWritten) {
    for (const bool restart : {true, false}) {
        SCOPED_TRACE(restart);
        backend->clearRecords();
        g_restartUnderWay.store(restart);
        {
            UnwritableLog full;
            EXPECT_ANY_THROW(gf_logAndFlush("a line"));
            lf_postStartOrExit();
        }
        const auto posted = backend->postedMessages();
        EXPECT_EQ(gf_countMessages(posted, MSG_START), restart ? 1u : 0u);
        EXPECT_EQ(gf_countMessages(posted, MSG_EXIT), restart ? 0u : 1u);
    }
    g_restartUnderWay.store(false);
}

}  // namespace
}  // namespace tavo::test
