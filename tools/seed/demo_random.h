#pragma once
// The demo data's random numbers. A fixed algorithm (SplitMix64) rather than the standard
// library's distributions, whose output differs between library versions: the same seed must
// give the same database on every machine.
#include <cstdint>

namespace velocast::seed {

class DemoRandom {
public:
    explicit DemoRandom(std::uint64_t seed) : state_(seed) {}

    // A generator for one member, independent of how many members come before it, so a
    // small and a large database share their first members.
    static DemoRandom forItem(std::uint64_t seed, std::uint64_t item) {
        DemoRandom mixer(seed ^ (item * 0xD1B54A32D192ED03ull));
        return DemoRandom(mixer.next());
    }

    std::uint64_t next() {
        std::uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }

    // A whole number in [0, n), n > 0.
    int below(int n) { return static_cast<int>(next() % static_cast<std::uint64_t>(n)); }
    // A whole number in [lo, hi].
    int between(int lo, int hi) { return lo + below(hi - lo + 1); }
    // True with the given chance in percent.
    bool percent(int chance) { return below(100) < chance; }

    template <typename T, int N>
    const T& pick(const T (&items)[N]) {
        return items[below(N)];
    }

private:
    std::uint64_t state_;
};

}  // namespace velocast::seed
