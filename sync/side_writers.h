// Writing one whole data set to one side, with a HotSync log entry when the
// write fails, so the user learns of it.
#pragma once

#include "desktop/xml_reader.h"
#include "handheld/hh_store.h"
#include "model/element_db.h"
#include "model/list_order.h"

// save_db_to_hh with db; a refusal or failure is logged. Returns its status.
int write_handheld_side(element_db* db);
// save_xml with db, the two paths and the list's order where known; a
// failure is logged. Returns its code.
int write_desktop_side(element_db* db, const char* tmp_path, const char* xml_path,
                       const list_order* order = nullptr);

// The words of the log line that names a text written changed to
// elements.xml; hosts look for them (the conduit's API publishes them).
constexpr char kUnholdableTextPhrase[] = "which elements.xml cannot hold";

// Log why a side that exists could not be read.
void log_desktop_unreadable(const char* xml_path, const pc_load_report& report);
void log_handheld_unreadable(const hh_load_report& report);

// Adds one line to the HotSync log, formatted, with the conduit's name first.
void log_conduit_message(const char* format, ...)
#if defined(__GNUC__)
    __attribute__((format(printf, 1, 2)))
#endif
    ;
