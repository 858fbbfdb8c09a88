#include "base/crc_win32.h"

#include <windows.h>

#include "base/crc.h"
#include "base/system_function_win32.h"

namespace quillon {

bool SystemAllowsCarrylessCrc(HMODULE kernel) {
  using IsProcessorFeaturePresentFn = BOOL(WINAPI*)(DWORD);
  constexpr DWORD kSse2Available = 10;  // PF_XMMI64_INSTRUCTIONS_AVAILABLE
  const auto present = SystemFunction<IsProcessorFeaturePresentFn>(kernel, "IsProcessorFeaturePresent");
  return present != nullptr && present(kSse2Available) != FALSE && ProcessorHasCarrylessMultiply();
}

}  // namespace quillon
