// Deleters for what the C library hands out, for std::unique_ptr: memory from
// malloc, calloc or realloc, and open C streams.
#ifndef MBRK_BASE_INTERNAL_DELETERS_H
#define MBRK_BASE_INTERNAL_DELETERS_H

#include <cstdio>
#include <cstdlib>

namespace mbrk {

/// Releases memory from the C allocator (std::free).
struct FreeMemory {
  void operator()(void* memory) const noexcept { std::free(memory); }
};

/// Closes a C stream without reporting; where the close's result matters,
/// release the pointer and close it by hand.
struct CloseFile {
  void operator()(std::FILE* file) const noexcept { std::fclose(file); }
};

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_DELETERS_H
