#include "hotsync/progress.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "hotsync/console.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file_counters.h"

namespace {

// Smaller HotSyncs are over before a progress line could help.
constexpr uint64_t kLargeBytes = 8u << 20;
constexpr uint32_t kTickMs = 200;

bool wanted(uint64_t total_bytes) {
  const char* forced = std::getenv("HOTSYNC_PROGRESS");
  if (forced && *forced) return std::strcmp(forced, "0") != 0;
  return is_terminal(stderr) && total_bytes >= kLargeBytes;
}

std::string megabytes(uint64_t bytes) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f MB", static_cast<double>(bytes) / 1e6);
  return text;
}

}  // namespace

progress_display::progress_display(uint64_t desktop_bytes, uint64_t handheld_bytes)
    : desktop_bytes_(desktop_bytes) {
  if (!wanted(desktop_bytes + handheld_bytes)) return;
  // Without the thread there is no progress line, and nothing else is lost.
  running_ =
      thread_start(
          &thread_, [](void* self) { static_cast<progress_display*>(self)->run(); }, this) == 0;
}

progress_display::~progress_display() {
  if (!running_) return;
  done_ = true;
  thread_join(&thread_);
  std::fputs("\r\033[K", stderr);
  std::fflush(stderr);
}

void progress_display::run() {
  const uint64_t read_start = file_bytes_moved(file_direction::read);
  const uint64_t written_start = file_bytes_moved(file_direction::write);
  const sync_progress records_start = sync_manager_progress();
  static const char kSpinner[] = "|/-\\";
  for (unsigned tick = 0; !done_; ++tick) {
    const uint64_t read = file_bytes_moved(file_direction::read) - read_start;
    const uint64_t written = file_bytes_moved(file_direction::write) - written_start;
    const sync_progress now = sync_manager_progress();
    const uint64_t records_read = now.records_read - records_start.records_read;
    const uint64_t records_written = now.records_written - records_start.records_written;
    std::string line;
    if (records_written > 0) {
      line = "writing the handheld: " + std::to_string(records_written) + " records";
    } else if (written > 0) {
      line = "writing the desktop: " + megabytes(written);
    } else if (records_read > 0 && now.record_count > 0 && records_read < now.record_count) {
      line = "reading the handheld: " + std::to_string(records_read) + " of " +
             std::to_string(now.record_count) + " records";
    } else if (records_read > 0) {
      line = "merging";
    } else if (read == 0) {
      // Not a byte seen yet, or never: where the conduit has its own copy of
      // the file layer (a Windows DLL), its reads are not counted here.
      line = "reading the desktop";
    } else {
      line = "reading the desktop: " + megabytes(read < desktop_bytes_ ? read : desktop_bytes_) +
             " of " + megabytes(desktop_bytes_);
    }
    std::fprintf(stderr, "\r\033[K%c %s", kSpinner[tick % 4], line.c_str());
    std::fflush(stderr);
    for (int i = 0; i < 5 && !done_; ++i)
      thread_sleep(kTickMs / 5);
  }
}
