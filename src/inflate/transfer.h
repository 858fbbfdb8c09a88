// What the data routines of one entry work on: the stored copy and the inflate
// decoder read dataRemaining bytes from the package, decrypt them when the
// entry is encrypted, write the output and fold every byte written into
// entryCrc. The extraction loop prepares it and judges the entry by entryCrc.
#pragma once

#include <cstdint>

#include "base/zip_format.h"
#include "crypt/zip_crypt.h"
#include "fs/package_io.h"

namespace quillon {

constexpr int32_t kTransferBlock = 32768;

struct EntryTransfer {
  PackageSource* package = nullptr;  // positioned at the entry's first data byte
  OutputSink* output = nullptr;
  int32_t dataRemaining = 0;        // data bytes not yet read from the package
  uint32_t entryCrc = 0xFFFFFFFFu;  // running register, preset by the caller
  uint16_t flags = 0;               // kFlagEncrypted: the keys stand at the first data byte
  ZipKeys keys{};
  bool ioFailed = false;  // sticky: a write reported fewer bytes than given
};

}  // namespace quillon
