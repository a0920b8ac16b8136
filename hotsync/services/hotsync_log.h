// The host's side of the HotSync log: the entries the conduit added during a
// run, for the host to show and keep.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "platform/hotsync_log.h"
#include "platform/module.h"

struct log_entry {
  std::string text;
  int32_t activity;
  int32_t time_stamp;
};

// The entries since the last reset, oldest first.
QV_HOST_API const std::vector<log_entry>& hotsync_log_entries();
QV_HOST_API void hotsync_log_reset();
