// Little-endian fields, as ZIP records and the package header store every
// integer. Compilers turn each of these into one load or store where the
// processor allows it.
#pragma once

#include <cstdint>

namespace quillon {

[[nodiscard]] constexpr uint16_t LoadLittle16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}

[[nodiscard]] constexpr uint32_t LoadLittle32(const uint8_t* p) {
  return static_cast<uint32_t>(p[0]) | static_cast<uint32_t>(p[1]) << 8 | static_cast<uint32_t>(p[2]) << 16 |
         static_cast<uint32_t>(p[3]) << 24;
}

constexpr void StoreLittle16(uint8_t* p, uint16_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
}

constexpr void StoreLittle32(uint8_t* p, uint32_t value) {
  p[0] = static_cast<uint8_t>(value);
  p[1] = static_cast<uint8_t>(value >> 8);
  p[2] = static_cast<uint8_t>(value >> 16);
  p[3] = static_cast<uint8_t>(value >> 24);
}

}  // namespace quillon
