// quillon-pack: writes an installer from a stub, texts and files, or looks
// into one. This file only sends the command line to the command it names.
#include <cstdio>
#include <exception>
#include <new>
#include <string>
#include <vector>

#include "cli/help_text.h"
#include "cli/options.h"
#include "commands/examine.h"
#include "commands/pack_command.h"
#include "support/pack_support.h"
#include "system/system.h"

int main(int argc, char** argv) {
  using namespace quillon::pack;
  PrepareProcess();
  try {
    const std::vector<std::string> arguments(argv + 1, argv + argc);
    if (!arguments.empty() && arguments.front() == "help") return PrintHelp();
    if (IsInspectCommand(arguments)) return RunInspectCommand(arguments);
    const Options options = ParseCommandLine(arguments);
    if (options.help) return PrintHelp();
    if (options.version) return PrintVersion();
    return RunPack(options, argv[0]);
  } catch (const UsageError& error) {
    (void)std::fprintf(stderr, "quillon-pack: %s\nTry 'quillon-pack --help' for the options.\n", error.what());
    return 2;
  } catch (const PackError& error) {
    (void)std::fprintf(stderr, "quillon-pack: error: %s\n", error.what());
  } catch (const std::bad_alloc&) {
    (void)std::fputs("quillon-pack: error: out of memory\n", stderr);
  } catch (const std::exception& error) {
    (void)std::fprintf(stderr, "quillon-pack: error: %s\n", error.what());
  }
  return 1;
}
