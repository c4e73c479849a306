// Encrypted data files as they come from the download server or the disk:
// any bytes, read with a limit the file's first byte chooses.

#include <array>
#include <cstdint>

#include "foundation/encrypted.h"
#include "fuzz_support.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    constexpr std::array<std::uint64_t, 4> limits{0, 4096, 8192, kDbaseEncLimit};
    const auto path = tavo::fuzz::writeScratchFile("data.enc", data, size);
    gf_readEncryptedFile(path, limits[size == 0 ? 3 : data[0] % limits.size()]);
    tavo::fuzz::settle();
    return 0;
}
