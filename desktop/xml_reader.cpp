#include "desktop/xml_reader.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <string>

#include "desktop/item_line.h"
#include "desktop/xml_format.h"
#include "model/element_arena.h"
#include "model/insertion_order.h"
#include "platform/file.h"
#include "platform/hotsync_log.h"
#include "platform/trace.h"

namespace {

template <size_t N>
constexpr size_t len(const char (&)[N]) {
  return N - 1;
}

// The item attributes in the order the scanner searches them; the number of an
// attribute is its index. The leading blank keeps " l_ivl=" from matching
// inside " rl_l_ivl=".
constexpr const char* kItemAttrs[] = {
    nullptr,   " id=",       " tm_t_rpt=", " stm_t_rpt=", " ctgr=",
    " l_ivl=", " rl_l_ivl=", " ivl=",      " rp=",        " gr=",
};
constexpr uint16_t kAttrId = 1;
constexpr uint16_t kAttrCtgr = 4;
constexpr uint16_t kLastAttr = 9;

uint16_t* attr_field(element* e, uint16_t attr) {
  switch (attr) {
    case 2:
      return &e->tm_t_rpt;
    case 3:
      return &e->stm_t_rpt;
    case 5:
      return &e->l_ivl;
    case 6:
      return &e->rl_l_ivl;
    case 7:
      return &e->ivl;
    case 8:
      return &e->rp;
    default:
      return &e->gr;
  }
}

// Category values seen lately, so that a file of many items and many
// categories does not search the table once per item. Within one load a name
// always gives the same index: the table only grows.
constexpr size_t kCtgrCacheSlots = 256;
constexpr size_t kCtgrCacheName = 47;
struct ctgr_cache_slot {
  uint8_t length;  // of the name + 1; 0: empty
  char name[kCtgrCacheName];
  int32_t index;
};

// A question or answer read for the current item.
struct pending_text {
  bool read;
  size_t length;
  char bytes[kXmlLineSize];  // a text on its opening line may fill it
};

// Everything one load works with; on the heap, as the buffers are large.
struct scanner {
  element_db* db;
  const char* path;
  pc_load_report* report;
  line_reader in;
  char line[kXmlLineSize];
  size_t line_length;   // of a body line, as read
  uint16_t item_state;  // 0 outside an item; 1 + the number of attributes found
  bool end_seen;
  // The item being read, from its " id=" on: its values, and its texts kept
  // here until "</item>" makes one allocation of the element and both.
  bool in_item;
  element current;
  pending_text texts[2];  // the question, the answer
  // Into an empty list the elements are gathered in file order and put in the
  // order of their insertion at the end (linear); into a list that holds
  // elements already, each is inserted.
  bool gather;
  insertion_order gathered;
  const element_sink* sink;  // non-null: each element goes there, none to the list
  list_order* order;         // non-null: the list's order goes there once it is whole
  element_arena* arena;      // non-null: a large file's elements come from there
  ctgr_cache_slot ctgr_cache[kCtgrCacheSlots];
};

// Why find_or_add_ctgr stored nothing, as the reading's status.
int category_failure(int32_t index) {
  return index == kNoCategory ? kPcLoadTooManyCategories : kPcLoadNoMemory;
}

// find_or_add_ctgr through the cache.
int32_t category_index(scanner* s, const char* name) {
  const size_t length = std::strlen(name);
  if (length > kCtgrCacheName) return find_or_add_ctgr(s->db, name);
  uint32_t hash = 2166136261u;
  for (size_t i = 0; i < length; ++i)
    hash = (hash ^ static_cast<uint8_t>(name[i])) * 16777619u;
  ctgr_cache_slot& slot = s->ctgr_cache[hash % kCtgrCacheSlots];
  if (slot.length == length + 1 && std::memcmp(slot.name, name, length) == 0) return slot.index;
  const int32_t index = find_or_add_ctgr(s->db, name);
  if (index >= 0) {
    slot.length = static_cast<uint8_t>(length + 1);
    std::memcpy(slot.name, name, length);
    slot.index = index;
  }
  return index;
}

// The abort path: the file is rejected, the elements read so far are released
// and the list is left empty. Categories and tm_strt stay as read.
int abort_load(scanner* s, int status) {
  trace("load_db_from_pc(): abort\n");
  s->report->status = status;
  s->report->line = s->in.line_no;
  s->in_item = false;
  insertion_order_abandon(&s->gathered);
  free_element_nodes(s->db->head);
  s->db->head = nullptr;
  insert_element(&s->db->head, nullptr);
  return 0;
}

enum class header_result { found, refused, missing };

header_result read_header(scanner* s) {
  bool in_comment = false;
  bool root_seen = false;
  while (read_line(&s->in, s->line, sizeof s->line) > 0) {
    char* rest = s->line;
    if (std::strncmp(s->line, kCommentOpen, len(kCommentOpen)) == 0) in_comment = true;
    if (in_comment) {
      char* close = std::strstr(s->line, kCommentClose);
      if (!close) continue;
      rest = close + len(kCommentClose);
      in_comment = false;
    }
    if (!root_seen) {
      char* root = std::strstr(rest, kRootTag);
      if (!root) continue;
      rest = root + len(kRootTag);
      root_seen = true;
    }
    if (char* v = std::strstr(rest, kCoreVersionAttr)) {
      rest = v + len(kCoreVersionAttr);
      uint32_t version = read_a_number(rest);
      if (version > kXmlCoreVersion) {
        std::fprintf(stderr,
                     "ERROR:\nyour 'Quorvia core version' = %d, while elements.xml file I am just "
                     "reading was saved using %d version...\nI am NOT prepared to this version! "
                     "Please upgrade me...\n",
                     static_cast<int>(kXmlCoreVersion), static_cast<int>(version));
        s->report->version = version;
        return header_result::refused;
      }
    }
    if (char* t = std::strstr(rest, kTimeOfStartAttr)) {
      s->db->tm_strt = static_cast<int32_t>(read_a_number(t + len(kTimeOfStartAttr)));
      return header_result::found;
    }
  }
  return header_result::missing;
}

// A "<category " line, from after "<category". A line without a name is
// dropped whole (*dropped), as if it were not there.
int read_category(scanner* s, char* rest, bool* dropped) {
  *dropped = true;
  uint32_t colour = 0;
  if (char* b = std::strstr(rest, "bgcolor=")) colour = read_a_number(b + len("bgcolor="));
  char* at = std::strstr(rest, "name=");
  if (!at) return kPcLoadOk;
  at += len("name=");
  if (*at) ++at;  // the opening quote, whatever it is
  char name[kXmlCategoryNameCut + 1];
  int n = 0;
  while (at[n] && at[n] != '"' && at[n] != '\n' && n < kXmlCategoryNameCut) {
    name[n] = at[n];
    ++n;
  }
  name[n] = '\0';
  if (n == 0) return kPcLoadOk;
  *dropped = false;
  int32_t index = find_or_add_ctgr(s->db, name);
  if (index < 0) return category_failure(index);
  if (colour != 0) s->db->ctgrs[index]->bgcolor = colour;
  return kPcLoadOk;
}

// The " ctgr=" value at rest (just after the "="). Moves *rest past a named
// value's closing quote.
int read_ctgr_value(scanner* s, char** rest) {
  char* value = *rest;
  if (*value == '\0') return kPcLoadUnclosedCategoryValue;
  ++value;  // the opening quote
  if (*value == '"') {
    s->current.ctgr = 0;
    return kPcLoadOk;
  }
  char* close = std::strchr(value, '"');
  if (!close) return kPcLoadUnclosedCategoryValue;
  *close = '\0';
  int32_t index = category_index(s, value);
  if (index < 0) return category_failure(index);
  s->current.ctgr = static_cast<uint16_t>(index);
  *rest = close + 1;
  return kPcLoadOk;
}

void start_item(scanner* s, uint32_t id) {
  s->in_item = true;
  s->current = element{};
  s->current.id = id;
  s->texts[0].read = false;
  s->texts[1].read = false;
}

// An item line as the writer writes it, read at once (item_line.h); false
// for any other line, left to the search for each attribute.
bool read_plain_item_line(scanner* s, int* status) {
  item_line got;
  if (!read_item_line(s->line, s->line_length, &got)) return false;
  start_item(s, got.id);
  element* e = &s->current;
  uint16_t* const fields[] = {&e->tm_t_rpt, &e->stm_t_rpt, &e->l_ivl, &e->rl_l_ivl,
                              &e->ivl,      &e->rp,        &e->gr};
  for (size_t i = 0; i < sizeof fields / sizeof fields[0]; ++i)
    *fields[i] = got.numbers[i];
  *status = kPcLoadOk;
  if (got.ctgr[0] != '\0') {
    const int32_t index = category_index(s, got.ctgr);
    if (index < 0) *status = category_failure(index);
    e->ctgr = static_cast<uint16_t>(index);
  }
  s->item_state = kLastAttr + 1;
  return true;
}

// Searches the attributes from the current item state on, each after the one
// found before it. Moves *rest past the last one found.
int read_item_attributes(scanner* s, char** rest) {
  const uint16_t first = s->item_state;
  for (uint16_t attr = first; attr <= kLastAttr; ++attr) {
    char* at = std::strstr(*rest, kItemAttrs[attr]);
    if (!at) continue;
    *rest = at + std::strlen(kItemAttrs[attr]);
    s->item_state += 1;
    if (attr == kAttrId) {
      start_item(s, read_a_number(*rest));
      continue;
    }
    if (!s->in_item) return kPcLoadItemWithoutId;
    if (attr == kAttrCtgr) {
      int status = read_ctgr_value(s, rest);
      if (status != kPcLoadOk) return status;
    } else {
      *attr_field(&s->current, attr) = static_cast<uint16_t>(read_a_number(*rest));
    }
  }
  return kPcLoadOk;
}

// A "<Q>" or "<A>" whose text starts at text: keeps a copy as the current
// element's question or answer.
int read_text(scanner* s, char* text, bool question) {
  if (!s->in_item) return kPcLoadItemWithoutId;
  const char* close_tag = question ? kQuestionClose : kAnswerClose;
  const int bad_status = question ? kPcLoadBadQuestion : kPcLoadBadAnswer;
  size_t length = 0;
  char* got = extract_cdata(text, &s->in, close_tag, s->line + sizeof s->line, &length);
  if (!got) {
    trace(bad_status == kPcLoadBadQuestion
              ? "Error while reading a question in elements.xml - aborting reading %s\n"
              : "Error while reading an answer in elements.xml - aborting reading %s\n",
          s->path);
    return s->in.error ? kPcLoadReadError : bad_status;
  }
  pending_text* kept = &s->texts[question ? 0 : 1];
  kept->length = length;
  std::memcpy(kept->bytes, got, kept->length);
  kept->read = true;
  return kPcLoadOk;
}

// The current element, whole, handed to the sink: its texts stay where they
// were read.
int hand_on(scanner* s) {
  pending_text* q = &s->texts[0];
  pending_text* a = &s->texts[1];
  element e = s->current;
  char empty[] = "";
  e.q = empty;
  e.a = empty;
  if (q->read) {
    q->bytes[q->length] = '\0';
    e.q = q->bytes;
  }
  if (a->read) {
    a->bytes[a->length] = '\0';
    e.a = a->bytes;
  }
  return s->sink->take(s->sink->context, *s->db, e) ? kPcLoadOk : kPcLoadNoMemory;
}

// "</item>": the current element joins the list (or goes to the sink) with a
// valid category index and both texts.
int close_item(scanner* s) {
  if (!s->in_item) return kPcLoadItemWithoutId;
  if (s->db->ctgr_count == 0 && !add_root_ctgr(s->db)) return kPcLoadNoMemory;
  if (s->sink) {
    s->in_item = false;
    s->item_state = 0;
    return hand_on(s);
  }
  const pending_text& q = s->texts[0];
  const pending_text& a = s->texts[1];
  element* e = element_arena_new(s->arena, q.read ? q.length : 0, a.read ? a.length : 0);
  if (!e) return kPcLoadNoMemory;
  if (q.read) std::memcpy(e->q, q.bytes, q.length);
  if (a.read) std::memcpy(e->a, a.bytes, a.length);
  e->id = s->current.id;
  std::memcpy(&e->tm_t_rpt, &s->current.tm_t_rpt, kElementValuesSize);
  if (s->gather) {
    insertion_order_add(&s->gathered, e);
  } else {
    insert_element(&s->db->head, e);
  }
  s->in_item = false;
  s->item_state = 0;
  return kPcLoadOk;
}

// One line of the body. Returns a status; kPcLoadOk to go on.
int scan_body_line(scanner* s) {
  char* rest = s->line;
  // The lines that make up nearly every item, taken without a search: a blank
  // line changes nothing in any state, a lone "</item>" within an item closes
  // it, and an item line as the writer writes it is read at once.
  if (rest[0] == '\n' && rest[1] == '\0') return kPcLoadOk;
  if (s->item_state != 0 && rest[0] == '<' && rest[1] == '/' && std::strcmp(rest, "</item>\n") == 0)
    return close_item(s);
  if (s->item_state == 0) {
    int status;
    if (read_plain_item_line(s, &status)) return status;
    if (char* c = std::strstr(rest, kCategoryTag)) {
      rest = c + len("<category");
      bool dropped = false;
      int status = read_category(s, rest, &dropped);
      if (status != kPcLoadOk || dropped) return status;
    }
    if (std::strstr(rest, kRootEnd)) {
      s->end_seen = true;
      return kPcLoadOk;
    }
    if (!std::strstr(rest, kItemTag)) return kPcLoadOk;
    s->item_state = 1;
  }
  if (s->item_state <= kLastAttr) {
    int status = read_item_attributes(s, &rest);
    if (status != kPcLoadOk) return status;
  }
  // A text's line starts with its tag, as the writer writes it; the first '<'
  // of the line is then that one.
  if (rest[0] == '<' && (rest[1] == 'Q' || rest[1] == 'A') && rest[2] == '>')
    return read_text(s, rest + len(kQuestionOpen), rest[1] == 'Q');
  if (char* q = find_leading_tag(rest, kQuestionOpen)) {
    return read_text(s, q + len(kQuestionOpen), true);
  }
  if (char* a = find_leading_tag(rest, kAnswerOpen)) {
    return read_text(s, a + len(kAnswerOpen), false);
  }
  if (std::strstr(rest, kItemEnd)) return close_item(s);
  return kPcLoadOk;
}

int scan_file(scanner* s) {
  switch (read_header(s)) {
    case header_result::refused:
      s->report->status = kPcLoadNewerVersion;
      return 0;
    case header_result::missing:
    case header_result::found:
      break;
  }
  if (s->in.error) {
    s->report->status = kPcLoadReadError;
    return 0;
  }
  if (s->in.eof) {
    trace("Fatal error while reading %s\n", s->path);
    s->report->status = kPcLoadNoHeader;
    return 0;
  }
  trace("load_db_from_pc(): before main while()\n");

  while ((s->line_length = read_line(&s->in, s->line, sizeof s->line)) > 0) {
    int status = scan_body_line(s);
    if (status != kPcLoadOk) return abort_load(s, status);
  }
  if (s->in.error) return abort_load(s, kPcLoadReadError);
  trace("load_db_from_pc(): after main while()\n");
  if (s->item_state != 0) return abort_load(s, kPcLoadUnclosedItem);
  if (!s->end_seen) {
    trace(
        "I didn't find </quorvia> tag in elements.xml file, so I abort starting database from "
        "elements.xml\n");
    return abort_load(s, kPcLoadNoRootEnd);
  }
  if (s->gather) {
    s->db->head = insertion_order_finish(&s->gathered, s->order);
    insert_element(&s->db->head, nullptr);
  }
  return 1;
}

}  // namespace

const char* pc_load_status_text(int status) {
  switch (status) {
    case kPcLoadOk:
      return "read";
    case kPcLoadNoFile:
      return "does not exist";
    case kPcLoadCannotOpen:
      return "cannot be opened";
    case kPcLoadReadError:
      return "cannot be read";
    case kPcLoadNewerVersion:
      return "was saved by a newer Quorvia (format version above 10)";
    case kPcLoadNoHeader:
      return "has no <quorvia ... time_of_start=...> root element";
    case kPcLoadBadQuestion:
      return "holds a question that is too long or not closed by </Q>";
    case kPcLoadBadAnswer:
      return "holds an answer that is too long or not closed by </A>";
    case kPcLoadNoRootEnd:
      return "ends without </quorvia>: it looks cut off";
    case kPcLoadItemWithoutId:
      return "holds an item without an id";
    case kPcLoadUnclosedCategoryValue:
      return "holds a ctgr value without its closing quote";
    case kPcLoadUnclosedItem:
      return "ends inside an item not closed by </item>";
    case kPcLoadTooManyCategories:
      return "holds more than 65536 categories";
    case kPcLoadNoMemory:
      return "is too large for the memory available";
    default:
      return "cannot be read";
  }
}

int load_db_from_pc(element_db* db, const char* path, pc_load_report* report,
                    const element_sink* sink, list_order* order) {
  if (order) order->clear();
  pc_load_report ignored;
  if (!report) report = &ignored;
  *report = pc_load_report{kPcLoadOk, 0, 0, 0};

  trace("load_db_from_pc(.., %s)\n", path);
  // A reading into a sink is the host's own (its report may read while the
  // conduit runs), which the HotSync log does not show.
  if (!sink) hotsync_log_add(path, kLogActivityText, kLogNoTimeStamp);
  forget_ctgrs(db);

  scanner* s = static_cast<scanner*>(std::malloc(sizeof(scanner)));
  if (!s) {
    report->status = kPcLoadNoMemory;
    return 0;
  }
  os_file file = kNoFile;
  int error = file_open_read(path, &file);
  if (error != 0) {
    trace("load_db_from_pc(): failed to open the file\n");
    std::free(s);
    report->status = file_error_is_missing(error) ? kPcLoadNoFile : kPcLoadCannotOpen;
    report->error = error;
    return 0;
  }
  s->db = db;
  s->path = path;
  s->report = report;
  line_reader_start(&s->in, file);
  s->item_state = 0;
  s->end_seen = false;
  for (ctgr_cache_slot& slot : s->ctgr_cache)
    slot.length = 0;
  s->in_item = false;
  s->sink = sink;
  s->gather = db->head == nullptr;
  s->order = s->gather && !sink ? order : nullptr;
  insertion_order_start(&s->gathered);
  uint64_t bytes = 0;
  s->arena = !sink && file_size(file, &bytes) == 0 ? element_arena_open(bytes) : nullptr;

  int result = scan_file(s);
  element_arena_close(s->arena);
  if (result == 0 && report->line == 0) report->line = s->in.line_no;
  if (s->in.error) report->error = s->in.error;
  file_close(file);
  std::free(s);
  return result;
}

uint32_t read_a_number(const char* text) {
  if (!text) {
    trace("read_a_number(): got NULL\n");
    return 0;
  }
  while (*text && (*text < '0' || *text > '9'))
    ++text;
  if (!*text) {
    trace("read_a_number(): cannot find any digit in string!\n");
    return 0;
  }
  uint32_t value = 0;
  for (; *text >= '0' && *text <= '9'; ++text)
    value = value * 10u + static_cast<uint32_t>(*text - '0');
  return value;
}

char* find_leading_tag(char* text, const char* tag) {
  char* first = std::strchr(text, '<');
  if (first && std::strncmp(first, tag, std::strlen(tag)) == 0) return first;
  return nullptr;
}

// Removes n bytes at p from its NUL-terminated string.
static void cut_out(char* p, size_t n) {
  std::memmove(p, p + n, std::strlen(p + n) + 1);
}

// Unwraps one CDATA section of text (n bytes); its length then. plain: text
// holds no '<', so no section opens in it.
static size_t unwrap_cdata(char* text, size_t n, bool plain) {
  if (plain && !std::memchr(text, ']', n)) return n;
  if (char* open = std::strstr(text, "<![")) {
    if (char* cdata = std::strstr(open + len("<!["), "CDATA")) {
      if (char* bracket = std::strchr(cdata + len("CDATA"), '[')) {
        cut_out(open, static_cast<size_t>(bracket + 1 - open));
      }
    }
  }
  if (char* close = std::strstr(text, kCdataClose)) cut_out(close, len(kCdataClose));
  return std::strlen(text);
}

bool text_fits_reader_window(const char* text, size_t n, bool markup, bool question) {
  const size_t wrapping = markup ? len(kCdataOpen) + len(kCdataClose) : 0;
  const char* close_tag = question ? kQuestionClose : kAnswerClose;
  const size_t tag_len = std::strlen(close_tag);
  // Shorter than the window with everything after it: always taken whole.
  if (n + wrapping + tag_len + 1 < kXmlTextWindow) return true;
  // What the reader gets after the opening tag, line ends as LF (the writer's
  // CR LF comes back as LF, an in-memory CR LF as CR LF).
  std::string r;
  try {
    r.reserve(n + wrapping + tag_len + 1);
    if (markup) r += kCdataOpen;
    r.append(text, n);
    if (markup) r += kCdataClose;
    r += close_tag;
    r += '\n';
  } catch (const std::bad_alloc&) {
    return false;
  }
  // The steps of extract_cdata over those bytes. The opening tag starts its
  // line, so the first piece has the rest of the line buffer.
  auto line_end = [&](size_t from, size_t most) {
    const size_t lf = r.find('\n', from);
    const size_t end = lf == std::string::npos ? r.size() : lf + 1;
    return end - from < most ? end : from + most;
  };
  const size_t tag_at = r.find(close_tag);  // where the reader stops: the first one
  size_t got = line_end(0, kXmlLineSize - 1 - std::strlen(kQuestionOpen));
  while (tag_at + tag_len > got) {
    if (got > kXmlTextWindow || got + 1 >= kXmlTextWindow) return false;
    got = line_end(got, kXmlTextWindow - got - 1);
  }
  return true;
}

// The first occurrence of tag in text, as strstr finds it; *first_lt tells
// whether it is the first '<' of text. A closing tag starts with '<', of
// which a text holds few: a search for each costs less than strstr's set-up,
// which every text would pay.
static char* find_tag(char* text, const char* tag, size_t tag_len, bool* first_lt) {
  *first_lt = false;
  if (tag[0] != '<') return std::strstr(text, tag);
  *first_lt = true;
  for (char* p = std::strchr(text, '<'); p; p = std::strchr(p + 1, '<')) {
    if (std::strncmp(p, tag, tag_len) == 0) return p;
    *first_lt = false;
  }
  return nullptr;
}

char* extract_cdata(char* text, line_reader* in, const char* close_tag, const char* buffer_end,
                    size_t* length) {
  const size_t tag_len = std::strlen(close_tag);
  const size_t room = static_cast<size_t>(buffer_end - text);
  const size_t window = room < kXmlTextWindow ? room : kXmlTextWindow;
  size_t n = 0;  // the text's length, measured once it must grow
  bool measured = false;
  size_t searched_from = 0;  // no tag starts before here
  char* close = nullptr;
  bool first_lt = false;
  while (!(close = find_tag(text + searched_from, close_tag, tag_len, &first_lt)) && !in->eof) {
    if (!measured) {
      n = std::strlen(text);
      measured = true;
    }
    if (n > kXmlTextWindow) {
      trace("ERROR in extract_cdata().\n");
      return nullptr;
    }
    if (n + 1 >= window) {
      trace("error: Too long question/answer in XML file.\n");
      return nullptr;
    }
    size_t got = read_line(in, text + n, window - n);
    if (got == 0) {
      trace("ERROR in extract_cdata().\n");
      return nullptr;
    }
    searched_from = n >= tag_len ? n - (tag_len - 1) : 0;
    n += got;
  }
  if (in->eof) {
    trace("ERROR: extract_cdata() hit EOF; your elements.xml file doesn't look well.\n");
    return nullptr;
  }
  *close = '\0';
  // Found on the first line as the first '<' of the text: it holds no other.
  const bool plain = !measured && first_lt;
  const size_t n_text = unwrap_cdata(text, static_cast<size_t>(close - text), plain);
  if (length) *length = n_text;
  return text;
}
