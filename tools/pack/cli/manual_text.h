// What --help, the manual page and the shell completion say besides the
// options: the commands, what the packager does, what it reads from the
// environment, its exit status and examples. Like the table of options, each
// has one home here.
#pragma once

#include <array>
#include <string_view>

namespace quillon::pack {

// A line of the synopsis: the command (empty: writing an installer) and what
// follows it.
struct UsageSpec {
  std::string_view command;
  std::string_view arguments;
};

inline constexpr std::array kUsage = {
    UsageSpec{"", "-o INSTALLER [OPTION...] [INPUT...]"},
    UsageSpec{"", "-c DESCRIPTION.ini [OPTION...] [INPUT...]"},
    UsageSpec{"list", "[--code-page CP] [--json] INSTALLER"},
    UsageSpec{"verify", "[PASSWORD] [--code-page CP] [--json] INSTALLER"},
    UsageSpec{"extract", "[PASSWORD] [--code-page CP] [--overwrite] [--quiet] [-d DIR] INSTALLER"},
    UsageSpec{"help", ""},
    UsageSpec{"", "--help | --version"},
};

// What the program is for, in one line (the manual page's NAME).
inline constexpr std::string_view kSummary = "write self-extracting installers for 32-bit Windows, and look into them";

// Paragraphs separated by "\n".
inline constexpr std::string_view kDescription =
    "Writes a self-extracting installer: the stub, the package header and texts, the files as ZIP entries, and a "
    "ZIP central directory, so that the installer is also a ZIP archive that ordinary ZIP tools can list, test and "
    "extract. list, verify and extract look into an installer with the installer's own reader and decoder.\n"
    "File times are stored as MS-DOS date and time in this machine's local time zone; the installer gives "
    "extracted files that time as its own local time. The same inputs give the same installer, byte for byte, but "
    "for the random encryption headers of a password installer; with SOURCE_DATE_EPOCH set, those too.";

// A row of a list: a term and its text.
struct TermSpec {
  std::string_view term;
  std::string_view text;
};

// Every variable the packager reads.
inline constexpr std::array kEnvironment = {
    TermSpec{"SOURCE_DATE_EPOCH",
             "seconds since 1970: file times later than it are stored as that time, all times in UTC, and the "
             "encryption headers of a password installer are derived from the password and each entry; the same "
             "installer on any day, on any machine. Anything but a decimal number is refused. list, verify and "
             "extract ignore it"},
    TermSpec{"TZ", "the local time zone that file times are converted in (without SOURCE_DATE_EPOCH)"},
    TermSpec{"TERM", "no progress line when it is \"dumb\""},
    TermSpec{"QUILLON_PACK_TEST_SEED",
             "for tests only: a number that the encryption headers are drawn from instead of the system's random "
             "source (with a warning)"},
};

inline constexpr std::array kExitStatus = {
    TermSpec{"0", "success: the installer was written, listed, found sound or extracted"},
    TermSpec{"1",
             "failure: the installer cannot be written (no output is left), or the installer looked into cannot "
             "be read, is damaged, or needs another password, or extract could not write a file or kept an "
             "existing one"},
    TermSpec{"2", "the command line (or the description file) cannot be understood"},
};

// What an example does, and its command line.
inline constexpr std::array kExamples = {
    TermSpec{"An installer of a folder, with a title, the INF file to install, and texts from files:",
             "quillon-pack -o setup.exe --title \"My Program 1.0\" --inf \"><setup.inf\" \\\n"
             "    --info-file info.txt --licence-file licence.txt my-program-files/"},
    TermSpec{"The same installer, byte for byte, on any machine (the time of the last commit, say):",
             "SOURCE_DATE_EPOCH=1798761600 quillon-pack -o setup.exe --inf \"><setup.inf\" dist/"},
    TermSpec{"Every option and input from a description file:", "quillon-pack -c package.ini"},
    TermSpec{"Names and texts in UTF-8, for Japanese Windows:",
             "quillon-pack -o setup.exe --code-page 932 --title \"My Program\" \\\n"
             "    --inf \"><setup.inf\" dist/"},
    TermSpec{"Looking into an installer:",
             "quillon-pack list setup.exe\n"
             "quillon-pack verify --password-file password.txt setup.exe\n"
             "quillon-pack extract setup.exe -d unpacked\n"
             "quillon-pack list --json setup.exe"},
};

}  // namespace quillon::pack
