// The library's entry function, called as the system would call it: with the
// module's base address when the library is loaded and when it is unloaded.
#include <dlfcn.h>

#include "conduit/module_state.h"
#include "platform/posix/resource_table.h"

// The conduit's resources, made from its resource script at build time.
extern const resource_table conduit_resources;

namespace {

module_handle this_module() {
  Dl_info info;
  if (dladdr(reinterpret_cast<void*>(&this_module), &info) == 0) return nullptr;
  return info.dli_fbase;
}

__attribute__((constructor)) void on_load() {
  DllMain(this_module(), kModuleProcessAttach, nullptr);
}

__attribute__((destructor)) void on_unload() {
  DllMain(this_module(), kModuleProcessDetach, nullptr);
}

}  // namespace
