#include "support/enc_writer.h"

#include <fstream>
#include <iterator>
#include <stdexcept>

namespace tavo::test {

std::vector<unsigned char> readBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        throw std::runtime_error("readBytes: cannot open " + path.string());
    }
    return {std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
}

std::string patternText(std::size_t n, std::uint32_t seed) {
    std::string text(n, '\0');
    std::uint32_t x = seed * 2654435761u + 12345u;
    for (std::size_t i = 0; i < n; ++i) {
        x = x * 1664525u + 1013904223u;
        text[i] = static_cast<char>(x >> 24);
    }
    return text;
}

}  // namespace tavo::test
