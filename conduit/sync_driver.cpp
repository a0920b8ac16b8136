#include "conduit/sync_driver.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "conduit/side_writers.h"
#include "desktop/xml_reader.h"
#include "handheld/hh_store.h"
#include "model/databases.h"
#include "platform/hotsync_log.h"
#include "platform/sync_manager.h"
#include "platform/trace.h"
#include "sync/merge.h"

namespace {

constexpr uint32_t kDstHour = 3600;

// Both data sets as construction leaves them, so that nothing of an earlier
// HotSync in this loaded library is read or written again.
void empty_databases() {
  release_db(&pc_db);
  construct_db(&pc_db);
  release_db(&hh_db);
  construct_db(&hh_db);
  insert_element(&pc_db.head, nullptr);
}

// The time of the last HotSync as the merge compares it with element ids.
uint32_t last_sync_time() {
  uint8_t record[kSyncUserRecordSize];
  uint32_t last = 0;
  if (sync_read_user_record(record) == kSyncOk) {
    std::memcpy(&last, record + kSyncUserLastSyncOffset, sizeof last);
  }
  // Below one hour the lowered time would wrap and make every one-sided element
  // look deleted: 0 (no previous sync) is the safe reading.
  if (is_dst_now()) last = last >= kDstHour ? last - kDstHour : 0;
  return last;
}

// A side that exists but did not load completely must not be overwritten:
// that would lose the data in it. Logs why, and says whether one was found.
bool side_unreadable(int pc_loaded, const pc_load_report& pc, const char* xml, int hh_loaded,
                     const hh_load_report& hh) {
  bool unreadable = false;
  if (!pc_loaded && pc.status != kPcLoadNoFile) {
    if (pc.line != 0) {
      log_conduit_message("%s %s (line %lu).\n", xml, pc_load_status_text(pc.status),
                          static_cast<unsigned long>(pc.line));
    } else {
      log_conduit_message("%s %s.\n", xml, pc_load_status_text(pc.status));
    }
    unreadable = true;
  }
  if (!hh_loaded && !hh_load_found_no_data(hh.status)) {
    log_conduit_message("the handheld database QVelements %s (record %u, error %ld).\n",
                        hh_load_status_text(hh.status), static_cast<unsigned>(hh.record),
                        static_cast<long>(hh.sync_error));
    unreadable = true;
  }
  if (unreadable) {
    log_conduit_message(
        "nothing was synchronised, so that no data is lost. Repair or remove the damaged side, "
        "or copy one side over the other with a one-way HotSync action.\n");
  }
  return unreadable;
}

void sync_both_ways(const char* xml, const char* tmp) {
  trace("howToSync:FULL\n");
  trace("a teraz wywolam load_db_from_pc()...\n");
  pc_load_report pc_report;
  const int pc_loaded = load_db_from_pc(&pc_db, xml, &pc_report);
  const int pc_ok = pc_loaded && pc_db.head ? 1 : 0;
  trace("... ok, teraz wywolam load_db_from_hh()...\n");
  hh_load_report hh_report;
  const int hh_loaded = load_db_from_hh(&hh_db, &hh_report);
  const int hh_ok = hh_loaded && hh_db.head ? 1 : 0;
  trace("...ok\n");

  char entry[256];
  std::snprintf(entry, sizeof entry, "%d-%d\n", pc_ok, hh_ok);
  hotsync_log_add(entry, kLogActivityText, kLogNoTimeStamp);

  if (side_unreadable(pc_loaded, pc_report, xml, hh_loaded, hh_report)) return;
  if (pc_ok && hh_ok) {
    const int merged = sync_dbs(last_sync_time());
    if (merged == kMergedWriteBoth) {
      write_desktop_side(&pc_db, tmp, xml);
      write_handheld_side(&hh_db);
    } else if (merged == kMergeFailed) {
      log_conduit_message("the merge ran out of memory; nothing was written.\n");
    }
    return;
  }
  if (pc_ok) write_handheld_side(&pc_db);
  if (hh_ok) write_desktop_side(&hh_db, tmp, xml);
}

// The one-way copies write their target only from a source read completely.
void copy_desktop_to_handheld(const char* xml) {
  pc_load_report report;
  if (load_db_from_pc(&pc_db, xml, &report)) {
    write_handheld_side(&pc_db);
  } else {
    log_conduit_message("%s %s; the handheld was not changed.\n", xml,
                        pc_load_status_text(report.status));
  }
}

void copy_handheld_to_desktop(const char* xml, const char* tmp) {
  hh_load_report report;
  if (load_db_from_hh(&hh_db, &report)) {
    write_desktop_side(&hh_db, tmp, xml);
  } else {
    log_conduit_message("the handheld database QVelements %s; %s was not changed.\n",
                        hh_load_status_text(report.status), xml);
  }
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

}  // namespace

int is_dst_now() {
  std::time_t now = std::time(nullptr);
  const std::tm* local = std::localtime(&now);
  return local && local->tm_isdst > 0;
}

int32_t run_sync(int32_t howToSync) {
  uint32_t registration = 0;
  if (sync_register_conduit(&registration) == kSyncRegistrationRefused) return 1;
  int status = kDataDirOk;
  char* xml = get_xml_path(&status);
  char* tmp = get_tmp_path(&status);
  if (!xml || !tmp) {
    log_data_dir_problem(status);
  } else {
    empty_databases();
    switch (howToSync) {
      case FULL:
        sync_both_ways(xml, tmp);
        break;
      case PC2HH:
        trace("howToSync:PC2HH\n");
        copy_desktop_to_handheld(xml);
        break;
      case HH2PC:
        trace("howToSync:HH2PC\n");
        copy_handheld_to_desktop(xml, tmp);
        break;
      default:
        break;
    }
  }
  std::free(xml);
  std::free(tmp);
  sync_unregister_conduit(registration);
  return 0;
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
