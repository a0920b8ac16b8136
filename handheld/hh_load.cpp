#include <cstdlib>
#include <cstring>
#include <new>

#include "handheld/hh_layout.h"
#include "handheld/hh_store.h"
#include "handheld/record_reader.h"
#include "model/element_arena.h"
#include "platform/sync_manager.h"
#include "platform/trace.h"

namespace {

struct stream_in {
  uint8_t handle;
  uint16_t num_recs;
  element_arena* arena;  // non-null: a large database's elements come from there
};

bool take(const stream_in& in, void* destination, uint32_t length) {
  if (length == 0) return true;
  return czytaj(destination, length, in.handle, in.num_recs) == length;
}

bool take16(const stream_in& in, uint16_t* value) {
  uint16_t raw;
  if (!take(in, &raw, 2)) return false;
  *value = SyncHHToHostWord(raw);
  return true;
}

// Why the stream stopped inside a unit: a read failure, or the stream itself.
int stream_failure() {
  return hh_reader.failed && !hh_reader.short_record ? kHhLoadReadFailed : kHhLoadDamaged;
}

int read_header(const stream_in& in, element_db* db, uint16_t* ctgr_entries) {
  uint16_t raw_version;
  if (!take(in, &raw_version, 2)) return stream_failure();
  trace("core_version=%hu,%hu\n", raw_version, SyncHHToHostWord(raw_version));
  uint32_t raw_start;
  if (!take(in, &raw_start, 4)) return stream_failure();
  db->tm_strt = static_cast<int32_t>(SyncHHToHostDWord(raw_start));
  trace("db->tm_strt=%ld\n", static_cast<long>(db->tm_strt));
  if (!take16(in, ctgr_entries)) return stream_failure();
  return kHhLoadOk;
}

// One category entry. A name longer than the name buffer keeps its first
// bytes; the unit is still taken whole, so the records stay in step.
int read_category(const stream_in& in, element_db* db, uint8_t* unit_buffer) {
  uint16_t length;
  if (!take16(in, &length)) return stream_failure();
  if (!take(in, unit_buffer, length)) return stream_failure();
  char name[kHhNameBufferSize + 1];
  uint32_t kept = length < kHhNameBufferSize ? length : kHhNameBufferSize;
  std::memcpy(name, unit_buffer, kept);
  name[kept] = '\0';
  const bool table_was_empty = db->ctgr_count == 0;
  int32_t index = find_or_add_ctgr(db, name);
  if (index < 0) return index == kNoCategory ? kHhLoadTooManyCategories : kHhLoadNoMemory;
  uint8_t colour[2];
  if (!take(in, colour, 2)) return stream_failure();
  // A name that added nothing to an empty table has no category to colour.
  if (table_was_empty && db->ctgr_count == 0) return kHhLoadOk;
  category* c = db->ctgrs[index];
  c->bgcolor = (c->bgcolor & 0xFFFF0000u) | static_cast<uint32_t>(colour[0] | (colour[1] << 8));
  return kHhLoadOk;
}

// Makes an element of its stored values (big-endian, in stored order) with
// room for its texts, linked at *tail as soon as it is made; texts empty.
element* link_element(const stream_in& in, uint32_t id, const uint16_t stored[8], uint32_t ql,
                      uint32_t al, element*** tail) {
  element* e = element_arena_new(in.arena, ql, al);
  if (!e) return nullptr;
  **tail = e;
  *tail = &e->next;
  e->id = id;
  uint16_t* fields[8] = {&e->tm_t_rpt, &e->stm_t_rpt, &e->ctgr, &e->l_ivl,
                         &e->rl_l_ivl, &e->ivl,       &e->rp,   &e->gr};
  for (int f = 0; f < 8; ++f)
    *fields[f] = SyncHHToHostWord(stored[f]);
  e->q[0] = '\0';
  e->a[0] = '\0';
  return e;
}

// Reads one element after its id, unit by unit: the units may run on into
// the next records. Fields are zero and texts empty until read.
int read_element(const stream_in& in, uint32_t id, element*** tail) {
  uint16_t stored[8] = {};
  for (uint16_t& field : stored) {
    if (!take(in, &field, 2)) return stream_failure();
  }
  uint16_t lengths[2];
  if (!take(in, lengths, kHhLengthsUnitSize)) return stream_failure();
  const uint32_t ql = SyncHHToHostWord(lengths[0]);
  const uint32_t al = SyncHHToHostWord(lengths[1]);
  element* e = link_element(in, id, stored, ql, al, tail);
  if (!e) return kHhLoadNoMemory;
  if (!take(in, e->q, ql)) return stream_failure();
  if (!take(in, e->a, al)) return stream_failure();
  return kHhLoadOk;
}

// Reads one element whose id, values and lengths lie whole in the record
// being read (most do); its texts too, when the record holds them.
int read_element_in_place(const stream_in& in, const uint8_t* head, element*** tail) {
  uint32_t raw_id;
  uint16_t stored[8], lengths[2];
  std::memcpy(&raw_id, head, 4);
  std::memcpy(stored, head + 4, sizeof stored);
  std::memcpy(lengths, head + kHhElementFixedSize, kHhLengthsUnitSize);
  const uint32_t ql = SyncHHToHostWord(lengths[0]);
  const uint32_t al = SyncHHToHostWord(lengths[1]);
  element* e = link_element(in, SyncHHToHostDWord(raw_id), stored, ql, al, tail);
  if (!e) return kHhLoadNoMemory;
  if (const uint8_t* texts = czytaj_room(ql + al)) {
    std::memcpy(e->q, texts, ql);
    std::memcpy(e->a, texts + ql, al);
    return kHhLoadOk;
  }
  if (!take(in, e->q, ql)) return stream_failure();
  if (!take(in, e->a, al)) return stream_failure();
  return kHhLoadOk;
}

// Out-of-range indices (a foreign writer's, or names that were equal or
// empty) become 0, so that every element names a category of this table,
// which is whole before the first element. False when one was out of range.
bool category_in_range(const element_db* db, element* e) {
  if (e->ctgr < db->ctgr_count) return true;
  e->ctgr = 0;
  return false;
}

// An element named category 0 of a table without entries: the table gets
// its root entry.
int give_root_if_needed(element_db* db, bool any_out_of_range) {
  if (any_out_of_range && db->ctgr_count == 0 && !add_root_ctgr(db)) return kHhLoadNoMemory;
  return kHhLoadOk;
}

// With a sink, the element just read is the list's only one: it goes to the
// sink with its category index made valid, and is freed.
int hand_on(element_db* db, const element_sink* sink) {
  element* e = db->head;
  db->head = nullptr;
  int status = give_root_if_needed(db, !category_in_range(db, e));
  if (status == kHhLoadOk && !sink->take(sink->context, *db, *e)) status = kHhLoadNoMemory;
  free_element(e);
  return status;
}

// Notes e as the next element of the list's order; without the memory, the
// order is given up (left empty) and the list read on.
void note_in_order(list_order*& order, element* e) {
  if (!order) return;
  try {
    order->push_back(e);
  } catch (const std::bad_alloc&) {
    list_order().swap(*order);
    order = nullptr;
  }
}

// Elements until the clean end of the records, linked in stored order or
// handed to the sink one by one. Each element's category is checked as it
// comes: a pass over the list afterwards would wait on every step of it.
int read_elements(const stream_in& in, element_db* db, const element_sink* sink,
                  list_order* order) {
  element** tail = &db->head;
  bool any_out_of_range = false;
  for (;;) {
    element** linked_at = tail;
    int status;
    if (const uint8_t* head = czytaj_room(kHhElementFixedSize + kHhLengthsUnitSize)) {
      status = read_element_in_place(in, head, &tail);
    } else {
      uint32_t raw_id;
      if (!take(in, &raw_id, 4)) {
        if (hh_reader.failed) return stream_failure();
        return give_root_if_needed(db, any_out_of_range);
      }
      status = read_element(in, SyncHHToHostDWord(raw_id), &tail);
    }
    if (status == kHhLoadOk && sink) {
      status = hand_on(db, sink);
      tail = &db->head;
    } else if (status == kHhLoadOk) {
      if (!category_in_range(db, *linked_at)) any_out_of_range = true;
      note_in_order(order, *linked_at);
    }
    if (status != kHhLoadOk) return status;
    SyncYieldCycles(1);
  }
}

int read_stream(const stream_in& in, element_db* db, const element_sink* sink, list_order* order) {
  uint16_t entries = 0;
  int status = read_header(in, db, &entries);
  if (status != kHhLoadOk) return status;
  uint8_t* unit_buffer = static_cast<uint8_t*>(std::malloc(0x10000));
  if (!unit_buffer) return kHhLoadNoMemory;
  for (uint32_t i = 0; i < entries && status == kHhLoadOk; ++i) {
    status = read_category(in, db, unit_buffer);
  }
  std::free(unit_buffer);
  if (status != kHhLoadOk) return status;
  return read_elements(in, db, sink, order);
}

}  // namespace

bool hh_load_found_no_data(int status) {
  return status == kHhLoadNotFound || status == kHhLoadNoRecords;
}

const char* hh_load_status_text(int status) {
  switch (status) {
    case kHhLoadOk:
      return "read";
    case kHhLoadNotFound:
      return "does not exist";
    case kHhLoadNoRecords:
      return "holds no records";
    case kHhLoadOpenFailed:
      return "cannot be opened";
    case kHhLoadCountFailed:
      return "cannot be counted";
    case kHhLoadReadFailed:
      return "has a record that cannot be read";
    case kHhLoadDamaged:
      return "is damaged: its data ends in the middle of an entry";
    case kHhLoadTooManyCategories:
      return "holds more than 65536 categories";
    case kHhLoadNoMemory:
      return "is too large for the memory available";
    default:
      return "cannot be read";
  }
}

int load_db_from_hh(element_db* db, hh_load_report* report, const element_sink* sink,
                    list_order* order) {
  if (order) order->clear();
  hh_load_report ignored;
  if (!report) report = &ignored;
  *report = hh_load_report{kHhLoadOk, 0, 0};

  uint8_t handle = 0;
  int32_t result = sync_open_db(kHhDbName, kHhCardNo, &handle, kHhOpenMode);
  trace("load_db_from_hh()\n");
  if (result == kSyncErrNotFound) {
    trace("load_db_from_hh(): NOT_FOUND\n");
    report->status = kHhLoadNotFound;
    return 0;
  }
  if (result != kSyncOk) {
    report->status = kHhLoadOpenFailed;
    report->sync_error = result;
    return 0;
  }
  uint16_t num_recs = 0;
  result = SyncGetDBRecordCount(handle, &num_recs);
  if (result != kSyncOk) {
    trace("SyncGetDBRecordCount() returned an error\n");
    sync_close_db(handle);
    report->status = kHhLoadCountFailed;
    report->sync_error = result;
    return 0;
  }
  trace("numRecs=%d\n", num_recs);
  if (num_recs == 0) {
    sync_close_db(handle);
    report->status = kHhLoadNoRecords;
    return 0;
  }

  // The records are nearly full: their number tells the size well enough.
  const stream_in in{handle, num_recs,
                     sink ? nullptr : element_arena_open(uint64_t{num_recs} * kHhRecordCapacity)};
  czytaj(nullptr, 0, handle, num_recs);
  int status =
      hh_reader.failed ? kHhLoadReadFailed : read_stream(in, db, sink, sink ? nullptr : order);
  element_arena_close(in.arena);
  report->record = hh_reader.rInfo.record_index;
  report->sync_error = hh_reader.read_error;
  czytaj(nullptr, 0, handle, num_recs);
  sync_close_db(handle);

  if (status != kHhLoadOk) {
    free_element_nodes(db->head);
    if (order) list_order().swap(*order);
    db->head = nullptr;
    report->status = status;
    return 0;
  }
  return 1;
}
