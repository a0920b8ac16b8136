// pisz: packs the units of the handheld stream into records of at most
// kHhRecordCapacity - 1 bytes and writes each full record to the database.
#pragma once

#include <cstdint>

// The writer's module-wide state: idle (no buffer, fill 0) between saves.
struct record_writer_state {
  uint8_t* buffer;      // kHhRecordCapacity bytes while a stream is being written
  uint16_t fill;        // F: bytes in the buffer
  int32_t write_error;  // the first failed record write of this stream, or 0
  bool failed;          // a unit could not be placed: the stream is incomplete
};
extern record_writer_state hh_writer;

// Appends one unit of length bytes whose reserve of following bytes must fit
// into the same record; writes the filled record first when it would not.
// With a null source it finishes the stream: writes the last record and
// releases the buffer. Returns 1, or 0 when the unit cannot be placed (it is
// larger than a record, or the buffer cannot be allocated).
int pisz(const void* source, uint32_t length, uint8_t handle, uint32_t reserve);

// Back to idle, releasing any buffer. For tests and error paths.
void reset_record_writer();
