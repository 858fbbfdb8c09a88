// Every option of the packager, in one table: the command line is parsed by
// it, --help is written from it, a description file's keys are looked up in
// it, and docs/packager.md's list of options is checked against it. Each row
// holds what a manual page or a shell completion needs as well: the names,
// the value and its kind, the section and the help text.
#pragma once

#include <array>
#include <cstdint>
#include <string_view>

namespace quillon::pack {

enum class OptionId {
  Output,
  Stub,
  Trailer,
  Split,
  SignReserve,
  Quiet,
  Base,
  FromZip,
  Level,
  Store,
  Jobs,
  Title,
  Inf,
  LicenceInfo,
  LicenceInfoFile,
  Info,
  InfoFile,
  Licence,
  LicenceFile,
  CodePage,
  NameEncoding,
  WaitForFinish,
  NoWait,
  Admin,
  HideInfoButton,
  HeaderField,
  PasswordFile,
  PasswordStdin,
  Password,
  Config,
  Directory,
  Overwrite,
  Json,
  Version,
  Help,
};

// The sections of --help (and of a manual page), in their order.
enum class OptionSection {
  Inputs,
  Output,
  Compression,
  Texts,
  CodePage,
  HeaderFlags,
  Passwords,
  DescriptionFile,
  LookingInto,
  General,
};

// The commands: writing an installer, and looking into one.
enum Command : uint8_t {
  kPack = 1,
  kList = 2,
  kVerify = 4,
  kExtract = 8,
  kAnyCommand = kPack | kList | kVerify | kExtract,
};

// What the value is, for completion: a file, a directory or anything else.
enum class ValueKind { None, File, Directory, Number, Text };

// Where a description file takes the option, under its long name.
enum class ConfigPlace { None, Installer, Inputs };

struct OptionSpec {
  OptionId id;
  std::string_view name;   // the long form, without "--"
  char shortName;          // -o; 0 when there is none
  std::string_view value;  // the value as help names it ("FILE"); empty for a switch
  ValueKind kind;
  OptionSection section;
  uint8_t commands;    // the Command bits that take it
  ConfigPlace config;  // where a description file may set it
  // The setting it replaces when given on the command line over a
  // description file: --info-file replaces info as well.
  OptionId slot;
  std::string_view help;
};

// clang-format off
inline constexpr std::array kOptions = {
    OptionSpec{OptionId::Base, "base", 0, "DIR", ValueKind::Directory, OptionSection::Inputs, kPack,
               ConfigPlace::Inputs, OptionId::Base,
               "inputs after this option (without NAME=) are stored with names relative to DIR; --base= ends that"},
    OptionSpec{OptionId::FromZip, "from-zip", 0, "ARCHIVE", ValueKind::File, OptionSection::Inputs, kPack,
               ConfigPlace::Inputs, OptionId::Base,
               "take the entries of a ZIP archive as they are (data untouched; checked against their CRC-32 "
               "unless encrypted); may be repeated"},
    OptionSpec{OptionId::Output, "output", 'o', "FILE", ValueKind::File, OptionSection::Output, kPack,
               ConfigPlace::Installer, OptionId::Output,
               "the installer to write (required; not '-'); it appears only when complete and replaces an older "
               "file at once; a missing folder is made"},
    OptionSpec{OptionId::Stub, "stub", 0, "FILE", ValueKind::File, OptionSection::Output, kPack,
               ConfigPlace::Installer, OptionId::Stub,
               "the installer stub (at most 35840 bytes); default: setup-stub.exe beside quillon-pack, in target/ "
               "or ../target/ (where the build puts it), or in ../share/quillon/ (where an install puts it)"},
    OptionSpec{OptionId::Trailer, "trailer", 0, "", ValueKind::None, OptionSection::Output, kPack,
               ConfigPlace::Installer, OptionId::Trailer,
               "end with the 4-byte marker \"RSF\" instead of a central directory (the installer is then no ZIP)"},
    OptionSpec{OptionId::Split, "split", 0, "SIZE", ValueKind::Number, OptionSection::Output, kPack,
               ConfigPlace::Installer, OptionId::Split,
               "split into the installer and part files of at most SIZE bytes each (k, m, g: times 1024, 1024^2, "
               "1024^3; e.g. 1440k), named by replacing the last three characters of its name: setup.001, "
               "setup.002, ... (at most 255; none when all fits in SIZE); older parts of that name beyond the new "
               "ones are removed"},
    OptionSpec{OptionId::SignReserve, "sign-reserve", 0, "BYTES", ValueKind::Number, OptionSection::Output, kPack,
               ConfigPlace::Installer, OptionId::SignReserve,
               "room for a code signature added later: the ZIP end record's comment reaches over a certificate "
               "table of up to BYTES bytes (at most 65528) and the padding before it, so that the installer still "
               "finds its end once signed. 16k covers a typical RSA-4096 signature with its certificate chain and "
               "a timestamp; the exact size keeps ZIP tools quiet once signed"},
    OptionSpec{OptionId::Quiet, "quiet", 0, "", ValueKind::None, OptionSection::Output, kPack | kExtract,
               ConfigPlace::Installer, OptionId::Quiet,
               "no progress line (shown on a terminal for long work) and no summary line at the end, both on "
               "standard error; warnings and errors are still shown"},
    OptionSpec{OptionId::Level, "level", 0, "N", ValueKind::Number, OptionSection::Compression, kPack,
               ConfigPlace::Installer, OptionId::Level,
               "deflate level 1 (fast) to 12 (smallest), 0 = store; default 12. An entry that deflate would not "
               "make smaller is stored."},
    OptionSpec{OptionId::Store, "store", 0, "", ValueKind::None, OptionSection::Compression, kPack,
               ConfigPlace::Installer, OptionId::Level, "store every entry (the same as --level 0)"},
    OptionSpec{OptionId::Jobs, "jobs", 0, "N", ValueKind::Number, OptionSection::Compression, kPack,
               ConfigPlace::Installer, OptionId::Jobs,
               "compress on N threads (1 to 256); default: one per processor. The installer is the same whatever "
               "N is."},
    OptionSpec{OptionId::Title, "title", 0, "TEXT", ValueKind::Text, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Title, "window title (at most 255 bytes)"},
    OptionSpec{OptionId::Inf, "inf", 0, "TEXT", ValueKind::Text, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Inf,
               "INF text: the INF file to install, \"><\" standing for the extraction directory, e.g. "
               "\"><setup.inf\" (at most 255 bytes)"},
    OptionSpec{OptionId::LicenceInfo, "licence-info", 0, "TEXT", ValueKind::Text, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::LicenceInfo, "licence information (at most 255 bytes)"},
    OptionSpec{OptionId::LicenceInfoFile, "licence-info-file", 0, "FILE", ValueKind::File, OptionSection::Texts,
               kPack, ConfigPlace::Installer, OptionId::LicenceInfo, "the licence information from a file"},
    OptionSpec{OptionId::Info, "info", 0, "TEXT", ValueKind::Text, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Info, "information text of the main window"},
    OptionSpec{OptionId::InfoFile, "info-file", 0, "FILE", ValueKind::File, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Info, "the information text from a file"},
    OptionSpec{OptionId::Licence, "licence", 0, "TEXT", ValueKind::Text, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Licence, "licence text; the user must accept it"},
    OptionSpec{OptionId::LicenceFile, "licence-file", 0, "FILE", ValueKind::File, OptionSection::Texts, kPack,
               ConfigPlace::Installer, OptionId::Licence, "the licence text from a file"},
    OptionSpec{OptionId::CodePage, "code-page", 0, "CP", ValueKind::Text, OptionSection::CodePage, kAnyCommand,
               ConfigPlace::Installer, OptionId::CodePage,
               "the ANSI code page of the Windows machines the installer is for, e.g. 1252 (Western Europe) or "
               "932 (Japan): names of files and directories, texts and the password (UTF-8 here) are converted to "
               "it, and texts get CR LF line ends; what it cannot hold is refused. list, verify and extract read "
               "names and texts in it"},
    OptionSpec{OptionId::NameEncoding, "name-encoding", 0, "CP", ValueKind::Text, OptionSection::CodePage,
               kAnyCommand, ConfigPlace::Installer, OptionId::CodePage,
               "as --code-page, for the names only: texts and the password are taken as the bytes they are"},
    OptionSpec{OptionId::WaitForFinish, "wait-for-finish", 0, "", ValueKind::None, OptionSection::HeaderFlags,
               kPack, ConfigPlace::Installer, OptionId::WaitForFinish,
               "the window waits for \"Finish\" after setup (default)"},
    OptionSpec{OptionId::NoWait, "no-wait", 0, "", ValueKind::None, OptionSection::HeaderFlags, kPack,
               ConfigPlace::Installer, OptionId::WaitForFinish, "the window closes by itself after setup"},
    OptionSpec{OptionId::Admin, "admin", 0, "", ValueKind::None, OptionSection::HeaderFlags, kPack,
               ConfigPlace::Installer, OptionId::Admin, "the installer requires administrative rights"},
    OptionSpec{OptionId::HideInfoButton, "hide-info-button", 0, "", ValueKind::None, OptionSection::HeaderFlags,
               kPack, ConfigPlace::Installer, OptionId::HideInfoButton,
               "the Install button goes away when setup starts"},
    OptionSpec{OptionId::HeaderField, "header-field", 0, "NAME=VALUE", ValueKind::Text, OptionSection::HeaderFlags,
               kPack, ConfigPlace::Installer, OptionId::HeaderField,
               "force a raw header field after layout, for tests; the texts are written unchanged. NAME is one of "
               "magic (three characters), waitForFinish, titleLength, infLength, adminRequired, "
               "licenceInfoLength, hideInfoButton, multiPart (0..255), infoLength, licenceLength, totalSize "
               "(32-bit, may be negative); VALUE is decimal or 0x hexadecimal. May be repeated."},
    OptionSpec{OptionId::PasswordFile, "password-file", 0, "FILE", ValueKind::File, OptionSection::Passwords,
               kPack | kVerify | kExtract, ConfigPlace::Installer, OptionId::Password,
               "the password is the first and only line of FILE"},
    OptionSpec{OptionId::PasswordStdin, "password-stdin", 0, "", ValueKind::None, OptionSection::Passwords,
               kPack | kVerify | kExtract, ConfigPlace::Installer, OptionId::Password,
               "the password is read from standard input (from a terminal: without echo, and asked twice when "
               "writing an installer)"},
    OptionSpec{OptionId::Password, "password", 0, "TEXT", ValueKind::Text, OptionSection::Passwords,
               kPack | kVerify | kExtract, ConfigPlace::Installer, OptionId::Password,
               "the password itself; other users of the machine can see it in the list of processes, and the "
               "shell keeps it in its history: prefer the two above"},
    OptionSpec{OptionId::Config, "config", 'c', "FILE", ValueKind::File, OptionSection::DescriptionFile, kPack,
               ConfigPlace::None, OptionId::Config,
               "take options and inputs from FILE, an INI file with an [installer] section (the long options "
               "without their \"--\", switches as yes or no) and an [inputs] section (input = PATH or NAME=PATH, "
               "from-zip = ARCHIVE, base = DIR, in order); relative paths count from FILE's directory. An option "
               "on the command line replaces the file's; inputs on the command line replace all of the file's "
               "inputs."},
    OptionSpec{OptionId::Directory, "directory", 'd', "DIR", ValueKind::Directory, OptionSection::LookingInto,
               kExtract, ConfigPlace::None, OptionId::Directory,
               "extract: the directory to write below (made when missing); default: the current directory"},
    OptionSpec{OptionId::Overwrite, "overwrite", 0, "", ValueKind::None, OptionSection::LookingInto, kExtract,
               ConfigPlace::None, OptionId::Overwrite, "extract: replace existing files instead of keeping them"},
    OptionSpec{OptionId::Json, "json", 0, "", ValueKind::None, OptionSection::LookingInto, kList | kVerify,
               ConfigPlace::None, OptionId::Json,
               "list, verify: print one JSON document on standard output instead of the text, also for a "
               "damaged installer (see the manual for its fields)"},
    OptionSpec{OptionId::Version, "version", 0, "", ValueKind::None, OptionSection::General, kAnyCommand,
               ConfigPlace::None, OptionId::Version, "show the version"},
    OptionSpec{OptionId::Help, "help", 'h', "", ValueKind::None, OptionSection::General, kAnyCommand,
               ConfigPlace::None, OptionId::Help, "show this help"},
};
// clang-format on

// The values an option knows, for completion; an option without a row takes
// anything of its kind.
struct OptionValues {
  OptionId id;
  std::string_view values;  // separated by blanks
};

// The ANSI code pages of Windows.
inline constexpr std::string_view kCodePages = "874 932 936 949 950 1250 1251 1252 1253 1254 1255 1256 1257 1258";

inline constexpr std::array kOptionValues = {
    OptionValues{OptionId::CodePage, kCodePages},
    OptionValues{OptionId::NameEncoding, kCodePages},
    OptionValues{OptionId::Level, "0 1 2 3 4 5 6 7 8 9 10 11 12"},
};

// A section of --help: its heading, and text before and after its options.
// Paragraphs are separated by "\n"; a paragraph "TERM\tTEXT" is a row like
// an option's.
struct SectionSpec {
  OptionSection section;
  std::string_view title;
  std::string_view before;
  std::string_view after;
};

// clang-format off
inline constexpr std::array kSections = {
    SectionSpec{OptionSection::Inputs, "Inputs",
                "PATH\ta file, stored under its own name; or a directory, whose contents are stored with names "
                "relative to it\n"
                "NAME=PATH\tthe file stored as NAME, or the directory's contents stored below NAME/ (splits at "
                "the first '=')\n"
                "--\tlater arguments are paths, even with '=' or '-'",
                "Directories are walked in sorted order and symbolic links are followed; empty directories become "
                "\"NAME/\" entries, written after all files. Files of an earlier run met in an input directory "
                "(the installer, its part files) are left out; an output that would replace a file the run reads "
                "is refused."},
    SectionSpec{OptionSection::Output, "Output", "", ""},
    SectionSpec{OptionSection::Compression, "Compression", "", ""},
    SectionSpec{OptionSection::Texts, "Texts",
                "Texts are taken as bytes in the ANSI code page of the target machine (write line breaks as CR "
                "LF), or converted from UTF-8 with --code-page. A text file may be a pipe, as <(...) or "
                "/dev/stdin.",
                ""},
    SectionSpec{OptionSection::CodePage, "Code page", "",
                "Without them, names and texts are taken as bytes, and those outside ASCII get a warning. Names "
                "from --from-zip are taken as they are, and all names are checked in the characters of CP. CP is "
                "a number, or a name that iconv knows (cp1252)."},
    SectionSpec{OptionSection::HeaderFlags, "Header flags", "", ""},
    SectionSpec{OptionSection::Passwords, "Passwords (every entry is encrypted; the installer asks for the password)",
                "",
                "A password has 1 to 79 bytes (what the installer's password box takes) and no control "
                "characters. The traditional ZIP encryption, the only one the installer knows, keeps out only the "
                "casual reader: it is long broken, and whoever knows a few bytes of one file can read all of them. "
                "Entries taken with --from-zip that are encrypted already are kept when this password opens them "
                "and refused otherwise; without --password they are kept as they are."},
    SectionSpec{OptionSection::DescriptionFile, "Description file", "", ""},
    SectionSpec{OptionSection::LookingInto, "Looking into an installer",
                "INSTALLER may also be a split one, with its part files beside it, or a plain ZIP archive.\n"
                "list INSTALLER\tthe texts and flags, and each entry: size, packed size, method, encryption, date "
                "and name\n"
                "verify INSTALLER\tdecode every entry with the installer's own reader and decoder and check it "
                "against its CRC-32, and check the ending; the first fault ends it\n"
                "extract INSTALLER\tverify, then write the files with the installer's own extraction loop (its "
                "name checks included), showing progress on a terminal; nothing is written outside the "
                "directory, and existing files are kept unless --overwrite is given",
                "The password options above open encrypted entries; --code-page CP reads the names (and shows the "
                "texts) in that code page."},
    SectionSpec{OptionSection::General, "Other", "", ""},
};
// clang-format on

// The option of a long name (without "--"); null when there is none.
[[nodiscard]] constexpr const OptionSpec* FindLongOption(std::string_view name) {
  for (const OptionSpec& option : kOptions) {
    if (option.name == name) return &option;
  }
  return nullptr;
}

// The option of a short name; null when there is none.
[[nodiscard]] constexpr const OptionSpec* FindShortOption(char name) {
  for (const OptionSpec& option : kOptions) {
    if (option.shortName != 0 && option.shortName == name) return &option;
  }
  return nullptr;
}

[[nodiscard]] constexpr const OptionSpec& Option(OptionId id) {
  for (const OptionSpec& option : kOptions) {
    if (option.id == id) return option;
  }
  return kOptions.front();  // every id has a row (checked below)
}

static_assert([] {
  for (size_t id = 0; id <= static_cast<size_t>(OptionId::Help); ++id) {
    size_t rows = 0;
    for (const OptionSpec& option : kOptions) rows += static_cast<size_t>(option.id) == id ? 1 : 0;
    if (rows != 1) return false;
  }
  return true;
}());

}  // namespace quillon::pack
