// The start-up read: what the installer reads of its package before any
// window shows, in this order:
//
//   1. the header at kPackageOffset. Without the magic nothing else is read:
//      there is no package, and the entries would start at offset 0;
//   2. the host's word whether to go on (the stub asks for administrator
//      rights there, when the header wants them);
//   3. the five texts behind the header, each into a buffer that the host
//      gives; the three scrambled ones are descrambled;
//   4. for a single-file package, the integrity check;
//   5. where the entries start.
//
// The stub, the packager's list, verify and extract, the tests and the fuzzer
// all read a package's start through ReadPackageStart.
#pragma once

#include <cstdint>

#include "base/package_format.h"
#include "fs/package_io.h"

namespace quillon {

// The texts, in the order they follow the header.
enum class PackageText : uint8_t { Title, Inf, LicenceInfo, Info, Licence, Count };
constexpr int32_t kPackageTextCount = static_cast<int32_t>(PackageText::Count);

// The licence information, the information and the licence text are stored
// scrambled; the title and the INF text are plain.
[[nodiscard]] constexpr bool IsScrambled(PackageText text) {
  return text >= PackageText::LicenceInfo;
}

// The length the header gives a text; below zero for none.
[[nodiscard]] int32_t StoredTextLength(const PackageHeader& header, PackageText text);

// Whether a text is there: the title, the INF text and the licence
// information always are (their lengths are 0 to 255), the information and
// the licence text when their lengths are above 0.
[[nodiscard]] bool HasText(const PackageHeader& header, PackageText text);

class PackageStartHost {
 public:
  // The header has been read; false stops the reading before the texts.
  [[nodiscard]] virtual bool GoOn(const PackageHeader& header) = 0;
  // A buffer of length + 1 bytes for a text that is there; null stops the
  // reading (the stub never gives null: its allocation ends the program).
  [[nodiscard]] virtual char* TextBuffer(PackageText text, int32_t length) = 0;

 protected:
  PackageStartHost() = default;
  PackageStartHost(const PackageStartHost&) = default;
  PackageStartHost& operator=(const PackageStartHost&) = default;
  ~PackageStartHost() = default;
};

enum class PackageStartStatus : uint8_t {
  NoPackage,  // no magic at kPackageOffset
  Ready,      // the header and texts are read and, for a single file, the end is there
  Stopped,    // the host said no, or gave no buffer for a text
  Corrupted,  // a single-file package whose end is missing (the integrity check)
};

struct PackageStart {
  PackageStartStatus status = PackageStartStatus::NoPackage;
  PackageHeader header;
  // Bytes of each text that arrived; less than its length when the file ends
  // inside it. The text ends with a NUL behind them, and only they are
  // descrambled.
  int32_t arrived[kPackageTextCount] = {};
  // Where the entries start: 0 without a package, -1 when the texts reach
  // beyond what a file position can hold.
  int32_t dataStart = 0;

  [[nodiscard]] bool TextsWhole() const;
};

[[nodiscard]] PackageStart ReadPackageStart(PackageSource& package, PackageStartHost& host);

}  // namespace quillon
