// Opening the log lives apart from the writers: it needs the file, time and
// version helpers, which the writers (used everywhere) do not.
#include <filesystem>
#include <stdexcept>
#include <string>

#include <fmt/format.h>

#include "foundation/files.h"
#include "foundation/log.h"
#include "foundation/text.h"
#include "foundation/time.h"
#include "foundation/version.h"

void gf_openLogFile() {
    const std::filesystem::path path{"Log.txt"};
    // Built before the lock: formatting needs no lock, and the header is then
    // written in the same holding of the lock as the open, so that a line of
    // another thread can never come before it.
    const std::string header = fmt::format("{} {} version {} for {}", gf_utcDateTimeText(), "TAVO",
                                           g_programVersion.toString(), "MSFS 2020/2024");
    Logger& logger = gf_logger();
    logger.close();
    gf_save1GenerationOf(path);

    bool opened = false;
    {
        std::lock_guard lock(logger.mutex);
        logger.file.open(path, std::ios::out | std::ios::trunc | std::ios::binary);
        if (logger.file.is_open()) {
            logger.file.clear();
            logger.file.write(header.data(), static_cast<std::streamsize>(header.size()));
            logger.file.put('\n');
            logger.file.flush();
        } else {
            logger.file.setstate(std::ios::failbit);
        }
        logger.unflushed = 0;
        logger.isOpen = opened = logger.file.is_open();
    }
    if (!opened) {
        throw std::runtime_error("Failed to write file " + gf_pathToUtf8(path));
    }
}
