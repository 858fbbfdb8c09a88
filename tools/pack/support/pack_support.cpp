#include "support/pack_support.h"

#include <cstdio>

namespace quillon::pack {

void Warn(const std::string& message) {
  (void)std::fprintf(stderr, "quillon-pack: warning: %s\n", message.c_str());
}

std::string Printable(std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string shown;
  shown.reserve(text.size());
  for (const char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 || byte == 0x7F) {
      shown += "\\x";
      shown += kHex[byte >> 4];
      shown += kHex[byte & 0x0F];
    } else {
      shown += c;
    }
  }
  return shown;
}

// Built by appending: GCC 12 sees a false overlap in "'" + text + "'" and
// stops a Release build on it.
std::string Quote(std::string_view text) {
  std::string quoted;
  quoted.reserve(text.size() + 2);
  quoted += '\'';
  quoted += Printable(text);
  quoted += '\'';
  return quoted;
}

}  // namespace quillon::pack
