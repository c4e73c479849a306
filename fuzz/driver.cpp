// The seeded mutation driver: runs a fuzz target without libFuzzer, in the
// ordinary sanitizer build, so that every test run puts each reader of
// outside input through a few thousand malformed inputs.
//
//   tavo_fuzz_<target> [-runs=N] [-seed=S] [-run=I] [-max_len=N] <corpus dir or file>...
//
// Every corpus file is run as it is, then N mutants. Mutant i is made from
// the pair (S, i) alone, so "-seed=S -run=I" with the same corpus makes the
// same input again. With files only and -runs=0 the files are replayed (a
// saved failure). A crash, a sanitizer report or an escaped exception prints
// the seed, the run and the input, and leaves the input in
// "<target>-failure.bin" in the working folder.
//
// A target with its own LLVMFuzzerCustomMutator (a reader of a binary layout)
// has every mutation step made by it, as under libFuzzer.
//
// The flags look like libFuzzer's so that one command line fits both.

#include <algorithm>
#include <array>
#include <charconv>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <exception>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size);
extern "C" __attribute__((weak)) int LLVMFuzzerInitialize(int* argc, char*** argv);
// A target that knows its input's structure may bring its own mutator, as
// libFuzzer allows; it may call LLVMFuzzerMutate for the driver's own kinds.
extern "C" __attribute__((weak)) std::size_t LLVMFuzzerCustomMutator(std::uint8_t* data, std::size_t size,
                                                                     std::size_t maxSize, unsigned int seed);
extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);
// Present in every sanitizer run time; weak so that a build without one links.
extern "C" __attribute__((weak)) void __sanitizer_set_death_callback(void (*callback)());

namespace {

using Bytes = std::vector<std::uint8_t>;

// splitmix64: small, fast and fully determined by its seed.
class Rng {
public:
    explicit Rng(std::uint64_t seed) : state_(seed) {}
    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    // Uniform enough in [0, n) for n > 0.
    std::size_t below(std::size_t n) { return n == 0 ? 0 : static_cast<std::size_t>(next() % n); }
    bool oneIn(std::size_t n) { return below(n) == 0; }

private:
    std::uint64_t state_;
};

// Texts that readers of lines, JSON, XML and numbers react to.
constexpr std::array<std::string_view, 48> kTokens = {
    ",", ",,", "\n", "\r\n", "\r", " ", "\t", "\"", "'", "-", ".", "+", "e", "E", "0", "-1", "1e308", "-1e308",
    "nan", "NaN", "inf", "-inf", "99999999999999999999", "2147483648", "-2147483649", "4294967296",
    "18446744073709551616", "0x", "null", "true", "false", "[]", "{}", "[", "]", "{", "}", ":", "\"\"",
    "\xEF\xBB\xBF", "\xFF\xFE", "\xFE\xFF", "<", ">", "/>", "</", "&amp;", "\\u0000",
};

constexpr std::array<std::uint8_t, 16> kInterestingBytes = {0x00, 0x01, 0x7F, 0x80, 0xFF, 0xFE, 0xC0, 0xE0,
                                                            0xF0, '0', '9', ',', '\n', '"', '\\', '%'};

// The input being run, for the failure report.
struct Current {
    const char* target = "target";
    std::uint64_t driverSeed = 0;
    long long run = -1;  // -1: a corpus file as it is
    std::string source;
    std::string failureFile;  // absolute: a target may change the working folder
    const Bytes* input = nullptr;
    bool reported = false;
};
Current g_current;

void printEscaped(const Bytes& input) {
    const std::size_t shown = std::min<std::size_t>(input.size(), 4096);
    std::string text;
    text.reserve(shown * 2);
    for (std::size_t i = 0; i < shown; ++i) {
        const std::uint8_t c = input[i];
        if (c == '\\') {
            text += "\\\\";
        } else if (c == '\n') {
            text += "\\n";
        } else if (c >= 0x20 && c < 0x7F) {
            text += static_cast<char>(c);
        } else {
            char hex[5];
            std::snprintf(hex, sizeof hex, "\\x%02X", c);
            text += hex;
        }
    }
    std::fprintf(stderr, "input (%zu bytes%s): \"%s\"\n", input.size(), shown < input.size() ? ", first 4096 shown" : "",
                 text.c_str());
}

void reportFailure() {
    if (g_current.reported || g_current.input == nullptr) return;
    g_current.reported = true;
    if (g_current.run < 0) {
        std::fprintf(stderr, "\nfuzz failure in %s on corpus file %s\n", g_current.target, g_current.source.c_str());
    } else {
        std::fprintf(stderr, "\nfuzz failure in %s: seed %llu, run %lld (mutant of %s); repeat with -seed=%llu -run=%lld\n",
                     g_current.target, static_cast<unsigned long long>(g_current.driverSeed), g_current.run,
                     g_current.source.c_str(), static_cast<unsigned long long>(g_current.driverSeed), g_current.run);
    }
    printEscaped(*g_current.input);
    if (std::FILE* out = std::fopen(g_current.failureFile.c_str(), "wb")) {
        std::fwrite(g_current.input->data(), 1, g_current.input->size(), out);
        std::fclose(out);
        std::fprintf(stderr, "input saved as %s\n", g_current.failureFile.c_str());
    }
}

void onSanitizerDeath() { reportFailure(); }

[[noreturn]] void onTerminate() {
    std::fprintf(stderr, "\nuncaught exception");
    if (auto e = std::current_exception()) {
        try {
            std::rethrow_exception(e);
        } catch (const std::exception& x) {
            std::fprintf(stderr, ": %s", x.what());
        } catch (...) {
        }
    }
    std::fprintf(stderr, "\n");
    reportFailure();
    std::abort();
}

struct Entry {
    std::string name;
    Bytes bytes;
};

Bytes readFileBytes(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

// One mutation of libFuzzer's kinds, in place.
void mutateOnce(Bytes& data, const std::vector<Entry>& corpus, Rng& rng, std::size_t maxLen) {
    const auto randomSpan = [&](std::size_t limit) { return 1 + rng.below(std::min<std::size_t>(limit, 64)); };
    switch (rng.below(11)) {
        case 0:  // flip a bit
            if (!data.empty()) data[rng.below(data.size())] ^= static_cast<std::uint8_t>(1u << rng.below(8));
            break;
        case 1:  // any byte
            if (!data.empty()) data[rng.below(data.size())] = static_cast<std::uint8_t>(rng.next());
            break;
        case 2:  // a byte readers care about
            if (!data.empty()) data[rng.below(data.size())] = kInterestingBytes[rng.below(kInterestingBytes.size())];
            break;
        case 3: {  // erase a range
            if (data.empty()) break;
            const std::size_t at = rng.below(data.size());
            const std::size_t n = std::min(randomSpan(data.size()), data.size() - at);
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(at + n));
            break;
        }
        case 4: {  // insert random bytes
            const std::size_t at = rng.below(data.size() + 1);
            const std::size_t n = 1 + rng.below(16);
            Bytes extra(n);
            for (auto& b : extra) b = static_cast<std::uint8_t>(rng.next());
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), extra.begin(), extra.end());
            break;
        }
        case 5: {  // repeat a range (long lines, many fields, deep nesting)
            if (data.empty()) break;
            const std::size_t from = rng.below(data.size());
            const std::size_t n = std::min(randomSpan(data.size()), data.size() - from);
            const Bytes piece(data.begin() + static_cast<std::ptrdiff_t>(from),
                              data.begin() + static_cast<std::ptrdiff_t>(from + n));
            const std::size_t times = 1 + rng.below(rng.oneIn(8) ? 256 : 4);
            const std::size_t at = rng.below(data.size() + 1);
            for (std::size_t t = 0; t < times && data.size() + n <= maxLen; ++t)
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), piece.begin(), piece.end());
            break;
        }
        case 6:
        case 7: {  // insert or overwrite with a token
            const std::string_view token = kTokens[rng.below(kTokens.size())];
            const std::size_t at = rng.below(data.size() + 1);
            if (rng.oneIn(2) || at + token.size() > data.size()) {
                data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), token.begin(), token.end());
            } else {
                std::copy(token.begin(), token.end(), data.begin() + static_cast<std::ptrdiff_t>(at));
            }
            break;
        }
        case 8: {  // replace a run of digits by another number
            if (data.empty()) break;
            std::size_t at = rng.below(data.size());
            while (at < data.size() && (data[at] < '0' || data[at] > '9')) ++at;
            if (at == data.size()) break;
            std::size_t end = at;
            while (end < data.size() && data[end] >= '0' && data[end] <= '9') ++end;
            std::string number;
            switch (rng.below(4)) {
                case 0: number = std::to_string(rng.below(10)); break;
                case 1: number = std::to_string(static_cast<std::int64_t>(rng.next())); break;
                case 2: number = std::to_string(rng.next() % 100000); break;
                default: number = std::string(1 + rng.below(40), static_cast<char>('0' + rng.below(10))); break;
            }
            data.erase(data.begin() + static_cast<std::ptrdiff_t>(at), data.begin() + static_cast<std::ptrdiff_t>(end));
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), number.begin(), number.end());
            break;
        }
        case 9: {  // splice in a piece of another corpus entry
            const Bytes& other = corpus[rng.below(corpus.size())].bytes;
            if (other.empty()) break;
            const std::size_t from = rng.below(other.size());
            const std::size_t n = std::min(randomSpan(other.size()) * (1 + rng.below(8)), other.size() - from);
            const std::size_t at = rng.below(data.size() + 1);
            data.insert(data.begin() + static_cast<std::ptrdiff_t>(at), other.begin() + static_cast<std::ptrdiff_t>(from),
                        other.begin() + static_cast<std::ptrdiff_t>(from + n));
            break;
        }
        default:  // cut the end off
            if (!data.empty()) data.resize(rng.below(data.size()));
            break;
    }
    if (data.size() > maxLen) data.resize(maxLen);
}

// What LLVMFuzzerMutate works with while a custom mutator runs.
struct MutateContext {
    const std::vector<Entry>* corpus = nullptr;
    Rng* rng = nullptr;
};
MutateContext g_mutate;

// One step of mutation: the target's own mutator when it has one, else one of
// the driver's kinds.
void mutateStep(Bytes& data, const std::vector<Entry>& corpus, Rng& rng, std::size_t maxLen) {
    if (LLVMFuzzerCustomMutator == nullptr) {
        mutateOnce(data, corpus, rng, maxLen);
        return;
    }
    const std::size_t capacity = std::min<std::size_t>(maxLen, std::max<std::size_t>(data.size() * 2, 4096));
    const std::size_t size = std::min(data.size(), capacity);
    data.resize(capacity);
    g_mutate = {&corpus, &rng};
    const std::size_t mutated =
        LLVMFuzzerCustomMutator(data.data(), size, capacity, static_cast<unsigned int>(rng.next()));
    g_mutate = {};
    data.resize(std::min(mutated, capacity));
}

bool parseFlag(std::string_view arg, std::string_view name, unsigned long long& value) {
    if (!arg.starts_with(name)) return false;
    arg.remove_prefix(name.size());
    const auto [end, ec] = std::from_chars(arg.data(), arg.data() + arg.size(), value);
    if (ec != std::errc() || end != arg.data() + arg.size()) {
        std::fprintf(stderr, "bad flag value in %.*s\n", static_cast<int>(name.size()), name.data());
        std::exit(2);
    }
    return true;
}

}  // namespace

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize) {
    if (g_mutate.rng == nullptr) return size;
    Bytes bytes(data, data + size);
    mutateOnce(bytes, *g_mutate.corpus, *g_mutate.rng, maxSize);
    std::copy(bytes.begin(), bytes.end(), data);
    return bytes.size();
}

int main(int argc, char** argv) {
    if (LLVMFuzzerInitialize != nullptr) LLVMFuzzerInitialize(&argc, &argv);

    unsigned long long runs = 2000;
    unsigned long long seed = 20261207;
    unsigned long long onlyRun = ~0ull;
    unsigned long long maxLen = 1 << 20;
    std::vector<Entry> corpus;
    const std::string self = std::filesystem::path(argv[0]).filename().string();
    const std::string target = self.starts_with("tavo_fuzz_") ? self.substr(10) : self;
    for (int i = 1; i < argc; ++i) {
        const std::string_view arg = argv[i];
        if (parseFlag(arg, "-runs=", runs) || parseFlag(arg, "-seed=", seed) || parseFlag(arg, "-run=", onlyRun) ||
            parseFlag(arg, "-max_len=", maxLen)) {
            continue;
        }
        if (arg.starts_with("-")) continue;  // libFuzzer flags this driver does not know
        const std::filesystem::path path(arg);
        std::vector<std::filesystem::path> files;
        if (std::filesystem::is_directory(path)) {
            for (const auto& e : std::filesystem::directory_iterator(path))
                if (e.is_regular_file()) files.push_back(e.path());
            std::sort(files.begin(), files.end());  // the order decides the mutants
        } else if (std::filesystem::is_regular_file(path)) {
            files.push_back(path);
        } else {
            std::fprintf(stderr, "%s: no corpus at %s\n", self.c_str(), path.c_str());
            return 2;
        }
        for (const auto& f : files) corpus.push_back({f.filename().string(), readFileBytes(f)});
    }
    if (corpus.empty()) corpus.push_back({"(empty input)", {}});

    g_current.target = target.c_str();
    g_current.failureFile = (std::filesystem::current_path() / (target + "-failure.bin")).string();
    g_current.driverSeed = seed;
    if (__sanitizer_set_death_callback != nullptr) __sanitizer_set_death_callback(onSanitizerDeath);
    std::set_terminate(onTerminate);

    const auto runOne = [&](const Bytes& input) {
        g_current.input = &input;
        // libFuzzer hands over exactly the bytes, so a read past the end is caught.
        const std::unique_ptr<std::uint8_t[]> copy(new std::uint8_t[input.size() + (input.empty() ? 1 : 0)]);
        std::copy(input.begin(), input.end(), copy.get());
        LLVMFuzzerTestOneInput(copy.get(), input.size());
        g_current.input = nullptr;
    };

    if (onlyRun == ~0ull) {
        for (const Entry& e : corpus) {
            g_current.run = -1;
            g_current.source = e.name;
            runOne(e.bytes);
        }
    }
    const unsigned long long first = onlyRun == ~0ull ? 0 : onlyRun;
    const unsigned long long last = onlyRun == ~0ull ? runs : onlyRun + 1;
    for (unsigned long long i = first; i < last; ++i) {
        Rng rng(seed * 0x100000001B3ull ^ (i + 1) * 0x9E3779B97F4A7C15ull);
        const Entry& base = corpus[rng.below(corpus.size())];
        Bytes input = base.bytes;
        const std::size_t steps = 1 + rng.below(rng.oneIn(4) ? 16 : 4);
        for (std::size_t s = 0; s < steps; ++s) mutateStep(input, corpus, rng, static_cast<std::size_t>(maxLen));
        g_current.run = static_cast<long long>(i);
        g_current.source = base.name;
        runOne(input);
    }
    std::fprintf(stderr, "%s: %zu corpus inputs and %llu mutants (seed %llu) ran clean\n", target.c_str(),
                 corpus.size(), last - first, seed);
    return 0;
}
