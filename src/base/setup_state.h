// The one process-wide record. It lives in zero-filled static storage and has
// no constructor that would need to run: every field starts as zero, false,
// null or empty.
#pragma once

#include <windows.h>

#include <cstdint>

#include "base/buffer_sizes.h"
#include "base/package_format.h"
#include "base/text_list.h"

namespace quillon {

enum class OverwriteMode : uint8_t { Replace = 0, Keep = 1, Ask = 2 };

struct SetupState {
  HINSTANCE instanceHandle;

  // Directories, chosen before the package is opened.
  char workDirectory[kDirectoryBufferSize];
  char systemDirectory[128];
  char startDirectory[kDirectoryBufferSize];

  // The package and what its header says.
  HANDLE packageHandle;
  char* title;  // kTextBufferSize bytes
  bool hasTitle;
  char* infFileName;  // kTextBufferSize bytes
  PackageHeader header;
  const char* infoText;
  char* licenceText;
  char* licenceInfoText;
  char licenceInfoPrefix[kLicenceInfoPrefixLength + 1];
  int32_t dataStart;
  // Split packages: the joined package file in the work directory.
  FixedText<kDirectoryBufferSize + 16> joinedPackagePath;

  // Extraction results, read by the main window.
  bool extractionSucceeded;
  TextList extractedFiles;
  TextList createdDirectories;  // inside the work directory, parents first
  OverwriteMode overwriteMode;  // Ask until an answer to the overwrite prompt holds for every file

  bool installStarted;
};

extern SetupState state;

}  // namespace quillon
