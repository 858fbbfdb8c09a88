#include "cli/help_text.h"

#include <cstdio>
#include <string_view>

#include "cli/option_table.h"
#include "cli/version.h"

namespace quillon::pack {

namespace {

constexpr size_t kWidth = 79;
constexpr size_t kTextColumn = 25;  // where the help of an option starts

constexpr std::string_view kSynopsis = R"(Usage: quillon-pack -o INSTALLER [OPTION...] [INPUT...]
       quillon-pack -c DESCRIPTION.ini [OPTION...] [INPUT...]
       quillon-pack list [--code-page CP] INSTALLER
       quillon-pack verify [PASSWORD] [--code-page CP] INSTALLER
       quillon-pack extract [PASSWORD] [--code-page CP] [--overwrite]
                    [-d DIR] INSTALLER
       quillon-pack help | --version | --help

Writes a self-extracting installer: the stub, the package header and texts,
the files as ZIP entries, and a ZIP central directory, so that the installer
is also a ZIP archive that ordinary ZIP tools can list, test and extract.
)";

constexpr std::string_view kEnd = R"(
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

// A row: the term at the left, its text from kTextColumn on (below it when
// the term is too long).
void AppendRow(std::string& out, std::string_view term, std::string_view text) {
  out += "  ";
  out += term;
  size_t column = 2 + term.size();
  if (column + 2 > kTextColumn) {
    out += '\n';
    column = 0;
  }
  out.append(kTextColumn - column, ' ');
  AppendWrapped(out, text, kTextColumn, kTextColumn);
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
  std::string out(kSynopsis);
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
  out += kEnd;
  return out;
}

}  // namespace quillon::pack
