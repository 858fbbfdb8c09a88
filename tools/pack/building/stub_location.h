// Where the packager finds the installer stub when --stub names none: where
// the build puts it and where an installed copy of the packager has it, both
// counted from the packager's own file.
#pragma once

#include <filesystem>
#include <optional>

namespace quillon::pack {

// The stub named by `given`, or the first of the usual places that holds
// one; throws PackError naming every place looked in when none does.
[[nodiscard]] std::filesystem::path FindStub(const std::optional<std::filesystem::path>& given,
                                             const char* programPath);

}  // namespace quillon::pack
