// A target that fails on purpose, so that the tests can see the driver report
// a failure with its seed, run and input: every mutant of "Q" that grew reads
// past its end, every grown mutant of "E" throws.

#include <cstddef>
#include <cstdint>
#include <stdexcept>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size < 2) return 0;
    if (data[0] == 'E') throw std::runtime_error("escaped from the reader");
    if (data[0] == 'Q') {
        volatile std::uint8_t past = data[size];
        return past == 0 ? 0 : 0;
    }
    return 0;
}
