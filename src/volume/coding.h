// Little-endian 16-, 32- and 64-bit fields in byte buffers, built byte by byte so
// that neither the host's byte order nor its alignment rules matter.
//
// Every layout the tool reads or writes (the volume's records, D88 headers,
// MZT headers) stores its numbers this way; the one exception, the packed
// BCD time stamp, has its own reader in volume/timestamp.h.
#pragma once

#include <cstdint>

namespace tarnwick {

inline uint16_t load16(const uint8_t* p) { return static_cast<uint16_t>(p[0] | (p[1] << 8)); }

inline uint32_t load32(const uint8_t* p) {
  return uint32_t{p[0]} | (uint32_t{p[1]} << 8) | (uint32_t{p[2]} << 16) | (uint32_t{p[3]} << 24);
}

inline uint64_t load64(const uint8_t* p) { return uint64_t{load32(p)} | (uint64_t{load32(p + 4)} << 32); }

inline void store16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}

inline void store32(uint8_t* p, uint32_t v) {
  store16(p, static_cast<uint16_t>(v));
  store16(p + 2, static_cast<uint16_t>(v >> 16));
}

inline void store64(uint8_t* p, uint64_t v) {
  store32(p, static_cast<uint32_t>(v));
  store32(p + 4, static_cast<uint32_t>(v >> 32));
}

}  // namespace tarnwick
