#include "handheld/record_reader.h"

#include <cstdlib>
#include <cstring>

#include "handheld/hh_layout.h"
#include "platform/trace.h"

record_reader_state hh_reader = {};

static bool read_record(uint16_t index) {
  hh_reader.rInfo.record_index = index;
  hh_reader.rInfo.m_RecSize = 0;
  int32_t result = SyncReadRecordByIndex(&hh_reader.rInfo);
  if (result != kSyncOk || hh_reader.rInfo.m_RecSize > hh_reader.rInfo.buffer_size) {
    trace("load_db_from_hh():czytaj(): SyncReadRecordByIndex() returned an error [recIdx=%hd]\n",
          static_cast<short>(index));
    hh_reader.rInfo.m_RecSize = 0;
    hh_reader.failed = true;
    hh_reader.read_error = result != kSyncOk ? result : kSyncErrBufferTooSmall;
    return false;
  }
  return true;
}

static void start(uint8_t handle) {
  std::memset(&hh_reader, 0, sizeof hh_reader);
  hh_reader.rInfo.db_handle = handle;
  hh_reader.rInfo.buffer_size = static_cast<uint16_t>(kHhReadBufferSize);
  hh_reader.rInfo.buffer = static_cast<uint8_t*>(std::malloc(kHhReadBufferSize));
  hh_reader.started = true;
  if (!hh_reader.rInfo.buffer) {
    hh_reader.failed = true;
    hh_reader.read_error = kSyncErrNoMemory;
    return;
  }
  read_record(0);
}

void reset_record_reader() {
  std::free(hh_reader.rInfo.buffer);
  std::memset(&hh_reader, 0, sizeof hh_reader);
}

const uint8_t* czytaj_room(uint32_t length) {
  if (!hh_reader.started || hh_reader.failed ||
      hh_reader.rInfo.m_RecSize - hh_reader.readIndex < length)
    return nullptr;
  const uint8_t* room = hh_reader.rInfo.buffer + hh_reader.readIndex;
  hh_reader.readIndex += length;
  return room;
}

uint32_t czytaj(void* destination, uint32_t length, uint8_t handle, uint16_t numRecs) {
  if (!destination) {
    if (hh_reader.started) {
      reset_record_reader();
    } else {
      start(handle);
    }
    return 0;
  }
  if (hh_reader.failed) return 0;
  uint32_t left = hh_reader.rInfo.m_RecSize - hh_reader.readIndex;
  if (left < length) {
    if (left != 0) {
      trace("rInfo.m_RecSize=%hu,readIndex=%d,bytes=%d\n",
            static_cast<unsigned short>(hh_reader.rInfo.m_RecSize),
            static_cast<int>(hh_reader.readIndex), static_cast<int>(length));
    }
    uint16_t next = static_cast<uint16_t>(hh_reader.rInfo.record_index + 1);
    if (next == numRecs) {
      trace("okkkkk\n");
      // The writer never leaves bytes behind in its last record: a few that
      // cannot make the next unit are the start of one cut off, so the
      // database was truncated, not ended.
      if (left != 0) {
        hh_reader.failed = true;
        hh_reader.short_record = true;
      }
      return 0;
    }
    if (!read_record(next)) return 0;
    hh_reader.readIndex = 0;
    if (hh_reader.rInfo.m_RecSize < length) {
      hh_reader.failed = true;
      hh_reader.short_record = true;
      return 0;
    }
  }
  std::memcpy(destination, hh_reader.rInfo.buffer + hh_reader.readIndex, length);
  hh_reader.readIndex += length;
  return length;
}
