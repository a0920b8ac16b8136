// The library's entry function, called as the system would call it: with the
// module's base address when the library is loaded and when it is unloaded.
// The module's resources and file name become known to the dialog manager.
#include <dlfcn.h>

#include "conduit/module_state.h"
#include "platform/posix/resource_table.h"

// The conduit's resources, made from its resource script at build time.
extern const resource_table conduit_resources;

namespace {

Dl_info this_module() {
  Dl_info info{};
  dladdr(reinterpret_cast<void*>(&this_module), &info);
  return info;
}

__attribute__((constructor)) void on_load() {
  const Dl_info self = this_module();
  register_module(self.dli_fbase, self.dli_fname, &conduit_resources);
  DllMain(self.dli_fbase, kModuleProcessAttach, nullptr);
}

__attribute__((destructor)) void on_unload() {
  const Dl_info self = this_module();
  DllMain(self.dli_fbase, kModuleProcessDetach, nullptr);
  unregister_module(self.dli_fbase);
}

}  // namespace
