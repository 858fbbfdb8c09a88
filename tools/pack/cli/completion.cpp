#include "cli/completion.h"

#include <optional>
#include <string_view>

#include "cli/manual_text.h"
#include "cli/option_table.h"

namespace quillon::pack {

namespace {

struct CommandWords {
  std::string_view name;  // empty: writing an installer
  Command bit;
};

// Writing an installer last: its pattern matches anything.
constexpr std::array kCommandWords = {
    CommandWords{"list", kList},
    CommandWords{"verify", kVerify},
    CommandWords{"extract", kExtract},
    CommandWords{"", kPack},
};

// "-o | --output": the forms of an option, as a case pattern.
std::string Pattern(const OptionSpec& option) {
  std::string pattern;
  if (option.shortName != 0) pattern = std::string("-") + option.shortName + " | ";
  return pattern + "--" + std::string(option.name);
}

std::optional<std::string_view> KnownValues(const OptionSpec& option) {
  for (const OptionValues& values : kOptionValues) {
    if (values.id == option.id) return values.values;
  }
  return std::nullopt;
}

// The case branch for the options whose value is completed alike.
void AppendValueCase(std::string& out, const std::string& patterns, const std::string& action) {
  if (patterns.empty()) return;
  out += "  " + patterns + ")\n    " + action + "\n    return\n    ;;\n";
}

void AppendValues(std::string& out) {
  std::string files;
  std::string directories;
  std::string others;  // numbers and texts: nothing to offer
  auto add = [](std::string& patterns, const OptionSpec& option) {
    patterns += (patterns.empty() ? "" : " | ") + Pattern(option);
  };
  out += "  case $prev in\n";
  for (const OptionSpec& option : kOptions) {
    if (option.value.empty()) continue;
    if (const auto values = KnownValues(option)) {
      AppendValueCase(out, Pattern(option),
                      "mapfile -t COMPREPLY < <(compgen -W \"" + std::string(*values) + "\" -- \"$cur\")");
    } else if (option.kind == ValueKind::File) {
      add(files, option);
    } else if (option.kind == ValueKind::Directory) {
      add(directories, option);
    } else {
      add(others, option);
    }
  }
  AppendValueCase(out, files, "mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")");
  AppendValueCase(out, directories, "mapfile -t COMPREPLY < <(compgen -d -- \"$cur\")");
  AppendValueCase(out, others, "COMPREPLY=()");
  out += "  esac\n";
}

void AppendOptionWords(std::string& out) {
  out += "  if [[ $cur == -* ]]; then\n    local words\n    case $command in\n";
  for (const CommandWords& command : kCommandWords) {
    std::string words;
    for (const OptionSpec& option : kOptions) {
      if ((option.commands & command.bit) == 0) continue;
      if (option.shortName != 0) words += std::string(words.empty() ? "" : " ") + "-" + option.shortName;
      words += (words.empty() ? "--" : " --") + std::string(option.name);
    }
    out += "    " + std::string(command.name.empty() ? "*" : command.name) + ") words=\"" + words + "\" ;;\n";
  }
  out += "    esac\n    mapfile -t COMPREPLY < <(compgen -W \"$words\" -- \"$cur\")\n    return\n  fi\n";
}

}  // namespace

std::string BashCompletion() {
  // The commands, as words and as a case pattern.
  std::string commands;
  std::string pattern;
  for (const UsageSpec& usage : kUsage) {
    if (usage.command.empty()) continue;
    commands += (commands.empty() ? "" : " ") + std::string(usage.command);
    pattern += (pattern.empty() ? "" : " | ") + std::string(usage.command);
  }
  std::string out =
      "# bash completion for quillon-pack. Made by the build from quillon-pack's table\n"
      "# of options: do not edit.\n"
      "_quillon_pack() {\n"
      "  local cur=${COMP_WORDS[COMP_CWORD]} prev=\"\" command=\"\"\n"
      "  ((COMP_CWORD > 0)) && prev=${COMP_WORDS[COMP_CWORD - 1]}\n"
      "  # --option=VALUE comes as three words: the option, '=' and the value.\n"
      "  if [[ $cur == = ]]; then\n"
      "    cur=\"\"\n"
      "  elif [[ $prev == = ]] && ((COMP_CWORD > 1)); then\n"
      "    prev=${COMP_WORDS[COMP_CWORD - 2]}\n"
      "  fi\n"
      "  if ((COMP_CWORD > 1)); then\n"
      "    case ${COMP_WORDS[1]} in\n"
      "    " +
      pattern +
      ") command=${COMP_WORDS[1]} ;;\n"
      "    esac\n"
      "  fi\n"
      "  [[ $command == help ]] && return\n";
  AppendValues(out);
  AppendOptionWords(out);
  out +=
      "  # Inputs or the installer; the command comes first.\n"
      "  mapfile -t COMPREPLY < <(compgen -f -- \"$cur\")\n"
      "  if ((COMP_CWORD == 1)); then\n"
      "    local more\n"
      "    mapfile -t more < <(compgen -W \"" +
      commands +
      "\" -- \"$cur\")\n"
      "    COMPREPLY=(\"${more[@]}\" \"${COMPREPLY[@]}\")\n"
      "  fi\n"
      "}\n"
      "complete -o filenames -F _quillon_pack quillon-pack\n";
  return out;
}

}  // namespace quillon::pack
