// Writes a data set as elements.xml, through a temporary file.
#pragma once

#include "model/element_db.h"

// Results of save_xml. There is no code 3.
enum save_xml_result {
  kSaveXmlOk = 0,           // elements.xml holds the new text; no temporary file
  kSaveXmlCannotOpen = 1,   // the temporary file could not be created; nothing changed
  kSaveXmlCannotClose = 2,  // flushing to disk or closing failed; the temporary file is left
  kSaveXmlCannotRename =
      4,                    // the old elements.xml is intact; the temporary file holds the new text
  kSaveXmlWriteFailed = 5,  // a write failed; the temporary file is left incomplete
  kSaveXmlBadCategory = 6,  // an element's category index is not in the table; the file stays
};

// Writes db to tmp_path, forces it to disk, and puts it in the place of
// xml_path in one step: at every moment xml_path is the complete old or the
// complete new file. Strips the quotes from the names of the categories that
// elements use (in the table itself); changes nothing else of db.
int save_xml(element_db* db, const char* tmp_path, const char* xml_path);
