// Opening the log lives apart from the writers: it needs the file, time and
// version helpers, which the writers (used everywhere) do not.
#include <filesystem>
#include <stdexcept>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/version.h"

void gf_openLogFile() {
    const std::filesystem::path path{"Log.txt"};
    Logger& logger = gf_logger();
    logger.close();
    gf_save1GenerationOf(path);

    bool opened = false;
    {
        std::lock_guard lock(logger.mutex);
        logger.file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (logger.file.is_open()) {
            logger.file.clear();
        } else {
            logger.file.setstate(std::ios::failbit);
        }
        logger.unflushed = 0;
        logger.isOpen = opened = logger.file.is_open();
    }
    if (!opened) {
        throw std::runtime_error("Failed to write file " + gf_pathToUtf8(path));
    }
    gf_log(fmt::format("{} {} version {} for {}", gf_utcDateTimeText(), "TAVO",
                       g_programVersion.toString(), "MSFS 2020/2024"));
    gf_flushLog();
}
