// Text files from users and other programs: charset detection, then reading
// in the detected charset and in each of the others.

#include <vector>

#include "foundation/textfile.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const auto path = tavo::fuzz::writeScratchFile("text.txt", data, size);
    std::vector<std::string> lines;
    gf_readTextFileLines(gf_detectCharset(path), path, lines);
    for (int charset = 0; charset <= static_cast<int>(Charset::noneFound); ++charset)
        gf_readTextFileLines(static_cast<Charset>(charset), path, lines);
    LineReader reader(path);
    reader.readLines(16);
    tavo::fuzz::settle();
    return 0;
}
