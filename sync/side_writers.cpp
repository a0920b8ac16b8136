#include "sync/side_writers.h"

#include <cstdarg>
#include <cstdio>
#include <new>
#include <vector>

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "handheld/sync_error_text.h"
#include "platform/file.h"
#include "platform/hotsync_log.h"
#include "platform/sync_manager.h"
#include "platform/trace.h"

void log_conduit_message(const char* format, ...) {
  char text[1024];
  int n = std::snprintf(text, sizeof text, "Quorvia Conduit: ");
  va_list args;
  va_start(args, format);
  std::vsnprintf(text + n, sizeof text - static_cast<size_t>(n), format, args);
  va_end(args);
  hotsync_log_add(text, kLogActivityText, kLogNoTimeStamp);
}

int write_handheld_side(element_db* db) {
  hh_save_report report;
  int status = save_db_to_hh(db, &report);
  if (status == kHhSaveTextTooLong && report.element_id != 0) {
    log_conduit_message(
        "the handheld was not changed: element %lu has a question or answer of 64720 bytes or "
        "more, which the handheld cannot store. Shorten it on the desktop.\n",
        static_cast<unsigned long>(report.element_id));
  } else if (status == kHhSaveTooManyCategories) {
    log_conduit_message(
        "the handheld was not changed: the data set to write has more than 65535 categories, "
        "which the handheld cannot store.\n");
  } else if (status != kHhSaveOk) {
    log_conduit_message("the handheld database QVelements %s: %s.\n", hh_save_status_text(status),
                        sync_error_text(report.sync_error));
  }
  return status;
}

namespace {

// The texts a desktop write changed, told once the file is in place.
struct unholdable_text {
  uint32_t id;
  const char* field;
  const char* mark;
};

struct unholdable_texts {
  std::vector<unholdable_text> found;
  unsigned long untold = 0;  // found when there was no memory to keep them
};

void note_unholdable(const element* e, const char* field, const char* mark, void* context) {
  auto* texts = static_cast<unholdable_texts*>(context);
  try {
    texts->found.push_back(unholdable_text{e->id, field, mark});
  } catch (const std::bad_alloc&) {
    texts->untold += 1;
  }
}

}  // namespace

int write_desktop_side(element_db* db, const char* tmp_path, const char* xml_path,
                       const list_order* order) {
  unholdable_texts texts;
  // A file the next HotSync could not read would stop every HotSync after it.
  xml_save_report report{note_unholdable, &texts, true, 0, 0};
  int result = save_xml(db, tmp_path, xml_path, &report, order);
  trace("save_db_to_pc() returned %d\n", result);
  if (result == kSaveXmlTextTooLong) {
    log_conduit_message(
        "%s was not changed: element %lu has a question or answer too long for elements.xml "
        "to read back (about 8 KB over several lines, 16 KB on one). Shorten it on the "
        "handheld.\n",
        xml_path, static_cast<unsigned long>(report.element_id));
    return result;
  }
  if (result != kSaveXmlOk) {
    if (report.system_error != 0) {
      log_conduit_message("%s could not be written: %s (%s); it was left as it was.\n", xml_path,
                          save_xml_result_text(result), file_error_text(report.system_error));
    } else {
      log_conduit_message("%s could not be written: %s; it was left as it was.\n", xml_path,
                          save_xml_result_text(result));
    }
    return result;
  }
  for (const unholdable_text& t : texts.found) {
    log_conduit_message(
        "element %lu: its %s holds \"%s\", %s; the desktop reads it back cut or changed there.\n",
        static_cast<unsigned long>(t.id), t.field, t.mark, kUnholdableTextPhrase);
  }
  if (texts.untold != 0) {
    log_conduit_message("%lu more texts hold what elements.xml cannot hold.\n", texts.untold);
  }
  return result;
}

void log_desktop_unreadable(const char* xml_path, const pc_load_report& report) {
  if (report.line != 0) {
    log_conduit_message("%s %s (line %lu).\n", xml_path, pc_load_status_text(report.status),
                        static_cast<unsigned long>(report.line));
  } else {
    log_conduit_message("%s %s.\n", xml_path, pc_load_status_text(report.status));
  }
}

void log_handheld_unreadable(const hh_load_report& report) {
  if (hh_load_found_no_data(report.status)) {
    log_conduit_message("the handheld database QVelements %s.\n",
                        hh_load_status_text(report.status));
    return;
  }
  if (report.sync_error != kSyncOk) {
    log_conduit_message("the handheld database QVelements %s (record %u): %s.\n",
                        hh_load_status_text(report.status), static_cast<unsigned>(report.record),
                        sync_error_text(report.sync_error));
  } else {
    log_conduit_message("the handheld database QVelements %s (record %u).\n",
                        hh_load_status_text(report.status), static_cast<unsigned>(report.record));
  }
}
