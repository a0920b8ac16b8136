#include "hotsync/conduit_plugin.h"

#include "hotsync/host_paths.h"

conduit_plugin::~conduit_plugin() {
  if (library) library_close(library);
}

template <typename F>
static bool find_entry(conduit_plugin* plugin, const char* name, F* entry, std::string* why) {
  *entry = reinterpret_cast<F>(library_symbol(plugin->library, name));
  if (!*entry) *why = std::string("the conduit has no entry point ") + name;
  return *entry != nullptr;
}

bool load_conduit(const std::string& path, conduit_plugin* plugin, std::string* why) {
  const std::string file = path.empty() ? default_conduit_file() : path;
  std::string error;
  plugin->library = library_open(file, &error);
  if (!plugin->library) {
    *why = "cannot load the conduit " + file + ": " + error;
    return false;
  }
  return find_entry(plugin, "OpenConduit", &plugin->OpenConduit, why) &&
         find_entry(plugin, "GetConduitInfo", &plugin->GetConduitInfo, why) &&
         find_entry(plugin, "GetConduitName", &plugin->GetConduitName, why) &&
         find_entry(plugin, "GetConduitVersion", &plugin->GetConduitVersion, why) &&
         find_entry(plugin, "ConfigureConduit", &plugin->ConfigureConduit, why) &&
         find_entry(plugin, "CfgConduit", &plugin->CfgConduit, why);
}
