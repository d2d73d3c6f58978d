#pragma once
// Replaces the global operator new and delete in a test executable whose tests watch or refuse
// allocations. Exactly one file of the executable includes it, and that file defines
// velmora::testing::AllocateForTest: the block for a request, from std::malloc, or null to
// refuse it (the throwing forms then throw std::bad_alloc). Blocks go back with std::free.
#include <cstdlib>
#include <new>

namespace velmora::testing {

void* AllocateForTest(std::size_t size) noexcept;

namespace {
// Out of line, so that the compiler does not pair the free with the operator new it inlined.
[[gnu::noinline]] void ReleaseForTest(void* p) noexcept { std::free(p); }
}  // namespace

}  // namespace velmora::testing

void* operator new(std::size_t size) {
  if (void* p = velmora::testing::AllocateForTest(size)) return p;
  throw std::bad_alloc();
}
void* operator new[](std::size_t size) {
  if (void* p = velmora::testing::AllocateForTest(size)) return p;
  throw std::bad_alloc();
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept { return velmora::testing::AllocateForTest(size); }
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept { return velmora::testing::AllocateForTest(size); }
void operator delete(void* p) noexcept { velmora::testing::ReleaseForTest(p); }
void operator delete[](void* p) noexcept { ::operator delete(p); }
void operator delete(void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete[](void* p, std::size_t) noexcept { ::operator delete(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { ::operator delete(p); }
