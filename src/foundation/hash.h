#pragma once
// 64-bit FNV-1a, the hash of every table keyed by texts, hexids or code
// indexes (the published offset basis and prime).

#include <cstddef>
#include <cstdint>
#include <string_view>

inline constexpr std::uint64_t kFnvOffset = 0xcbf29ce484222325ULL;
inline constexpr std::uint64_t kFnvPrime = 0x100000001b3ULL;

// Over a text's bytes.
constexpr std::uint64_t gf_fnv1a(std::string_view bytes) {
    std::uint64_t hash = kFnvOffset;
    for (char c : bytes) {
        hash ^= static_cast<unsigned char>(c);
        hash *= kFnvPrime;
    }
    return hash;
}

// Over a hexid's four bytes, lowest first.
constexpr std::uint64_t gf_fnv1a(std::uint32_t hexid) {
    std::uint64_t hash = kFnvOffset;
    for (int i = 0; i < 4; ++i) {
        hash ^= (hexid >> (8 * i)) & 0xFFu;
        hash *= kFnvPrime;
    }
    return hash;
}

struct Fnv1aTextHash {
    using is_transparent = void;
    std::size_t operator()(std::string_view text) const { return static_cast<std::size_t>(gf_fnv1a(text)); }
};
// Over a 16-bit code index's two bytes, lowest first.
struct Fnv1aIndexHash {
    std::size_t operator()(std::uint16_t index) const {
        std::uint64_t hash = kFnvOffset;
        hash ^= index & 0xFFu;
        hash *= kFnvPrime;
        hash ^= index >> 8;
        hash *= kFnvPrime;
        return static_cast<std::size_t>(hash);
    }
};
struct Fnv1aHexidHash {
    std::size_t operator()(std::uint32_t hexid) const { return static_cast<std::size_t>(gf_fnv1a(hexid)); }
};
