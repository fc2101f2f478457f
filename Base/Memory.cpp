// Memory advice: transparent huge pages where Linux offers them.
#include "Base/internal/Memory.h"

#include <cstdint>

#if defined(__linux__)
#include <sys/mman.h>
#endif

namespace mbrk {

void AdviseHugePages(void* block, std::size_t size) noexcept {
#if defined(__linux__) && defined(MADV_HUGEPAGE)
  // Only whole huge pages can be backed by one; the stretches before the
  // first boundary and after the last keep ordinary pages.
  constexpr std::uintptr_t kHugePage = std::uintptr_t{2} << 20;
  const auto begin = reinterpret_cast<std::uintptr_t>(block);
  const std::uintptr_t first = (begin + kHugePage - 1) & ~(kHugePage - 1);
  const std::uintptr_t last = (begin + size) & ~(kHugePage - 1);
  // A refusal (a kernel without huge pages, memory that cannot take them)
  // leaves the block as it was, which is all that advice can promise.
  if (first < last)
    static_cast<void>(madvise(reinterpret_cast<void*>(first), last - first, MADV_HUGEPAGE));
#else
  static_cast<void>(block);
  static_cast<void>(size);
#endif
}

}  // namespace mbrk
