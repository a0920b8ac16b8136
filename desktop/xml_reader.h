// Reads elements.xml into a data set. A line scanner, not an XML parser: it
// reads what the writer produces, tolerating attributes spread over lines,
// extra text and blank lines, but the order of the item attributes and the
// placement of tags at the start of their lines matter.
#pragma once

#include <cstdint>

#include "desktop/line_reader.h"
#include "model/element_db.h"
#include "model/element_sink.h"
#include "model/list_order.h"

// Buffer sizes of the scanner: file lines come in pieces of at most
// kXmlLineSize-1 bytes; a question or answer gathers its lines in a window of
// kXmlTextWindow bytes after its opening tag.
constexpr size_t kXmlLineSize = 16384;
constexpr size_t kXmlTextWindow = 8192;
// A name on a category line is cut after this many bytes.
constexpr int kXmlCategoryNameCut = 128;

// Why a load returned 0; for the user, not for the sync logic.
enum pc_load_status {
  kPcLoadOk = 0,
  kPcLoadNoFile,  // the file does not exist: no data, rather than unreadable data
  kPcLoadCannotOpen,
  kPcLoadReadError,
  kPcLoadNewerVersion,
  kPcLoadNoHeader,
  kPcLoadBadQuestion,
  kPcLoadBadAnswer,
  kPcLoadNoRootEnd,
  kPcLoadItemWithoutId,
  kPcLoadUnclosedCategoryValue,
  kPcLoadUnclosedItem,
  kPcLoadTooManyCategories,
  kPcLoadNoMemory,
};

struct pc_load_report {
  int status;        // pc_load_status
  uint32_t line;     // the line the reader was on when it stopped; 0 if none
  uint32_t version;  // the file's format version, when it was refused
  int error;         // the system's error number for open and read failures
};

// What went wrong, in words a user can act on.
const char* pc_load_status_text(int status);

// Reads the file at path into db, whose element list must be empty. Adds the
// path to the HotSync log (not with a sink). Returns 1 when the whole file was read and
// "</quorvia>" was seen; 0 otherwise, with the elements read so far released
// (categories read stay). report, when given, says why. With a sink, each
// element goes there as it is read and db gets only the start time and the
// categories; a file the reader refuses is refused the same way, after the
// sink took the elements before the fault. With order, a list read whole
// into the empty db leaves its order there as well, where the memory can be
// had; otherwise order is left empty.
int load_db_from_pc(element_db* db, const char* path, pc_load_report* report = nullptr,
                    const element_sink* sink = nullptr, list_order* order = nullptr);

// The first run of decimal digits in text, in wrapping 32-bit arithmetic;
// every other character before it (a minus sign too) is skipped. 0 when text
// is null or holds no digit.
uint32_t read_a_number(const char* text);

// Whether the reader takes back whole a question (or an answer) of n bytes
// as the writer puts it on the line after its opening tag (in CDATA when
// markup is set): its lines must come within the text window before the
// closing tag does. A text that holds its own closing tag ends there and
// counts as taken.
bool text_fits_reader_window(const char* text, size_t n, bool markup, bool question);

// The tag's position in text if the first "<" of text begins it; else null.
char* find_leading_tag(char* text, const char* tag);

// Gathers the text after an opening tag, which stands in the line buffer that
// ends at buffer_end, reading further lines from in until close_tag is found
// within the window; cuts it there and unwraps one CDATA section. Returns the
// text (in the buffer), its length in *length when given, or null when it is
// too long, the file ends, or a read fails.
char* extract_cdata(char* text, line_reader* in, const char* close_tag, const char* buffer_end,
                    size_t* length = nullptr);
