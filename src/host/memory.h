// Memory the process is about to fill.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace tarnwick::platform {

// Makes the pages of [p, p + n) present for writing in one go, where the
// system offers that (Linux): a read into fresh memory otherwise takes a
// page fault for every page, which costs far more than the read itself
// on some virtual machines. Only a hint: nothing else changes, and where
// it is not offered or fails the pages come as they are touched.
void prepare_for_writing(void* p, size_t n);

// Asks the system to back [p, p + n) with large pages where it offers them
// (Linux's transparent huge pages): a buffer filled far and wide then takes
// a page fault for every 2 MiB rather than every 4 KiB. Only a hint.
void prefer_large_pages(void* p, size_t n);

// Makes `buffer` hold n bytes (zeros where it grows), its new pages brought
// in that way.
inline void resize_buffer(std::vector<uint8_t>& buffer, size_t n) {
  if (buffer.capacity() < n) {
    buffer.reserve(n);
    prepare_for_writing(buffer.data(), n);
  }
  buffer.resize(n);
}

}  // namespace tarnwick::platform
