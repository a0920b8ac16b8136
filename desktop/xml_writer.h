// Writes a data set as elements.xml, through a temporary file.
#pragma once

#include "model/element_db.h"
#include "model/list_order.h"

// Results of save_xml. There is no code 3.
enum save_xml_result {
  kSaveXmlOk = 0,           // elements.xml holds the new text; no temporary file
  kSaveXmlCannotOpen = 1,   // the temporary file could not be created; nothing changed
  kSaveXmlCannotClose = 2,  // flushing to disk or closing failed; the temporary file is left
  kSaveXmlCannotRename =
      4,                    // the old elements.xml is intact; the temporary file holds the new text
  kSaveXmlWriteFailed = 5,  // a write failed; the temporary file is left incomplete
  kSaveXmlBadCategory = 6,  // an element's category index is not in the table; the file stays
  // Asked to refuse them: an element has a question or answer whose lines the
  // reader could not gather in its window; written, the file could not be
  // read back. The file stays.
  kSaveXmlTextTooLong = 7,
};

// What a save is asked and tells beyond its result. unholdable, when set, hears of each
// text that elements.xml cannot hold as it is, as it is written: one that
// holds the reader's end of a question, an answer or a CDATA section ("</Q>",
// "</A>", "]]>") reads back cut or changed. field is "question" or "answer",
// mark the first such end found.
struct xml_save_report {
  void (*unholdable)(const element* e, const char* field, const char* mark, void* context);
  void* context;
  // When set, an element with a text whose lines the reader could not gather
  // fails the save with kSaveXmlTextTooLong before the old file is touched;
  // otherwise such a text is written as it is.
  bool refuse_unreadable;
  int system_error;     // out: the file layer's error behind a failure, or 0
  uint32_t element_id;  // out: the element behind kSaveXmlTextTooLong or kSaveXmlBadCategory
};

// Writes db to tmp_path, forces it to disk, and puts it in the place of
// xml_path in one step: at every moment xml_path is the complete old or the
// complete new file. Strips the quotes from the names of the categories that
// elements use (in the table itself); changes nothing else of db.
// report, when given, is filled as its comment says. order, when given and
// still holding, is the list's order (model/list_order.h): the elements are
// taken from there rather than by walking the list.
int save_xml(element_db* db, const char* tmp_path, const char* xml_path,
             xml_save_report* report = nullptr, const list_order* order = nullptr);
// Whether the reader takes the text back as save_xml writes it: short
// enough for its window, and holding nothing it would take for an end
// (</Q>, </A>, ]]>).
bool xml_holds_text(const char* text, bool question);
// A failed save in words, for a person.
const char* save_xml_result_text(int result);
