// One step of liblzma's coder, the same for decoding and encoding: the
// buffers set, the coder run, and what it took and gave counted.
#ifndef MBRK_BASE_INTERNAL_LZMASTEP_H
#define MBRK_BASE_INTERNAL_LZMASTEP_H

#include <lzma.h>

#include <cstddef>
#include <cstdint>

namespace mbrk {

inline lzma_ret LzmaStep(lzma_stream& s, const char* in, std::size_t in_size, char* out,
                         std::size_t out_size, lzma_action action, std::size_t& read,
                         std::size_t& written) {
  s.next_in = reinterpret_cast<const std::uint8_t*>(in);
  s.avail_in = in_size;
  s.next_out = reinterpret_cast<std::uint8_t*>(out);
  s.avail_out = out_size;
  const lzma_ret result = lzma_code(&s, action);
  read = in_size - s.avail_in;
  written = out_size - s.avail_out;
  return result;
}

}  // namespace mbrk

#endif  // MBRK_BASE_INTERNAL_LZMASTEP_H
