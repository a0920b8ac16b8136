#include <cstring>
#include <new>
#include <vector>

#include "handheld/hh_layout.h"
#include "handheld/hh_store.h"
#include "handheld/record_writer.h"
#include "platform/sync_manager.h"
#include "platform/trace.h"

namespace {

bool fits(const char* text) {
  return std::strlen(text ? text : "") < kHhRecordCapacity;
}

// The elements' text lengths as the check measured them, question and answer
// for each in list order, so that the stream need not measure every text
// again; all of them or, where there was no room to keep them, none.
struct measured_texts {
  std::vector<uint16_t> lengths;
  bool kept = true;

  void keep(size_t ql, size_t al) {
    if (!kept) return;
    try {
      lengths.push_back(static_cast<uint16_t>(ql));
      lengths.push_back(static_cast<uint16_t>(al));
    } catch (const std::bad_alloc&) {
      std::vector<uint16_t>().swap(lengths);
      kept = false;
    }
  }
};

// Every text must fit one record; found before anything is deleted.
int check_fits(const element_db* db, hh_save_report* report, measured_texts* texts) {
  if (db->ctgr_count > 0xFFFF) return kHhSaveTooManyCategories;
  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    if (!fits(db->ctgrs[i]->name)) return kHhSaveTextTooLong;
  }
  for (const element* e = db->head; e; e = e->next) {
    const size_t ql = std::strlen(e->q ? e->q : ""), al = std::strlen(e->a ? e->a : "");
    if (ql >= kHhRecordCapacity || al >= kHhRecordCapacity) {
      report->element_id = e->id;
      return kHhSaveTextTooLong;
    }
    texts->keep(ql, al);
  }
  return kHhSaveOk;
}

void put16(uint16_t value, uint8_t handle, uint32_t reserve) {
  uint16_t hh = SyncHostToHHWord(value);
  pisz(&hh, 2, handle, reserve);
}

void put32(uint32_t value, uint8_t handle, uint32_t reserve) {
  uint32_t hh = SyncHostToHHDWord(value);
  pisz(&hh, 4, handle, reserve);
}

void put_text(const char* text, uint8_t handle) {
  pisz(text, static_cast<uint32_t>(std::strlen(text)), handle, 0);
}

void write_stream(const element_db* db, const measured_texts& texts, uint8_t handle) {
  put16(kHhCoreVersion, handle, 0);
  put32(static_cast<uint32_t>(db->tm_strt), handle, 0);
  put16(static_cast<uint16_t>(db->ctgr_count), handle, 0);
  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    const category* c = db->ctgrs[i];
    put16(static_cast<uint16_t>(std::strlen(c->name)), handle, 0);
    put_text(c->name, handle);
    // The colour's low half goes as the handheld keeps it: least significant byte first.
    const uint8_t colour[2] = {static_cast<uint8_t>(c->bgcolor),
                               static_cast<uint8_t>(c->bgcolor >> 8)};
    pisz(colour, 2, handle, 0);
  }
  size_t measured = 0;
  for (const element* e = db->head; e; e = e->next) {
    const char* q = e->q ? e->q : "";
    const char* a = e->a ? e->a : "";
    uint32_t ql, al;
    if (texts.kept) {
      ql = texts.lengths[measured++];
      al = texts.lengths[measured++];
    } else {
      ql = static_cast<uint32_t>(std::strlen(q));
      al = static_cast<uint32_t>(std::strlen(a));
    }
    const uint16_t fields[8] = {e->tm_t_rpt, e->stm_t_rpt, e->ctgr, e->l_ivl,
                                e->rl_l_ivl, e->ivl,       e->rp,   e->gr};
    const uint16_t lengths[2] = {SyncHostToHHWord(static_cast<uint16_t>(ql)),
                                 SyncHostToHHWord(static_cast<uint16_t>(al))};
    // Most elements fit the record being filled whole: their units then go
    // where pisz would put them one by one, without its checks for each.
    const uint32_t whole = kHhElementFixedSize + kHhLengthsUnitSize + ql + al;
    if (uint8_t* room = pisz_room(whole)) {
      const uint32_t id = SyncHostToHHDWord(e->id);
      std::memcpy(room, &id, 4);
      for (int f = 0; f < 8; ++f) {
        const uint16_t hh = SyncHostToHHWord(fields[f]);
        std::memcpy(room + 4 + 2 * f, &hh, 2);
      }
      std::memcpy(room + kHhElementFixedSize, lengths, kHhLengthsUnitSize);
      std::memcpy(room + kHhElementFixedSize + kHhLengthsUnitSize, q, ql);
      std::memcpy(room + kHhElementFixedSize + kHhLengthsUnitSize + ql, a, al);
      continue;
    }
    put32(e->id, handle, kHhFieldReserve[0]);
    for (int f = 0; f < 8; ++f)
      put16(fields[f], handle, kHhFieldReserve[f + 1]);
    pisz(lengths, kHhLengthsUnitSize, handle, 0);
    pisz(q, ql, handle, 0);
    pisz(a, al, handle, 0);
  }
}

}  // namespace

const char* hh_save_status_text(int status) {
  switch (status) {
    case kHhSaveOk:
      return "written";
    case kHhSaveTextTooLong:
      return "holds a question or answer of 64720 bytes or more, which the handheld cannot store";
    case kHhSaveTooManyCategories:
      return "holds more than 65535 categories";
    case kHhSaveCreateFailed:
      return "could not be created on the handheld";
    case kHhSaveIncomplete:
      return "could not be written completely; the incomplete copy was discarded";
    case kHhSaveCloseFailed:
      return "could not be closed on the handheld";
    default:
      return "could not be written";
  }
}

int save_db_to_hh(element_db* db, hh_save_report* report) {
  hh_save_report ignored;
  if (!report) report = &ignored;
  *report = hh_save_report{kHhSaveOk, 0, 0};
  trace("save_db_to_hh()\n");

  measured_texts texts;
  report->status = check_fits(db, report, &texts);
  if (report->status != kHhSaveOk) {
    trace("save_db_to_hh(): a text does not fit the handheld; nothing written\n");
    return report->status;
  }

  sync_delete_db(kHhDbName, kHhCardNo);
  sync_create_request request;
  std::memset(&request, 0, sizeof request);
  request.creator = kHhCreator;
  request.flags = 0;
  request.card_no = static_cast<uint8_t>(kHhCardNo);
  std::memcpy(request.name, kHhDbName, sizeof kHhDbName);
  request.type = kHhType;
  int32_t result = SyncCreateDB(&request);
  if (result != kSyncOk) {
    trace("SyncCreateDB() returned an error\n");
    report->sync_error = result;
    return report->status = kHhSaveCreateFailed;
  }
  const uint8_t handle = request.db_handle;

  reset_record_writer();
  write_stream(db, texts, handle);
  pisz(nullptr, 0, handle, 0);
  if (hh_writer.failed || hh_writer.write_error != 0) {
    report->status = kHhSaveIncomplete;
    report->sync_error = hh_writer.write_error != 0 ? hh_writer.write_error : kSyncErrNoMemory;
  }
  reset_record_writer();

  // A stream with a record missing can read back as other elements than were
  // written. Deleting it while it is open abandons it where the Sync Manager
  // keeps the old database until a new one is closed complete; where it
  // cannot, the database is removed after its close.
  const bool abandoned =
      report->status == kHhSaveIncomplete && sync_delete_db(kHhDbName, kHhCardNo) == kSyncOk;
  result = sync_close_db(handle);
  if (result != kSyncOk) {
    trace("save_db_to_hh():(error code=%ld)\n", static_cast<long>(result));
    if (report->status == kHhSaveOk) {
      report->status = kHhSaveCloseFailed;
      report->sync_error = result;
    }
  }
  if (report->status == kHhSaveIncomplete && !abandoned) sync_delete_db(kHhDbName, kHhCardNo);
  return report->status;
}
