#include "hotsync/services/hotsync_log.h"

#include <new>

namespace {

std::vector<log_entry>& entries() {
  static std::vector<log_entry> the_entries;
  return the_entries;
}

}  // namespace

extern "C" int32_t hotsync_log_add(const char* text, int32_t activity, int32_t time_stamp) {
  try {
    entries().push_back(log_entry{text ? text : "", activity, time_stamp});
  } catch (const std::bad_alloc&) {
    return -1;  // the conduit never sees an exception; a lost entry is all it costs
  }
  return 0;
}

const std::vector<log_entry>& hotsync_log_entries() {
  return entries();
}

void hotsync_log_reset() {
  entries().clear();
}
