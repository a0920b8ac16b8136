#include "conduit/module_state.h"

module_handle g_module = nullptr;
int32_t g_attach_count = 0;

extern "C" int32_t QV_STDCALL DllMain(module_handle module, uint32_t reason, void*) {
  if (reason == kModuleProcessAttach) {
    if (g_attach_count == 0) g_module = module;
    g_attach_count += 1;
  } else if (reason == kModuleProcessDetach) {
    g_attach_count -= 1;
  }
  return 1;
}
