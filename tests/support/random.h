#pragma once
// The random source of the hostile-input tests and the fuzzers: splitmix64, which gives the
// same numbers with every standard library, so a seed (or a crashing input) replays exactly.
#include <cstddef>
#include <cstdint>

namespace velmora::testing {

class Random {
 public:
  explicit Random(uint64_t seed) : state_(seed) {}
  uint64_t Next() {
    uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
    z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
    z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
    return z ^ (z >> 31);
  }
  // A number below n (0 when n is 0).
  uint32_t Below(uint32_t n) { return n == 0 ? 0 : static_cast<uint32_t>(Next() % n); }
  // One character of a string literal, its NUL excluded.
  template <size_t N>
  char Pick(const char (&s)[N]) {
    return s[Below(N - 1)];
  }

 private:
  uint64_t state_;
};

}  // namespace velmora::testing
