// The five texts of a package, as the header's lengths count them: written
// by the packager, read back by list.
#pragma once

#include "support/pack_support.h"

namespace quillon::pack {

struct PackageTexts {
  Bytes title;
  Bytes inf;
  Bytes licenceInfo;
  Bytes info;
  Bytes licence;
};

}  // namespace quillon::pack
