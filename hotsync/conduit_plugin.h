// The conduit plug-in, loaded as the HotSync Manager loads it, with its entry
// points found by their exported names.
#pragma once

#include <cstdint>
#include <string>

#include "conduit/conduit_api.h"
#include "platform/library_loader.h"

struct conduit_plugin {
  library_handle library = nullptr;
  int32_t (*OpenConduit)(void*, sync_properties*) = nullptr;
  int32_t (*GetConduitInfo)(uint32_t, void*, void*, uint32_t*) = nullptr;
  int32_t (*GetConduitName)(char*) = nullptr;
  uint32_t (*GetConduitVersion)() = nullptr;
  int32_t (*ConfigureConduit)(void*) = nullptr;
  int32_t (*CfgConduit)(uint32_t, void*, uint32_t*) = nullptr;

  conduit_plugin() = default;
  ~conduit_plugin();
  conduit_plugin(const conduit_plugin&) = delete;
  conduit_plugin& operator=(const conduit_plugin&) = delete;
};

// Loads the plug-in at path (empty: the default one). False with *why when it
// cannot be loaded or lacks an entry point.
bool load_conduit(const std::string& path, conduit_plugin* plugin, std::string* why);
