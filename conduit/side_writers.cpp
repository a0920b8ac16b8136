#include "conduit/side_writers.h"

#include <cstdarg>
#include <cstdio>

#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "platform/hotsync_log.h"
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
  } else if (status != kHhSaveOk) {
    log_conduit_message("the handheld database QVelements %s (error %ld).\n",
                        hh_save_status_text(status), static_cast<long>(report.sync_error));
  }
  return status;
}

int write_desktop_side(element_db* db, const char* tmp_path, const char* xml_path) {
  int result = save_xml(db, tmp_path, xml_path);
  trace("save_db_to_pc() returned %d\n", result);
  if (result != kSaveXmlOk) {
    log_conduit_message("%s could not be written (code %d); it was left as it was.\n", xml_path,
                        result);
  }
  return result;
}
