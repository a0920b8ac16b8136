// The user's HotSync log. It belongs to the HotSync Manager: the conduit only
// adds entries, and the host that runs the conduit provides the function.
#pragma once

#include <cstdint>

// The activity code and time-stamp flag the conduit passes with every entry.
constexpr int32_t kLogActivityText = -1;
constexpr int32_t kLogNoTimeStamp = 0;

extern "C" int32_t hotsync_log_add(const char* text, int32_t activity, int32_t time_stamp);
