#include "building/reproducible.h"

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>

#include "building/sha256.h"

namespace quillon::pack {

namespace {

constexpr const char* kEpochVariable = "SOURCE_DATE_EPOCH";

std::optional<int64_t> ReadSourceDateEpoch() {
  const char* text = std::getenv(kEpochVariable);  // NOLINT(concurrency-mt-unsafe): nothing sets the environment
  if (text == nullptr) return std::nullopt;
  int64_t seconds = 0;
  const char* end = text + std::strlen(text);
  const auto [stop, error] = std::from_chars(text, end, seconds);
  if (*text == '\0' || *text == '-' || error != std::errc() || stop != end) {
    throw PackError(std::string(kEpochVariable) + " is " + Quote(text) +
                    "; it must be a number of seconds since 1970-01-01 00:00:00 UTC");
  }
  return seconds;
}

}  // namespace

std::optional<int64_t> SourceDateEpoch() {
  static const std::optional<int64_t> epoch = ReadSourceDateEpoch();
  return epoch;
}

DosDateTime EntryTime(int64_t modified) {
  const std::optional<int64_t> epoch = SourceDateEpoch();
  if (!epoch) return ToDosDateTime(modified);
  return ToDosDateTimeUtc(std::min(modified, *epoch));
}

void DeriveEncryptionHeader(const std::string& password, int64_t epoch, const Bytes& entry, uint8_t* header,
                            size_t size) {
  HmacSha256 mac(password);
  Bytes epochBytes;
  Put32(epochBytes, static_cast<uint32_t>(static_cast<uint64_t>(epoch)));
  Put32(epochBytes, static_cast<uint32_t>(static_cast<uint64_t>(epoch) >> 32));
  mac.Add(epochBytes.data(), epochBytes.size());
  mac.Add(entry.data(), entry.size());
  const Sha256Digest digest = mac.Finish();
  std::copy_n(digest.begin(), std::min(size, digest.size()), header);
}

}  // namespace quillon::pack
