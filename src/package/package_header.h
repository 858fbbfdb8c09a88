// Reading and writing the package header, and the scrambling of its texts.
#pragma once

#include <cstdint>

#include "base/package_format.h"

namespace quillon {

// Whether the header's first bytes are the magic "QLX".
[[nodiscard]] bool HasPackageMagic(const uint8_t header[kPackageHeaderSize]);

// Decodes the fields behind the magic.
[[nodiscard]] PackageHeader ParsePackageHeader(const uint8_t header[kPackageHeaderSize]);

// Encodes a header, magic included, as the packager writes it.
void FormatPackageHeader(const PackageHeader& header, uint8_t out[kPackageHeaderSize]);

// The scrambler of the stored texts; it is its own inverse. Byte 0 is never
// touched; every byte after it is XORed with a keystream byte of 128..255
// drawn from a linear congruential generator seeded with 417 at every call.
template <typename Byte>
constexpr void DescrambleText(Byte* text, int32_t length) {
  uint32_t s = 417;
  for (int32_t i = 1; i < length; ++i) {
    s = s * 134775813u + 1u;
    const auto r = static_cast<uint32_t>((static_cast<uint64_t>(s) * 128u) >> 32);
    text[i] = static_cast<Byte>(static_cast<uint8_t>(text[i]) ^ (r | 0x80u));
  }
}

// The built-in text that opens the information box, stored scrambled.
struct LicenceInfoPrefix {
  char bytes[kLicenceInfoPrefixLength];
};
[[nodiscard]] consteval LicenceInfoPrefix ScrambledLicenceInfoPrefix() {
  constexpr char kPlain[] = "This setup program was made with Quillon. Licence details:\r\n\r\n";
  static_assert(sizeof kPlain - 1 == kLicenceInfoPrefixLength);
  LicenceInfoPrefix prefix{};
  for (int32_t i = 0; i < kLicenceInfoPrefixLength; ++i) prefix.bytes[i] = kPlain[i];
  DescrambleText(prefix.bytes, kLicenceInfoPrefixLength);
  return prefix;
}

// File offset of the first entry. Lengths below zero count as no text, and a
// sum that does not fit a signed 32-bit file position gives -1 (the package
// cannot be positioned there), instead of wrapping round to some other offset.
[[nodiscard]] int32_t ComputeDataStart(const PackageHeader& header);

}  // namespace quillon
