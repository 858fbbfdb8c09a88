// Every text the program shows, in one table: the dialogs' labels (the
// templates carry placeholders only; the dialog procedures set these at run
// time), the status texts, the message boxes' texts and their captions. Only
// the licence information's opening text lives elsewhere: the image holds it
// scrambled (package/package_header.h).
#pragma once

namespace quillon {

enum class UiText {
  AlreadyExists,
  DontAskAgain,
  Yes,
  No,
  SetupIsUpdating,
  UpdatingSettings,
  Finish,
  ClickFinish,
  Deleting,
  LicenceCaption,
  LicenceRequest,
  IAgree,
  Cancel,
  Install,
  Close,
  PasswordCaption,
  Ok,
  Info,
  CannotCloseFile,
  Error,
  InsertDisk,
  ErrorRebuilding,
  SetupCorrupted,
  NeedAdministrator,
  CannotOpenFile,
  DirectoryError,
  InvalidFilename,
  ExtractionError,
  ReadingError,
  UnknownCompression,
  InitFailed,
  LicenceInfoCaption,
  DefaultInfo,
  Extracting,
  RuntimeError,
  Count
};

inline constexpr const char* kUiTexts[] = {
    " already exists - overwrite?",
    "Don't &ask again",
    "&Yes",
    "&No",
    "Setup is updating your system:",
    "Updating system settings ...",
    "&Finish",
    "Please click the \"Finish\" button to close this window after setup.",
    "Deleting ",
    "Licence agreement",
    "To continue with this installation, you must agree to all terms of this licence agreement.",
    "I agree",
    "&Cancel",
    "&Install",
    "&Close",
    "Please enter the password to continue...",
    "&Ok",
    "&Info",
    "Cannot close the file",
    "Error",
    "Please insert disk with part number ",
    "Error rebuilding this Setup package.",
    "The setup file is corrupted. Please obtain a new copy of the program.",
    "You need to have administrative privileges to run this program.",
    "Cannot open file ..",
    "Error in directory ..",
    "Invalid filename.",
    "Error extracting file(s).",
    "Error reading archive.",
    "Unknown compression type",
    "Couldn't initialize installation.",
    "License Information",
    "\r\r\rPlease click \"Install\" to start setup.",  // shown when the package has no information text
    "  Extracting: ",
    "Runtime error",
};
static_assert(sizeof kUiTexts / sizeof kUiTexts[0] == static_cast<unsigned>(UiText::Count));

[[nodiscard]] constexpr const char* Text(UiText id) {
  return kUiTexts[static_cast<unsigned>(id)];
}

// Line-break prefixes that push status texts down inside the status area.
inline constexpr char kBreak2[] = "\r\n\r\n";
inline constexpr char kBreak3[] = "\r\n\r\n\r\n";
inline constexpr char kBreak4[] = "\r\n\r\n\r\n\r\n";

}  // namespace quillon
