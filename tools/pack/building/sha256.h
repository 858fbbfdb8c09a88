// SHA-256 (FIPS 180-4) and HMAC-SHA-256 (RFC 2104), for the encryption
// headers of reproducible installers.
#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace quillon::pack {

using Sha256Digest = std::array<uint8_t, 32>;

class Sha256 {
 public:
  Sha256();
  void Add(const uint8_t* data, size_t size);
  [[nodiscard]] Sha256Digest Finish();

 private:
  void Block(const uint8_t* block);

  std::array<uint32_t, 8> state_{};
  std::array<uint8_t, 64> pending_{};
  size_t pendingSize_ = 0;
  uint64_t totalBytes_ = 0;
};

// HMAC-SHA-256 of the messages' concatenation under `key`.
class HmacSha256 {
 public:
  explicit HmacSha256(std::string_view key);
  void Add(const uint8_t* data, size_t size) { inner_.Add(data, size); }
  [[nodiscard]] Sha256Digest Finish();

 private:
  std::array<uint8_t, 64> outerPad_{};
  Sha256 inner_;
};

}  // namespace quillon::pack
