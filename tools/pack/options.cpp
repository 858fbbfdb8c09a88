#include "options.h"

#include <cctype>
#include <charconv>
#include <functional>
#include <iterator>
#include <map>
#include <set>

#include "config_file.h"

namespace quillon::pack {

namespace {

void SetText(TextOption& option, const std::string& flag, std::optional<std::string> text,
             std::optional<std::filesystem::path> file) {
  if (option.text || option.file) throw UsageError(flag + ": this text is already given");
  option.text = std::move(text);
  option.file = std::move(file);
}

int ParseNumber(const std::string& option, const std::string& value, int lowest, int highest) {
  int number = lowest - 1;
  const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), number);
  if (value.empty() || error != std::errc() || end != value.data() + value.size() || number < lowest ||
      number > highest) {
    throw UsageError(option + " wants a number from " + std::to_string(lowest) + " to " + std::to_string(highest) +
                     ", not " + Quote(value));
  }
  return number;
}

// A size in bytes, or with k, m or g for 1024, 1024^2 or 1024^3 of them.
int64_t ParseSize(const std::string& option, const std::string& value, int64_t limit) {
  int64_t number = -1;
  const char* const end = value.data() + value.size();
  const auto [rest, error] = std::from_chars(value.data(), end, number);
  int64_t unit = 1;
  if (rest != end && rest + 1 == end) {
    const std::string suffixes = "kmg";
    const size_t found = suffixes.find(static_cast<char>(std::tolower(static_cast<unsigned char>(*rest))));
    if (found != std::string::npos) unit = int64_t{1} << (10 * (found + 1));
  }
  const bool whole = rest == end || unit > 1;
  if (error != std::errc() || !whole || number < 0 || number > limit / unit) {
    const std::string range = limit < INT64_MAX ? " from 0 to " + std::to_string(limit) : "";
    throw UsageError(option + " wants a number of bytes" + range + " (k, m, g: times 1024, 1024^2, 1024^3), not " +
                     Quote(value));
  }
  return number * unit;
}

const std::set<std::string>& Switches() {
  static const std::set<std::string> names = {
      "--help",  "--version", "--wait-for-finish",  "--no-wait",        "--admin",
      "--store", "--trailer", "--hide-info-button", "--password-stdin", "--quiet",
  };
  return names;
}

const std::set<std::string>& ValuedOptions() {
  static const std::set<std::string> names = {
      "--output",        "--stub",         "--title",         "--inf",          "--licence-info", "--licence-info-file",
      "--info",          "--info-file",    "--licence",       "--licence-file", "--level",        "--from-zip",
      "--base",          "--header-field", "--name-encoding", "--split",        "--sign-reserve", "--password",
      "--password-file", "--config",       "--jobs",
  };
  return names;
}

// Splits the arguments into options with their values and inputs.
std::vector<Setting> Tokenize(const std::vector<std::string>& arguments) {
  std::vector<Setting> settings;
  bool plainPaths = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (plainPaths || argument.size() < 2 || argument[0] != '-') {
      settings.push_back({"", argument, plainPaths});
      continue;
    }
    if (argument == "--") {
      plainPaths = true;
      continue;
    }
    std::optional<std::string> value;
    if (argument == "-h") {
      argument = "--help";
    } else if (argument.starts_with("-o") || argument.starts_with("-c")) {
      if (argument.size() > 2) value = argument.substr(2);
      argument = argument[1] == 'o' ? "--output" : "--config";
    } else if (argument.starts_with("--")) {
      const size_t equals = argument.find('=');
      if (equals != std::string::npos) {
        value = argument.substr(equals + 1);
        argument.resize(equals);
      }
    } else {
      throw UsageError("unknown option " + Quote(argument));
    }

    if (Switches().contains(argument)) {
      if (value) throw UsageError(argument + " takes no value");
      settings.push_back({argument, std::nullopt});
      continue;
    }
    if (!ValuedOptions().contains(argument)) throw UsageError("unknown option " + Quote(argument));
    if (!value) {
      if (i + 1 == arguments.size()) throw UsageError(argument + " needs a value");
      value = arguments[++i];
    }
    settings.push_back({argument, value});
  }
  return settings;
}

// What a setting decides: a setting on the command line replaces the
// description file's settings of the same slot.
std::string Slot(const Setting& setting) {
  const std::string& option = setting.option;
  if (option.empty() || option == "--from-zip" || option == "--base") return "inputs";
  if (option.starts_with("--password")) return "--password";
  if (option == "--store") return "--level";
  if (option == "--no-wait") return "--wait-for-finish";
  if (option.ends_with("-file")) return option.substr(0, option.size() - 5);  // --info-file: --info
  return option;
}

Options Apply(const std::vector<Setting>& settings) {
  Options options;
  bool outputGiven = false;
  std::optional<std::filesystem::path> base;

  using Handler = std::function<void(const std::string&)>;
  const std::map<std::string, Handler> valued = {
      {"--output",
       [&](const std::string& v) {
         if (outputGiven) throw UsageError("--output is given twice");
         options.output = v;
         outputGiven = true;
       }},
      {"--stub", [&](const std::string& v) { options.stub = v; }},
      {"--title", [&](const std::string& v) { SetText(options.title, "--title", v, std::nullopt); }},
      {"--inf", [&](const std::string& v) { SetText(options.inf, "--inf", v, std::nullopt); }},
      {"--licence-info",
       [&](const std::string& v) { SetText(options.licenceInfo, "--licence-info", v, std::nullopt); }},
      {"--licence-info-file",
       [&](const std::string& v) { SetText(options.licenceInfo, "--licence-info-file", std::nullopt, v); }},
      {"--info", [&](const std::string& v) { SetText(options.info, "--info", v, std::nullopt); }},
      {"--info-file", [&](const std::string& v) { SetText(options.info, "--info-file", std::nullopt, v); }},
      {"--licence", [&](const std::string& v) { SetText(options.licence, "--licence", v, std::nullopt); }},
      {"--licence-file", [&](const std::string& v) { SetText(options.licence, "--licence-file", std::nullopt, v); }},
      {"--level", [&](const std::string& v) { options.level = ParseNumber("--level", v, 0, kMaxLevel); }},
      {"--jobs", [&](const std::string& v) { options.jobs = ParseNumber("--jobs", v, 1, kMaxJobs); }},
      {"--from-zip",
       [&](const std::string& v) {
         if (v.empty()) throw UsageError("--from-zip needs an archive");
         Input archive;
         archive.argument = v;
         archive.path = v;
         archive.fromZip = true;
         options.inputs.push_back(std::move(archive));
       }},
      {"--base",
       [&](const std::string& v) {
         base.reset();
         if (!v.empty()) base = v;
       }},
      {"--header-field", [&](const std::string& v) { options.overrides.push_back(ParseHeaderOverride(v)); }},
      {"--name-encoding", [&](const std::string& v) { options.nameEncoding = v; }},
      {"--split", [&](const std::string& v) { options.splitSize = ParseSize("--split", v, INT64_MAX); }},
      {"--sign-reserve",
       [&](const std::string& v) {
         options.signReserve = static_cast<uint16_t>(ParseSize("--sign-reserve", v, kMaxSignReserve));
       }},
  };
  const std::map<std::string, std::function<void()>> switches = {
      {"--help", [&] { options.help = true; }},
      {"--version", [&] { options.version = true; }},
      {"--wait-for-finish", [&] { options.flags.waitForFinish = true; }},
      {"--no-wait", [&] { options.flags.waitForFinish = false; }},
      {"--admin", [&] { options.flags.adminRequired = true; }},
      {"--hide-info-button", [&] { options.flags.hideInfoButton = true; }},
      {"--trailer", [&] { options.ending = Ending::Trailer; }},
      {"--store", [&] { options.level = 0; }},
      {"--quiet", [&] { options.quiet = true; }},
  };

  for (const Setting& setting : settings) {
    if (setting.option.empty()) {
      options.inputs.push_back(ParseInputArgument(*setting.value, setting.plainPath, base));
    } else if (SetPasswordOption(options.password, setting.option, setting.value.value_or(""))) {
      continue;
    } else if (const auto found = switches.find(setting.option); found != switches.end()) {
      found->second();
    } else {
      valued.at(setting.option)(*setting.value);
    }
  }

  if (options.help || options.version) return options;
  if (!outputGiven || options.output.empty()) throw UsageError("no output given (-o FILE)");
  if (options.inputs.empty()) throw UsageError("no files to package");
  if (options.signReserve && options.ending == Ending::Trailer) {
    throw UsageError("--sign-reserve needs the ZIP end record, which --trailer leaves out");
  }
  if (options.signReserve && options.splitSize) {
    throw UsageError(
        "--sign-reserve cannot go with --split: a signature appended to the program file would be "
        "joined into the middle of the package");
  }
  return options;
}

}  // namespace

const char* UsageText() {
  return R"(Usage: quillon-pack -o INSTALLER [OPTION...] [INPUT...]
       quillon-pack -c DESCRIPTION.ini [OPTION...] [INPUT...]
       quillon-pack list [--name-encoding CP] INSTALLER
       quillon-pack verify [PASSWORD] [--name-encoding CP] INSTALLER
       quillon-pack extract [PASSWORD] [--name-encoding CP] [--overwrite]
                    -d DIR INSTALLER
       quillon-pack --version | --help

Writes a self-extracting installer: the stub, the package header and texts,
the files as ZIP entries, and a ZIP central directory, so that the installer
is also a ZIP archive that ordinary ZIP tools can list, test and extract.

Inputs:
  PATH                   a file, stored under its own name; or a directory,
                         whose contents are stored with names relative to it
  NAME=PATH              the file stored as NAME, or the directory's contents
                         stored below NAME/ (splits at the first '=')
  --base DIR             inputs after this option (without NAME=) are stored
                         with names relative to DIR; --base= ends that
  --                     later arguments are paths, even with '=' or '-'
  --from-zip ARCHIVE     take the entries of a ZIP archive as they are (data
                         untouched; checked against their CRC-32 unless
                         encrypted); may be repeated
  Directories are walked in sorted order and symbolic links are followed;
  empty directories become "NAME/" entries, written after all files.
  --name-encoding CP     write the names of files and directories (UTF-8
                         here) in the ANSI code page CP of the machines the
                         installer is for, e.g. cp1252 or cp932 (any name
                         iconv knows); a name CP cannot hold is refused.
                         Names from --from-zip are taken as they are, and
                         all names are checked in the characters of CP.
                         Without it, names are taken as bytes, and names
                         outside ASCII get a warning.

Output:
  -o, --output FILE      the installer to write (required); it appears only
                         when complete and replaces an older file at once
  --stub FILE            the installer stub (at most 35840 bytes); default:
                         setup-stub.exe beside quillon-pack, in target/ or
                         ../target/ (where the build puts it), or in
                         ../share/quillon/ (where an install puts it)
  --trailer              end with the 4-byte marker "RSF" instead of a
                         central directory (the installer is then no ZIP)
  --split SIZE           split into the installer and part files of at most
                         SIZE bytes each (k, m, g: times 1024, 1024^2,
                         1024^3; e.g. 1440k), named by replacing the last
                         three characters of its name: setup.001, setup.002,
                         ... (at most 255; none when all fits in SIZE);
                         older parts of that name beyond the new ones are
                         removed
  --sign-reserve BYTES   room for a code signature added later: the ZIP end
                         record's comment reaches over a certificate table of
                         up to BYTES bytes (at most 65528) and the padding
                         before it, so that the installer still finds its end
                         once signed. 16k covers a typical RSA-4096 signature
                         with its certificate chain and a timestamp; the
                         exact size keeps ZIP tools quiet once signed
  --quiet                no progress line (shown on a terminal for long
                         work) and no summary line at the end, both on
                         standard error; warnings and errors are still shown

Compression:
  --level N              deflate level 1 (fast) to 12 (smallest), 0 = store;
                         default 12. An entry that deflate would not make
                         smaller is stored.
  --store                store every entry (the same as --level 0)
  --jobs N               compress on N threads (1 to 256); default: one per
                         processor. The installer is the same whatever N is.

Texts (taken as bytes in the ANSI code page of the target machine; write
line breaks as CR LF):
  --title TEXT                     window title (at most 255 bytes)
  --inf TEXT                       INF text: the INF file to install, "><"
                                   standing for the extraction directory,
                                   e.g. "><setup.inf" (at most 255 bytes)
  --licence-info TEXT, --licence-info-file FILE
                                   licence information (at most 255 bytes)
  --info TEXT, --info-file FILE    information text of the main window
  --licence TEXT, --licence-file FILE
                                   licence text; the user must accept it

Header flags:
  --wait-for-finish      the window waits for "Finish" after setup (default)
  --no-wait              the window closes by itself after setup
  --admin                the installer requires administrative rights
  --hide-info-button     the Install button goes away when setup starts
  --header-field NAME=VALUE
                         force a raw header field after layout, for tests;
                         the texts are written unchanged. NAME is one of
                         magic (three characters), waitForFinish, titleLength,
                         infLength, adminRequired, licenceInfoLength,
                         hideInfoButton, multiPart (0..255), infoLength,
                         licenceLength, totalSize (32-bit, may be negative);
                         VALUE is decimal or 0x hexadecimal. May be repeated.

Passwords (every entry is encrypted; the installer asks for the password):
  --password-file FILE   the password is the first and only line of FILE
  --password-stdin       the password is read from standard input (from a
                         terminal: without echo, and asked twice when
                         writing an installer)
  --password TEXT        the password itself; other users of the machine can
                         see it in the list of processes, and the shell keeps
                         it in its history: prefer the two above
  A password has 1 to 79 bytes (what the installer's password box takes)
  and no control characters. The traditional ZIP encryption, the only one
  the installer knows, keeps out only the casual reader: it is long broken,
  and whoever knows a few bytes of one file can read all of them. Entries
  taken with --from-zip that are encrypted already are kept when this
  password opens them and refused otherwise; without --password they are
  kept as they are.

Description file:
  -c, --config FILE      take options and inputs from FILE, an INI file with
                         an [installer] section (the long options without
                         their "--", switches as yes or no) and an [inputs]
                         section (input = PATH or NAME=PATH, from-zip =
                         ARCHIVE, base = DIR, in order); relative paths count
                         from FILE's directory. An option on the command line
                         replaces the file's; inputs on the command line
                         replace all of the file's inputs.

Looking into an installer (also a split one with its part files beside it,
or a plain ZIP archive):
  list INSTALLER         the texts and flags, and each entry: size, packed
                         size, method, encryption, date and name
  verify INSTALLER       decode every entry with the installer's own reader
                         and decoder and check it against its CRC-32, and
                         check the ending; the first fault ends it
  extract INSTALLER -d DIR
                         verify, then write the files below DIR with the
                         installer's own extraction loop (its name checks
                         included); nothing is written outside DIR, and
                         existing files are kept unless --overwrite is given
  The password options above open encrypted entries; --name-encoding CP
  reads the names (and shows the texts) in that code page.

  --version              show the version
  -h, --help             show this help

File times are stored as MS-DOS date and time in this machine's local time
zone; the installer gives extracted files that time as its own local time.
The same inputs give the same installer, byte for byte, but for the random
encryption headers of a password installer. With SOURCE_DATE_EPOCH set
(seconds since 1970), later times are stored as that time, all in UTC, and
the encryption headers are derived from the password and each entry: the
same installer on any day, on any machine.

Exit status:
  0  success: the installer was written, listed, found sound or extracted
  1  failure: the installer cannot be written (no output is left), or the
     installer looked into cannot be read, is damaged, or needs another
     password, or extract could not write a file or kept an existing one
  2  the command line (or the description file) cannot be understood
)";
}

std::optional<OptionKind> FindOption(const std::string& key) {
  const std::string option = "--" + key;
  if (option == "--help" || option == "--version" || option == "--config") return std::nullopt;
  if (Switches().contains(option)) return OptionKind{option, false};
  if (ValuedOptions().contains(option)) return OptionKind{option, true};
  return std::nullopt;
}

Options ParseCommandLine(const std::vector<std::string>& arguments) {
  std::vector<Setting> given;
  std::optional<std::string> config;
  for (Setting& setting : Tokenize(arguments)) {
    if (setting.option != "--config") {
      given.push_back(std::move(setting));
      continue;
    }
    if (config) throw UsageError("--config is given twice");
    config = *setting.value;
  }
  if (!config) return Apply(given);

  std::set<std::string> replaced;
  for (const Setting& setting : given) replaced.insert(Slot(setting));
  std::vector<Setting> merged;
  for (Setting& setting : ReadDescriptionFile(*config)) {
    if (!replaced.contains(Slot(setting))) merged.push_back(std::move(setting));
  }
  merged.insert(merged.end(), std::make_move_iterator(given.begin()), std::make_move_iterator(given.end()));
  Options options = Apply(merged);
  options.config = *config;
  return options;
}

}  // namespace quillon::pack
