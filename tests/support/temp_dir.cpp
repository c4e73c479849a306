#include "support/temp_dir.h"

#include <string>
#include <system_error>

#include "foundation/log.h"

namespace tavo::test {

void TempWorkDirTest::SetUp() {
    previous_ = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
}

void TempWorkDirTest::TearDown() {
    std::error_code ec;
    std::filesystem::current_path(previous_, ec);
}

void LogFileTest::SetUp() {
    TempWorkDirTest::SetUp();
    gf_openLogFile();
    seen_ = logText().size();
}

void LogFileTest::TearDown() {
    gf_logger().close();
    TempWorkDirTest::TearDown();
}

std::string LogFileTest::logText() {
    gf_flushLog();
    return readFile("Log.txt");
}

std::string LogFileTest::newLogLines() {
    std::string text = logText();
    std::string fresh = seen_ <= text.size() ? text.substr(seen_) : text;
    seen_ = text.size();
    return fresh;
}

}  // namespace tavo::test
