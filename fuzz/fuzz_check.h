#pragma once
// How a fuzz target reports a broken rule: the target's name and the message on standard error,
// then abort, which libFuzzer records as a crash with the input that caused it.
#include <cstdarg>
#include <cstdio>
#include <cstdlib>

namespace velmora::fuzzing {

// The name printed before each message; set by each target.
extern const char* const kTargetName;

[[noreturn]] inline void Fail(const char* format, ...) {
  va_list args;
  va_start(args, format);
  std::fprintf(stderr, "%s: ", kTargetName);
  std::vfprintf(stderr, format, args);
  std::fputc('\n', stderr);
  va_end(args);
  std::abort();
}

}  // namespace velmora::fuzzing

#define REQUIRE(condition, ...)                               \
  do {                                                        \
    if (!(condition)) ::velmora::fuzzing::Fail(__VA_ARGS__); \
  } while (0)
