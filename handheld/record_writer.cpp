#include "handheld/record_writer.h"

#include <cstdlib>
#include <cstring>

#include "handheld/hh_layout.h"
#include "platform/sync_manager.h"

record_writer_state hh_writer = {nullptr, 0, 0, false};

// Adds the buffered bytes as the next record. A failed write does not stop the
// stream; it is kept for the caller's report.
static void write_record(uint8_t handle) {
  sync_record_info info;
  std::memset(&info, 0, sizeof info);
  info.db_handle = handle;
  info.m_RecSize = hh_writer.fill;
  info.buffer = hh_writer.buffer;
  int32_t result = sync_write_record(&info);
  if (result != kSyncOk && hh_writer.write_error == 0) hh_writer.write_error = result;
}

int pisz(const void* source, uint32_t length, uint8_t handle, uint32_t reserve) {
  if (!hh_writer.buffer) {
    hh_writer.buffer = static_cast<uint8_t*>(std::malloc(kHhRecordCapacity));
    hh_writer.fill = 0;
    if (!hh_writer.buffer) {
      hh_writer.failed = true;
      return 0;
    }
  }
  if (!source) {
    if (hh_writer.fill > 0) write_record(handle);
    std::free(hh_writer.buffer);
    hh_writer.buffer = nullptr;
    hh_writer.fill = 0;
    return 1;
  }
  if (length >= kHhRecordCapacity) {  // could not fit even an empty record
    hh_writer.failed = true;
    return 0;
  }
  if (hh_writer.fill + length + reserve >= kHhRecordCapacity) {
    if (hh_writer.fill > 0) write_record(handle);
    hh_writer.fill = 0;
  }
  std::memcpy(hh_writer.buffer + hh_writer.fill, source, length);
  hh_writer.fill = static_cast<uint16_t>(hh_writer.fill + length);
  return 1;
}

uint8_t* pisz_room(uint32_t length) {
  if (!hh_writer.buffer || hh_writer.fill + length >= kHhRecordCapacity) return nullptr;
  uint8_t* room = hh_writer.buffer + hh_writer.fill;
  hh_writer.fill = static_cast<uint16_t>(hh_writer.fill + length);
  return room;
}

void reset_record_writer() {
  std::free(hh_writer.buffer);
  hh_writer = record_writer_state{nullptr, 0, 0, false};
}
