// What a long HotSync is doing, on a line of the terminal that keeps being
// rewritten: reading, merging, writing. Nothing when standard error is not a
// terminal or the data sets are small (HOTSYNC_PROGRESS=1 or 0 decides
// instead).
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/thread.h"

class progress_display {
 public:
  // desktop_bytes, handheld_bytes: the sizes of both sides' files.
  progress_display(uint64_t desktop_bytes, uint64_t handheld_bytes);
  ~progress_display();  // clears the line
  progress_display(const progress_display&) = delete;
  progress_display& operator=(const progress_display&) = delete;

 private:
  void run();
  std::atomic<bool> done_{false};
  os_thread thread_{};
  bool running_ = false;
  uint64_t desktop_bytes_;
};
