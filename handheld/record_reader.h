// czytaj: takes the units of the handheld stream out of the database's
// records, reading record after record by index.
#pragma once

#include <cstdint>

#include "platform/sync_manager.h"

// The reader's module-wide state: idle, or started with a record in its buffer.
struct record_reader_state {
  sync_record_info rInfo;  // the descriptor of the read calls
  uint32_t readIndex;      // position in the current record
  bool started;
  bool failed;         // stopped before the end of the records
  bool short_record;   // ... because a record was shorter than the unit that begins it,
                       // or the last record ended inside one
  int32_t read_error;  // the Sync Manager's result when a read failed
};
extern record_reader_state hh_reader;

// With a destination: takes one unit of length bytes. Returns length when
// taken, 0 when not: at the clean end of the records (failed stays false) or
// when a record cannot be read or does not hold the unit, or the last record
// ends inside it (failed is set).
// Without one: starts the reader (reads record 0) when idle, finishes it
// (releases the buffer) when started; both return 0.
uint32_t czytaj(void* destination, uint32_t length, uint8_t handle, uint16_t numRecs);

// The next length bytes, taken in place, when the record being read holds
// them all: czytaj would take any units among them from that record alike.
// Null otherwise (nothing taken); the caller then takes them unit by unit.
const uint8_t* czytaj_room(uint32_t length);

// Back to idle, releasing any buffer. For tests and error paths.
void reset_record_reader();
