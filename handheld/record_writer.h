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

// Room for several units that together stay below the record's capacity,
// so that none of them would start a new record (their reserves lie within
// them): the caller writes their bytes in place. Null when they would not all
// fit the current record, or no stream is being written; the caller then
// appends them one by one with pisz.
uint8_t* pisz_room(uint32_t length);

// Back to idle, releasing any buffer. For tests and error paths.
void reset_record_writer();
