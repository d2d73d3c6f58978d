#pragma once
// The machine's and the process's memory as POSIX systems tell them: what the backlog's budget
// is taken from, and what the soak benchmarks watch.
#include <unistd.h>

#include <cstdint>
#include <cstdio>

namespace velmora {

// The machine's physical memory in bytes; 0 when it cannot be told.
inline uint64_t PhysicalMemoryBytes() {
  const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
  return pages > 0 && pageSize > 0 ? static_cast<uint64_t>(pages) * static_cast<uint64_t>(pageSize) : 0;
}

// This process's resident set in bytes, from /proc/self/statm (its second field, in pages); 0
// where there is no such file.
inline uint64_t ResidentMemoryBytes() {
  std::FILE* f = std::fopen("/proc/self/statm", "r");
  if (f == nullptr) return 0;
  unsigned long size = 0, resident = 0;
  const int n = std::fscanf(f, "%lu %lu", &size, &resident);
  std::fclose(f);
  return n == 2 ? static_cast<uint64_t>(resident) * static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) : 0;
}

}  // namespace velmora
