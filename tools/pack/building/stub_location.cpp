#include "building/stub_location.h"

#include <string>
#include <vector>

#include "support/pack_support.h"
#include "system/system.h"

// The stub's folder in an installed tree, counted from the packager's folder:
// the build passes it from its install layout (bin/ and share/quillon/).
#ifndef QUILLON_STUB_INSTALL_DIR
#error "QUILLON_STUB_INSTALL_DIR must be defined (cmake/Packager.cmake)"
#endif

namespace quillon::pack {

namespace {

namespace fs = std::filesystem;

constexpr const char* kStubName = "setup-stub.exe";

// Beside the packager (a copy, or the Windows zip); in target/ beside it
// (the host build: build/quillon-pack, build/target/); in ../target/ (the
// Windows packager's build: build/target-pack/); in the installed tree.
std::vector<fs::path> StubPlaces(const fs::path& programDirectory) {
  return {
      programDirectory / kStubName,
      programDirectory / "target" / kStubName,
      (programDirectory / ".." / "target" / kStubName).lexically_normal(),
      (programDirectory / QUILLON_STUB_INSTALL_DIR / kStubName).lexically_normal(),
  };
}

}  // namespace

fs::path FindStub(const std::optional<fs::path>& given, const char* programPath) {
  if (given) return *given;
  const std::vector<fs::path> places = StubPlaces(ProgramFile(programPath).parent_path());
  std::string tried;
  for (const fs::path& place : places) {
    std::error_code error;
    if (fs::is_regular_file(place, error)) return place;
    tried += (tried.empty() ? "" : ", ") + Quote(place.string());
  }
  throw PackError(std::string("no stub: there is no ") + kStubName + " in any of " + tried +
                  ". The build makes it as target/" + kStubName +
                  " in its build folder (with mingw-w64; scripts/setup.sh installs it), and 'cmake --install' puts it "
                  "in " QUILLON_STUB_INSTALL_DIR " from the packager's folder; or name one with --stub FILE");
}

}  // namespace quillon::pack
