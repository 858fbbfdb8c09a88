#include "cli/options.h"

#include <cctype>
#include <charconv>
#include <iterator>
#include <set>

#include "cli/config_file.h"

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

std::string Dashed(const OptionSpec& option) {
  return "--" + std::string(option.name);
}

const char* CommandName(Command command) {
  switch (command) {
    case kList:
      return "list";
    case kVerify:
      return "verify";
    case kExtract:
      return "extract";
    default:
      return "writing an installer";
  }
}

// The option an argument names: "-o", "-oFILE", "--title", "--title=TEXT".
const OptionSpec& FindArgumentOption(std::string& argument, std::optional<std::string>& value) {
  const OptionSpec* option = nullptr;
  if (argument.starts_with("--")) {
    const size_t equals = argument.find('=');
    if (equals != std::string::npos) {
      value = argument.substr(equals + 1);
      argument.resize(equals);
    }
    option = FindLongOption(std::string_view(argument).substr(2));
  } else {
    option = FindShortOption(argument[1]);
    if (option != nullptr && argument.size() > 2) {
      if (option->value.empty()) throw UsageError("unknown option " + Quote(argument));
      value = argument.substr(2);
    }
  }
  if (option == nullptr) throw UsageError("unknown option " + Quote(argument));
  return *option;
}

// What a setting decides: a setting on the command line replaces the
// description file's settings of the same slot. The inputs, --from-zip and
// --base share the slot of --base.
OptionId Slot(const Setting& setting) {
  return setting.option == nullptr ? OptionId::Base : setting.option->slot;
}

Options Apply(const std::vector<Setting>& settings) {
  Options options;
  bool outputGiven = false;
  std::optional<std::filesystem::path> base;

  for (const Setting& setting : settings) {
    if (setting.option == nullptr) {
      options.inputs.push_back(ParseInputArgument(*setting.value, setting.plainPath, base));
      continue;
    }
    const OptionSpec& option = *setting.option;
    const std::string v = setting.value.value_or("");
    switch (option.id) {
      case OptionId::Output:
        if (outputGiven) throw UsageError("--output is given twice");
        if (v == "-") {
          throw UsageError(
              "-o -: the installer cannot go to standard output (it is written beside its place and "
              "then renamed); name a file, ./- for one called '-'");
        }
        options.output = v;
        outputGiven = true;
        break;
      case OptionId::Stub:
        options.stub = v;
        break;
      case OptionId::Title:
        SetText(options.title, Dashed(option), v, std::nullopt);
        break;
      case OptionId::Inf:
        SetText(options.inf, Dashed(option), v, std::nullopt);
        break;
      case OptionId::LicenceInfo:
        SetText(options.licenceInfo, Dashed(option), v, std::nullopt);
        break;
      case OptionId::LicenceInfoFile:
        SetText(options.licenceInfo, Dashed(option), std::nullopt, v);
        break;
      case OptionId::Info:
        SetText(options.info, Dashed(option), v, std::nullopt);
        break;
      case OptionId::InfoFile:
        SetText(options.info, Dashed(option), std::nullopt, v);
        break;
      case OptionId::Licence:
        SetText(options.licence, Dashed(option), v, std::nullopt);
        break;
      case OptionId::LicenceFile:
        SetText(options.licence, Dashed(option), std::nullopt, v);
        break;
      case OptionId::Level:
        options.level = ParseNumber("--level", v, 0, kMaxLevel);
        break;
      case OptionId::Store:
        options.level = 0;
        break;
      case OptionId::Jobs:
        options.jobs = ParseNumber("--jobs", v, 1, kMaxJobs);
        break;
      case OptionId::FromZip: {
        if (v.empty()) throw UsageError("--from-zip needs an archive");
        Input archive;
        archive.argument = v;
        archive.path = v;
        archive.fromZip = true;
        options.inputs.push_back(std::move(archive));
        break;
      }
      case OptionId::Base:
        base.reset();
        if (!v.empty()) base = v;
        break;
      case OptionId::HeaderField:
        options.overrides.push_back(ParseHeaderOverride(v));
        break;
      case OptionId::CodePage:
      case OptionId::NameEncoding:
        SetCodePage(options.codePage, option, v);
        break;
      case OptionId::Split:
        options.splitSize = ParseSize("--split", v, INT64_MAX);
        break;
      case OptionId::SignReserve:
        options.signReserve = static_cast<uint16_t>(ParseSize("--sign-reserve", v, kMaxSignReserve));
        break;
      case OptionId::Password:
      case OptionId::PasswordFile:
      case OptionId::PasswordStdin:
        (void)SetPasswordOption(options.password, Dashed(option), v);
        break;
      case OptionId::Help:
        options.help = true;
        break;
      case OptionId::Version:
        options.version = true;
        break;
      case OptionId::WaitForFinish:
        options.flags.waitForFinish = true;
        break;
      case OptionId::NoWait:
        options.flags.waitForFinish = false;
        break;
      case OptionId::Admin:
        options.flags.adminRequired = true;
        break;
      case OptionId::HideInfoButton:
        options.flags.hideInfoButton = true;
        break;
      case OptionId::Trailer:
        options.ending = Ending::Trailer;
        break;
      case OptionId::Quiet:
        options.quiet = true;
        break;
      case OptionId::Config:
      case OptionId::Directory:
      case OptionId::Overwrite:
      case OptionId::Json:
        break;  // taken before, or not by this command
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

std::vector<Setting> Tokenize(const std::vector<std::string>& arguments, Command command) {
  std::vector<Setting> settings;
  bool plainPaths = false;
  for (size_t i = 0; i < arguments.size(); ++i) {
    std::string argument = arguments[i];
    if (plainPaths || argument.size() < 2 || argument[0] != '-') {
      settings.push_back({nullptr, argument, plainPaths});
      continue;
    }
    if (argument == "--") {
      plainPaths = true;
      continue;
    }
    std::optional<std::string> value;
    const OptionSpec& option = FindArgumentOption(argument, value);
    if ((option.commands & command) == 0) {
      throw UsageError(Quote(argument) + " is no option for " + CommandName(command));
    }
    if (option.value.empty()) {
      if (value) throw UsageError(argument + " takes no value");
    } else if (!value) {
      if (i + 1 == arguments.size()) throw UsageError(argument + " needs a value");
      value = arguments[++i];
    }
    settings.push_back({&option, value});
  }
  return settings;
}

void SetCodePage(CodePageOption& codePage, const OptionSpec& option, const std::string& value) {
  const bool texts = option.id == OptionId::CodePage;
  if (codePage.codePage && codePage.convertsTexts != texts) {
    throw UsageError("--code-page and --name-encoding: give one of them (--code-page converts the texts too)");
  }
  if (value.empty()) throw UsageError(Dashed(option) + " needs a code page, e.g. 1252");
  codePage.codePage = value;
  codePage.convertsTexts = texts;
}

Options ParseCommandLine(const std::vector<std::string>& arguments) {
  std::vector<Setting> given;
  std::optional<std::string> config;
  for (Setting& setting : Tokenize(arguments, kPack)) {
    if (setting.option == nullptr || setting.option->id != OptionId::Config) {
      given.push_back(std::move(setting));
      continue;
    }
    if (config) throw UsageError("--config is given twice");
    config = *setting.value;
  }
  if (!config) return Apply(given);

  std::set<OptionId> replaced;
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
