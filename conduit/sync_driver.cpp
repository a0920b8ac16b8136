#include "conduit/sync_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "conduit/sync_record.h"
#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "model/databases.h"
#include "platform/file.h"
#include "platform/hotsync_log.h"
#include "platform/sync_manager.h"
#include "platform/trace.h"
#include "sync/merge.h"
#include "sync/side_writers.h"

namespace {

constexpr uint32_t kDstHour = 3600;

constexpr bool same_text(const char* a, const char* b) {
  return *a == *b && (*a == '\0' || same_text(a + 1, b + 1));
}
static_assert(same_text(kUnholdableTextPhrase, kConduitUnholdableTextPhrase),
              "the API names the side writers' words");

// Both data sets as construction leaves them, so that nothing of an earlier
// HotSync in this loaded library is read or written again.
void empty_databases() {
  release_db(&pc_db);
  construct_db(&pc_db);
  release_db(&hh_db);
  construct_db(&hh_db);
  insert_element(&pc_db.head, nullptr);
}

// What one HotSync knows of its handheld user, read from the Sync Manager
// once, when first needed.
struct hotsync_user {
  bool asked = false;
  bool known = false;
  sync_record_user who{};
  uint32_t last_sync = 0;  // the Sync Manager's time of the last HotSync
};

bool know_user(hotsync_user* user) {
  if (!user->asked) {
    user->asked = true;
    uint8_t record[kSyncUserRecordSize];
    if (sync_read_user_record(record) == kSyncOk) {
      user->known = true;
      std::memcpy(&user->who.id, record + kSyncUserIdOffset, sizeof user->who.id);
      std::memcpy(user->who.name, record + kSyncUserNameOffset, kSyncUserNameSize);
      user->who.name[kSyncUserNameSize] = '\0';
      std::memcpy(&user->last_sync, record + kSyncUserLastSyncOffset, sizeof user->last_sync);
    }
  }
  return user->known;
}

// The time of the last HotSync as the merge compares it with element ids: the
// Sync Manager's, or the conduit's own record of its last complete HotSync
// when that is earlier (the Sync Manager's moves on after a HotSync that
// failed half-way). Later would take new elements for deleted ones.
uint32_t last_sync_time(hotsync_user* user, const char* data_dir) {
  uint32_t last = 0;
  if (know_user(user)) {
    last = user->last_sync;
    uint32_t complete = 0;
    if (read_last_complete_sync(data_dir, user->who, &complete) && complete < last) {
      trace("the last complete HotSync was at %lu\n", static_cast<unsigned long>(complete));
      last = complete;
    }
  }
  // Below one hour the lowered time would wrap and make every one-sided element
  // look deleted: 0 (no previous sync) is the safe reading.
  if (is_dst_now()) last = last >= kDstHour ? last - kDstHour : 0;
  return last;
}

// After both sides hold what this HotSync gave them: from now on the merge
// may take an element missing on one side for deleted there, if it is older.
void record_complete_sync(hotsync_user* user, const char* data_dir, uint32_t started) {
  if (!know_user(user)) return;
  const int error = write_last_complete_sync(data_dir, user->who, started);
  if (error != 0) {
    log_conduit_message(
        "the time of this HotSync could not be kept in %s%s (%s); the next HotSync takes "
        "fewer elements for deleted.\n",
        data_dir, kConduitSyncRecordFile, file_error_text(error));
  }
}

// A side that exists but did not load completely must not be overwritten:
// that would lose the data in it. Logs why, and says whether one was found.
bool side_unreadable(int pc_loaded, const pc_load_report& pc, const char* xml, int hh_loaded,
                     const hh_load_report& hh) {
  bool unreadable = false;
  if (!pc_loaded && pc.status != kPcLoadNoFile) {
    log_desktop_unreadable(xml, pc);
    unreadable = true;
  }
  if (!hh_loaded && !hh_load_found_no_data(hh.status)) {
    log_handheld_unreadable(hh);
    unreadable = true;
  }
  if (unreadable) {
    log_conduit_message(
        "nothing was synchronised, so that no data is lost. Repair or remove the damaged side, "
        "or copy one side over the other with a one-way HotSync action.\n");
  }
  return unreadable;
}

// How a direction ended: carried through (every side it had to write is
// written), carried through with nothing to write, or not.
enum run_outcome { kRunFailed, kRunWritten, kRunNothingToWrite };

run_outcome outcome(bool written) {
  return written ? kRunWritten : kRunFailed;
}

run_outcome sync_both_ways(const char* xml, const char* tmp, const char* data_dir,
                           hotsync_user* user) {
  trace("howToSync:FULL\n");
  trace("a teraz wywolam load_db_from_pc()...\n");
  // Each list's order as its reader leaves it, and the merge after it: the
  // passes that follow take the elements from there, not step by step.
  list_order pc_order, hh_order;
  pc_load_report pc_report;
  const int pc_loaded = load_db_from_pc(&pc_db, xml, &pc_report, nullptr, &pc_order);
  const int pc_ok = pc_loaded && pc_db.head ? 1 : 0;
  trace("... ok, teraz wywolam load_db_from_hh()...\n");
  hh_load_report hh_report;
  const int hh_loaded = load_db_from_hh(&hh_db, &hh_report, nullptr, &hh_order);
  const int hh_ok = hh_loaded && hh_db.head ? 1 : 0;
  trace("...ok\n");

  char entry[256];
  std::snprintf(entry, sizeof entry, "%d-%d\n", pc_ok, hh_ok);
  hotsync_log_add(entry, kLogActivityText, kLogNoTimeStamp);

  if (side_unreadable(pc_loaded, pc_report, xml, hh_loaded, hh_report)) return kRunFailed;
  if (pc_ok && hh_ok) {
    const int merged = sync_dbs_in_order(last_sync_time(user, data_dir), &pc_order, &hh_order);
    list_order().swap(hh_order);  // the handheld's writer walks its list
    switch (merged) {
      case kMergedWriteBoth:
        // The handheld is written only over a desktop that took the merge:
        // otherwise the next HotSync starts again from both intact sides.
        if (write_desktop_side(&pc_db, tmp, xml, &pc_order) != kSaveXmlOk) {
          log_conduit_message("the handheld was not changed either.\n");
          return kRunFailed;
        }
        list_order().swap(pc_order);
        return outcome(write_handheld_side(&hh_db) == kHhSaveOk);
      case kOlderSideWritten:
        return kRunWritten;
      case kMergeTooManyCategories:
        log_conduit_message(
            "the merge would give one side more than 65536 categories; nothing was written.\n");
        return kRunFailed;
      case kMergeFailed:
        log_conduit_message("the merge ran out of memory; nothing was written.\n");
        return kRunFailed;
      default:  // the older side could not be written; the writer said why
        return kRunFailed;
    }
  }
  if (pc_ok) return outcome(write_handheld_side(&pc_db) == kHhSaveOk);
  if (hh_ok) return outcome(write_desktop_side(&hh_db, tmp, xml, &hh_order) == kSaveXmlOk);
  return kRunNothingToWrite;
}

// The one-way copies write their target only from a source read completely.
// A source that is not there leaves nothing to copy.
run_outcome copy_desktop_to_handheld(const char* xml) {
  pc_load_report report;
  if (!load_db_from_pc(&pc_db, xml, &report)) {
    log_desktop_unreadable(xml, report);
    log_conduit_message("the handheld was not changed.\n");
    return report.status == kPcLoadNoFile ? kRunNothingToWrite : kRunFailed;
  }
  return outcome(write_handheld_side(&pc_db) == kHhSaveOk);
}

run_outcome copy_handheld_to_desktop(const char* xml, const char* tmp) {
  hh_load_report report;
  list_order order;
  if (!load_db_from_hh(&hh_db, &report, nullptr, &order)) {
    log_handheld_unreadable(report);
    log_conduit_message("%s was not changed.\n", xml);
    return hh_load_found_no_data(report.status) ? kRunNothingToWrite : kRunFailed;
  }
  return outcome(write_desktop_side(&hh_db, tmp, xml, &order) == kSaveXmlOk);
}

void log_data_dir_problem(int status) {
  log_conduit_message(
      status == kDataDirTooLong
          ? "the Quorvia data directory (registry value %s under HKEY_CURRENT_USER\\%s) is too "
            "long; nothing was synchronised.\n"
          : "the Quorvia data directory (registry value %s under HKEY_CURRENT_USER\\%s) is not "
            "set; nothing was synchronised. Start Quorvia once, or set the value.\n",
      kRegistryDataDirValue, kRegistryKeyPath);
}

// One direction with both paths at hand; whether it was carried through.
bool run_direction(int32_t howToSync, const char* xml, const char* tmp, const char* data_dir) {
  const uint32_t started = static_cast<uint32_t>(std::time(nullptr));
  hotsync_user user;
  run_outcome done = kRunNothingToWrite;
  switch (howToSync) {
    case FULL:
      done = sync_both_ways(xml, tmp, data_dir, &user);
      break;
    case PC2HH:
      trace("howToSync:PC2HH\n");
      done = copy_desktop_to_handheld(xml);
      break;
    case HH2PC:
      trace("howToSync:HH2PC\n");
      done = copy_handheld_to_desktop(xml, tmp);
      break;
    default:
      break;
  }
  if (done == kRunWritten) record_complete_sync(&user, data_dir, started);
  return done != kRunFailed;
}

}  // namespace

int is_dst_now() {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local && local->tm_isdst > 0;
}

int32_t run_sync(int32_t howToSync) {
  uint32_t registration = 0;
  if (sync_register_conduit(&registration) == kSyncRegistrationRefused) return kOpenConduitRefused;
  int status = kDataDirOk;
  char* data_dir = get_data_dir(&status);
  char* xml = get_xml_path(&status);
  char* tmp = get_tmp_path(&status);
  bool done = false;
  if (!data_dir || !xml || !tmp) {
    log_data_dir_problem(status);
  } else {
    empty_databases();
    done = run_direction(howToSync, xml, tmp, data_dir);
  }
  std::free(data_dir);
  std::free(xml);
  std::free(tmp);
  sync_unregister_conduit(registration);
  return done ? kOpenConduitDone : kOpenConduitIncomplete;
}

extern "C" int32_t OpenConduit(void*, sync_properties* properties) {
  if (!properties) return 0;
  switch (properties->sync_type) {
    case kSyncTypeFast:
    case kSyncTypeSlow:
      return run_sync(FULL);
    case kSyncTypeHHToPC:
      return run_sync(HH2PC);
    case kSyncTypePCToHH:
      return run_sync(PC2HH);
    default:
      return 0;
  }
}
