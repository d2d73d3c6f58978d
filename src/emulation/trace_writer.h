#pragma once
#include <cstdarg>

namespace velmora {

// Where the protocol trace goes. Writers call Trace at the point of each event with a
// printf-style record: tokens in square brackets for what was received, angle brackets for
// what was sent, text as it is displayed. While tracing is off a record costs one flag test.
class TraceWriter {
 public:
  virtual ~TraceWriter() = default;

  bool traceEnabled = false;

  // Inline, so that with tracing off a record costs the flag test and nothing else.
  template <class... Args>
  void Trace(const char* format, Args... args) {
    if (traceEnabled) Write(format, args...);
  }

 protected:
  // Writes one formatted record completely; never fails the caller.
  virtual void WriteRecord(const char* format, va_list args) = 0;

 private:
  void Write(const char* format, ...) {
    va_list args;
    va_start(args, format);
    WriteRecord(format, args);
    va_end(args);
  }
};

}  // namespace velmora
