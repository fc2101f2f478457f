// Advice to the system about memory the toolkit holds. This is the one place
// the library asks the platform for anything beyond the standard library.
#ifndef MBRK_BASE_INTERNAL_MEMORY_H
#define MBRK_BASE_INTERNAL_MEMORY_H

#include <cstddef>

namespace mbrk {

/// Blocks at least this large are worth huge pages.
inline constexpr std::size_t kHugePageWorthy = std::size_t{4} << 20;

/// Asks the system to back the 2 MiB-aligned stretches inside the `size`
/// bytes at `block` with huge pages where it offers them (Linux transparent
/// huge pages), so that a large block is mapped in with a few hundred page
/// faults instead of hundreds of thousands. Advice only: the block's bytes
/// and its ownership stay as they are, and where there is no such thing, or
/// the system declines, nothing happens.
void AdviseHugePages(void* block, std::size_t size) noexcept;

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_MEMORY_H
