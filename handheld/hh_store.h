// Moving a whole data set between an element_db and the handheld database
// QVelements, through the Sync Manager.
#pragma once

#include <cstdint>

#include "model/element_db.h"
#include "model/element_sink.h"
#include "model/list_order.h"

// Why a load returned 0; for the user and for the driver, which must not
// overwrite a database that exists but could not be read.
enum hh_load_status {
  kHhLoadOk = 0,
  kHhLoadNotFound,     // no QVelements on the handheld: no data
  kHhLoadNoRecords,    // QVelements holds no record: no data
  kHhLoadOpenFailed,   // exists (or may), but could not be opened
  kHhLoadCountFailed,  // opened, but its records could not be counted
  kHhLoadReadFailed,   // a record could not be read
  kHhLoadDamaged,      // the stream ends or a record is short inside a unit
  kHhLoadTooManyCategories,
  kHhLoadNoMemory,
};

struct hh_load_report {
  int status;          // hh_load_status
  int32_t sync_error;  // the Sync Manager's result, where one failed
  uint16_t record;     // the record the reader was at when it stopped
};

// True when the status means the handheld has no data set (rather than one
// that could not be read).
bool hh_load_found_no_data(int status);
const char* hh_load_status_text(int status);

// Reads QVelements into db (empty, as construction leaves it). Returns 1 when
// the database was read to the clean end of its records (it may hold no
// elements); 0 otherwise, with no elements in db. Elements keep their stored
// order; every element gets a valid category index. With a sink, each
// element goes there as it is read and db gets only the start time and the
// categories; a database the reader refuses is refused the same way, after
// the sink took the elements before the fault. With order, the list's order
// goes there too where the memory can be had; otherwise it is left empty.
int load_db_from_hh(element_db* db, hh_load_report* report = nullptr,
                    const element_sink* sink = nullptr, list_order* order = nullptr);

enum hh_save_status {
  kHhSaveOk = 0,
  kHhSaveTextTooLong,        // nothing written; the old database is still there
  kHhSaveTooManyCategories,  // nothing written; the old database is still there
  kHhSaveCreateFailed,       // the old database is deleted and no new one exists
  kHhSaveIncomplete,         // a record could not be placed or written
  kHhSaveCloseFailed,
};

struct hh_save_report {
  int status;           // hh_save_status
  uint32_t element_id;  // the element whose text does not fit
  int32_t sync_error;   // the Sync Manager's result, where one failed
};

const char* hh_save_status_text(int status);

// Replaces QVelements with db. Checks first that every text fits the layout
// (a question or answer below kHhRecordCapacity bytes) and writes nothing
// when one does not. Returns the status.
int save_db_to_hh(element_db* db, hh_save_report* report = nullptr);
