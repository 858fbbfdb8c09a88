// Looking into an installer (or a split one, or a plain ZIP archive) with the
// installer's own reader and decoder:
//
//   quillon-pack list INSTALLER       the texts and the entries
//   quillon-pack verify INSTALLER     every entry decoded and checked
//   quillon-pack extract INSTALLER -d DIR
//                                     the files written below DIR, by the
//                                     installer's extraction loop
#pragma once

#include <string>
#include <vector>

namespace quillon::pack {

// Whether the command line names one of these commands first.
[[nodiscard]] bool IsInspectCommand(const std::vector<std::string>& arguments);

// Runs it; the exit status. Throws UsageError and PackError like a build.
[[nodiscard]] int RunInspectCommand(const std::vector<std::string>& arguments);

}  // namespace quillon::pack
