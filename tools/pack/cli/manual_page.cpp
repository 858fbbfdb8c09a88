#include "cli/manual_page.h"

#include "cli/manual_text.h"
#include "cli/option_table.h"

namespace quillon::pack {

namespace {

bool EndsWord(char c) {
  return c == ' ' || c == '(' || c == '[' || c == '"' || c == '\'' || c == '|' || c == '\n';
}

// Text for a roff text line: backslashes escaped, the dashes of options as
// minus signs (a copied option must work), and a leading control character
// made plain.
std::string Roff(std::string_view text) {
  std::string out;
  bool inOption = false;  // within a word that starts with '-'
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '-' && (i == 0 || EndsWord(text[i - 1]))) inOption = true;
    if (EndsWord(c)) inOption = false;
    if (c == '\\') {
      out += "\\e";
    } else if (c == '-' && inOption) {
      out += "\\-";
    } else {
      if ((c == '.' || c == '\'') && (i == 0 || text[i - 1] == '\n')) out += "\\&";
      out += c;
    }
  }
  return out;
}

std::string Bold(std::string_view text) {
  return "\\fB" + Roff(text) + "\\fR";
}

std::string Term(const OptionSpec& option) {
  std::string term;
  if (option.shortName != 0) term = Bold(std::string("-") + option.shortName) + ", ";
  term += Bold("--" + std::string(option.name));
  if (!option.value.empty()) term += " \\fI" + Roff(option.value) + "\\fR";
  return term;
}

void AppendItem(std::string& out, const std::string& term, std::string_view text) {
  out += ".TP\n" + term + "\n" + Roff(text) + "\n";
}

// Paragraphs separated by "\n"; "TERM\tTEXT" is an item.
void AppendProse(std::string& out, std::string_view prose) {
  while (!prose.empty()) {
    const size_t end = prose.find('\n');
    const std::string_view paragraph = prose.substr(0, end);
    prose.remove_prefix(end == std::string_view::npos ? prose.size() : end + 1);
    const size_t tab = paragraph.find('\t');
    if (tab == std::string_view::npos) {
      out += ".PP\n" + Roff(paragraph) + "\n";
    } else {
      AppendItem(out, Bold(paragraph.substr(0, tab)), paragraph.substr(tab + 1));
    }
  }
}

void AppendSynopsis(std::string& out) {
  out += ".SH SYNOPSIS\n";
  for (const UsageSpec& usage : kUsage) {
    out += ".SY quillon\\-pack\n";
    if (!usage.command.empty()) out += Bold(usage.command) + "\n";
    if (!usage.arguments.empty()) out += Roff(usage.arguments) + "\n";
    out += ".YS\n";
  }
}

void AppendOptions(std::string& out) {
  out += ".SH OPTIONS\n";
  for (const SectionSpec& section : kSections) {
    out += ".SS " + Roff(section.title) + "\n";
    AppendProse(out, section.before);
    for (const OptionSpec& option : kOptions) {
      if (option.section == section.section) AppendItem(out, Term(option), option.help);
    }
    AppendProse(out, section.after);
  }
}

void AppendExamples(std::string& out) {
  out += ".SH EXAMPLES\n";
  for (const TermSpec& example : kExamples) {
    out += ".PP\n" + Roff(example.term) + "\n";
    out += ".PP\n.RS\n.nf\n" + Roff(example.text) + "\n.fi\n.RE\n";
  }
}

}  // namespace

std::string ManualPage(std::string_view version, std::string_view date) {
  std::string out = ".\\\" Made by the build from quillon-pack's table of options: do not edit.\n";
  out += ".TH QUILLON\\-PACK 1 \"" + Roff(date) + "\" \"quillon\\-pack " + Roff(version) + "\" \"User Commands\"\n";
  out += ".SH NAME\nquillon\\-pack \\- " + Roff(kSummary) + "\n";
  AppendSynopsis(out);
  out += ".SH DESCRIPTION\n";
  AppendProse(out, kDescription);
  AppendOptions(out);
  out += ".SH EXIT STATUS\n";
  for (const TermSpec& status : kExitStatus) AppendItem(out, Bold(status.term), status.text);
  out += ".SH ENVIRONMENT\n";
  for (const TermSpec& variable : kEnvironment) AppendItem(out, Bold(variable.term), variable.text);
  AppendExamples(out);
  out += ".SH SEE ALSO\n";
  out += ".BR unzip (1)\n";
  out += ".PP\nThe manual of the packager and the package format: " + Bold("packager.md") + " and " +
         Bold("package-format.md") + " in share/doc/quillon below the prefix of the install (" +
         Bold("/usr/share/doc/quillon") + " for the Debian package).\n";
  return out;
}

}  // namespace quillon::pack
