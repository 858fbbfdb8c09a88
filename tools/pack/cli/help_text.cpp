#include "cli/help_text.h"

#include <cstdio>
#include <string_view>

#include "cli/manual_text.h"
#include "cli/option_table.h"
#include "cli/version.h"

namespace quillon::pack {

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kTextColumn = 25;  // where the help of an option starts

// Appends text wrapped to kWidth, its lines indented by `indent` blanks; the
// first line goes on from `column` where the output stands.
void AppendWrapped(std::string& out, std::string_view text, size_t indent, size_t column) {
  while (!text.empty()) {
    const size_t room = kWidth > column ? kWidth - column : 1;
    size_t cut = text.size();
    if (cut > room) {
      cut = text.rfind(' ', room);
      if (cut == std::string_view::npos || cut == 0) cut = text.find(' ');
      if (cut == std::string_view::npos) cut = text.size();
    }
    out.append(text.substr(0, cut));
    out += '\n';
    text.remove_prefix(cut);
    while (!text.empty() && text.front() == ' ') text.remove_prefix(1);
    if (!text.empty()) out.append(indent, ' ');
    column = indent;
  }
}

// A row: the term at the left, its text from textColumn on (below it when
// the term is too long).
void AppendRow(std::string& out, std::string_view term, std::string_view text, size_t textColumn = kTextColumn) {
  out += "  ";
  out += term;
  size_t column = 2 + term.size();
  if (column + 2 > textColumn) {
    out += '\n';
    column = 0;
  }
  out.append(textColumn - column, ' ');
  AppendWrapped(out, text, textColumn, textColumn);
}

void AppendUsage(std::string& out) {
  constexpr std::string_view kFirst = "Usage: ";
  for (const UsageSpec& usage : kUsage) {
    std::string line = "quillon-pack";
    if (!usage.command.empty()) line += " " + std::string(usage.command);
    if (!usage.arguments.empty()) line += " " + std::string(usage.arguments);
    // Continued lines stand below the command.
    const size_t indent = kFirst.size() + std::string_view("quillon-pack ").size();
    out.append(&usage == kUsage.data() ? kFirst : std::string_view("       "));
    AppendWrapped(out, line, indent, kFirst.size());
  }
}

// Paragraphs separated by "\n"; "TERM\tTEXT" is a row.
void AppendProse(std::string& out, std::string_view prose) {
  while (!prose.empty()) {
    const size_t end = prose.find('\n');
    const std::string_view paragraph = prose.substr(0, end);
    prose.remove_prefix(end == std::string_view::npos ? prose.size() : end + 1);
    const size_t tab = paragraph.find('\t');
    if (tab == std::string_view::npos) {
      out += "  ";
      AppendWrapped(out, paragraph, 2, 2);
    } else {
      AppendRow(out, paragraph.substr(0, tab), paragraph.substr(tab + 1));
    }
  }
}

std::string Term(const OptionSpec& option) {
  std::string term;
  if (option.shortName != 0) term = std::string("-") + option.shortName + ", ";
  term += "--";
  term += option.name;
  if (!option.value.empty()) {
    term += ' ';
    term += option.value;
  }
  return term;
}

int Print(const std::string& text) {
  const bool written = std::fputs(text.c_str(), stdout) >= 0 && std::fflush(stdout) == 0;
  return written ? 0 : 1;
}

}  // namespace

int PrintHelp() {
  return Print(HelpText());
}

int PrintVersion() {
  return Print(std::string("quillon-pack ") + kPackVersion + "\n");
}

std::string HelpText() {
  std::string out;
  AppendUsage(out);
  for (std::string_view rest = kDescription; !rest.empty();) {
    const size_t end = rest.find('\n');
    out += '\n';
    AppendWrapped(out, rest.substr(0, end), 0, 0);
    rest.remove_prefix(end == std::string_view::npos ? rest.size() : end + 1);
  }
  for (const SectionSpec& section : kSections) {
    out += '\n';
    out += section.title;
    out += ":\n";
    AppendProse(out, section.before);
    for (const OptionSpec& option : kOptions) {
      if (option.section == section.section) AppendRow(out, Term(option), option.help);
    }
    AppendProse(out, section.after);
  }
  out += "\nEnvironment:\n";
  for (const TermSpec& variable : kEnvironment) AppendRow(out, variable.term, variable.text);
  out += "\nExit status:\n";
  for (const TermSpec& status : kExitStatus) AppendRow(out, status.term, status.text, 5);
  out += "\nThe manual (docs/packager.md, installed in share/doc/quillon) has the details.\n";
  return out;
}

}  // namespace quillon::pack
