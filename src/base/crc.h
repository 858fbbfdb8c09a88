// ZIP CRC-32: reflected polynomial 0xEDB88320, register preset to all ones by
// the caller and inverted by the caller at the end.
//
// The table is built once at start-up into memory that the program entry
// takes and releases. Row 0 is the classic byte table that CrcStep uses (the
// decryption keys depend on it); rows 1 to 7 let UpdateCrc fold eight bytes
// per step with results identical to eight CrcSteps, and the skip rows let it
// run two stretches of a buffer side by side and join their registers. Where
// the processor multiplies without carry, and the program entry says it may
// use that, UpdateCrc folds buffers of 32 bytes and more 32 at a time instead.
#pragma once

#include <cstdint>

namespace quillon {

// Bytes in each of the two stretches that UpdateCrc runs side by side.
constexpr int32_t kCrcStretch = 256;

struct CrcTable {
  uint32_t rows[8][256];
  // skip[k][v]: the register v << 8k advanced over kCrcStretch zero bytes.
  uint32_t skip[4][256];
  // The multipliers that move 128 bits forwards by 256 and by 128 bits.
  uint32_t fold[8];
  bool carryless;  // UpdateCrc may use PCLMULQDQ and SSE2; false unless set after BuildCrcTable
};

// Set by the program entry (and by test set-up) before any CRC is taken.
extern const CrcTable* crcTable;

void BuildCrcTable(CrcTable* table);

// Whether the processor has PCLMULQDQ and SSE2 (CPUID). On Windows the system
// must also save the SSE registers (SystemAllowsCarrylessCrc).
[[nodiscard]] bool ProcessorHasCarrylessMultiply();

[[nodiscard]] inline uint32_t CrcStep(uint8_t b, uint32_t crc) {
  return crcTable->rows[0][(crc ^ b) & 0xFFu] ^ (crc >> 8);
}

// Applies CrcStep to each of count bytes; a count of 0 or below does nothing.
void UpdateCrc(const uint8_t* data, int32_t count, uint32_t& crc);

}  // namespace quillon
