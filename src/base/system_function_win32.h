// Functions that not every Windows version has, looked up at run time so the
// program still loads where they are missing.
#pragma once

#include <windows.h>

namespace quillon {

template <typename Function>
[[nodiscard]] Function SystemFunction(HMODULE module, const char* name) {
  if (module == nullptr) return nullptr;
  // Through a generic function pointer type: a direct cast between unrelated
  // function types is what -Wcast-function-type warns about.
  return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(GetProcAddress(module, name)));
}

}  // namespace quillon
