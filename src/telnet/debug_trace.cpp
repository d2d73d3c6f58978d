#include "telnet/debug_trace.h"

#include <cstdio>
#include <vector>

namespace velmora {

std::string TraceFileName(int processId) { return std::to_string(processId) + ".log"; }

void DebugTrace::WriteRecord(const char* format, va_list args) {
  char small[256];
  va_list copy;
  va_copy(copy, args);
  const int n = std::vsnprintf(small, sizeof small, format, copy);
  va_end(copy);
  if (n < 0) return;
  const char* data = small;
  std::vector<char> large;
  if (static_cast<size_t>(n) >= sizeof small) {
    large.resize(static_cast<size_t>(n) + 1);
    std::vsnprintf(large.data(), large.size(), format, args);
    data = large.data();
  }
  // Text mode: a line feed in a record ends a line of the file the way the platform writes it.
  std::FILE* file = std::fopen(path_.c_str(), "a");
  if (file == nullptr) return;
  std::fwrite(data, 1, static_cast<size_t>(n), file);
  std::fclose(file);
}

}  // namespace velmora
