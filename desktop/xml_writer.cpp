#include "desktop/xml_writer.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "desktop/crlf_writer.h"
#include "desktop/decimal_format.h"
#include "desktop/xml_format.h"
#include "desktop/xml_reader.h"
#include "platform/file.h"
#include "platform/file_replacement.h"
#include "platform/trace.h"

namespace {

const char* text_or_empty(const char* text) {
  return text ? text : "";
}

void put_attr(crlf_writer* w, const char* name_eq, uint32_t value) {
  crlf_puts(w, name_eq);
  crlf_put_u32(w, value);
  crlf_put(w, "\"", 1);
}

// Items are formatted straight into the writer's buffer.
template <size_t N>
char* put_literal(char* p, const char (&text)[N]) {
  std::memcpy(p, text, N - 1);
  return p + N - 1;
}

template <size_t N>
char* put_number(char* p, const char (&name_eq)[N], uint32_t value) {
  return format_u32(put_literal(p, name_eq), value);
}

// Copies n bytes, each line feed as CR LF.
char* put_crlf(char* p, const char* s, size_t n) {
  const char* const end = s + n;
  while (s < end) {
    const char* lf = static_cast<const char*>(std::memchr(s, '\n', static_cast<size_t>(end - s)));
    const size_t run = static_cast<size_t>((lf ? lf : end) - s);
    std::memcpy(p, s, run);
    p += run;
    if (!lf) break;
    *p++ = '\r';
    *p++ = '\n';
    s = lf + 1;
  }
  return p;
}

// What a text holds that changes how it is written.
struct text_marks {
  bool markup;     // '<' or '&': the text goes in CDATA
  bool line_feed;  // written as CR LF
  bool bracket;    // ']': it may end a CDATA section
};

#if defined(__SSE2__)
// Sixteen bytes at a time: the texts are short, and three searches of their
// own would cost more in calls than in bytes. ']' is looked for only when
// asked (someone listens for the texts elements.xml cannot hold).
template <bool kBrackets>
text_marks scan_text(const char* s, size_t n) {
  if (n < 16) {
    text_marks marks{false, false, false};
    for (size_t i = 0; i < n; ++i) {
      marks.markup |= s[i] == '<' || s[i] == '&';
      marks.line_feed |= s[i] == '\n';
      if (kBrackets) marks.bracket |= s[i] == ']';
    }
    return marks;
  }
  const __m128i lt = _mm_set1_epi8('<'), amp = _mm_set1_epi8('&'), lf = _mm_set1_epi8('\n'),
                rb = _mm_set1_epi8(']');
  __m128i markup = _mm_setzero_si128(), line_feed = _mm_setzero_si128(),
          bracket = _mm_setzero_si128();
  auto take = [&](const char* at) {
    const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(at));
    markup = _mm_or_si128(markup, _mm_or_si128(_mm_cmpeq_epi8(v, lt), _mm_cmpeq_epi8(v, amp)));
    line_feed = _mm_or_si128(line_feed, _mm_cmpeq_epi8(v, lf));
    if (kBrackets) bracket = _mm_or_si128(bracket, _mm_cmpeq_epi8(v, rb));
  };
  size_t i = 0;
  for (; i + 16 <= n; i += 16)
    take(s + i);
  if (i < n) take(s + n - 16);  // the last sixteen, partly seen already
  return text_marks{_mm_movemask_epi8(markup) != 0, _mm_movemask_epi8(line_feed) != 0,
                    _mm_movemask_epi8(bracket) != 0};
}
#else
template <bool kBrackets>
text_marks scan_text(const char* s, size_t n) {
  return text_marks{std::memchr(s, '<', n) || std::memchr(s, '&', n),
                    std::memchr(s, '\n', n) != nullptr,
                    kBrackets && std::memchr(s, ']', n) != nullptr};
}
#endif

// n bytes of s, each line feed as CR LF (when it may hold one): in place when
// they fit the buffer, through the writer's own copying when they are larger.
void put_converted(crlf_writer* w, const char* s, size_t n, bool line_feeds) {
  char* p = crlf_reserve(w, 2 * n);
  if (!p) {
    crlf_put(w, s, n);
    return;
  }
  if (line_feeds) {
    p = put_crlf(p, s, n);
  } else {
    std::memcpy(p, s, n);
    p += n;
  }
  crlf_commit(w, p);
}

// The part of a text that the reader takes for the end of the text or of its
// CDATA section, or null when it reads the text back as it is.
const char* unholdable_mark(const char* text, const text_marks& marks) {
  if (marks.bracket && std::strstr(text, kCdataClose)) return kCdataClose;
  if (!marks.markup) return nullptr;
  if (std::strstr(text, kQuestionClose)) return kQuestionClose;
  if (std::strstr(text, kAnswerClose)) return kAnswerClose;
  return nullptr;
}

// What the writer puts around a text on its lines at most: CDATA, the closing
// tag and a line feed. A text shorter than the window by this much always
// reads back whole.
constexpr size_t kLongestTextWrapping = sizeof kCdataOpen + sizeof kCdataClose + sizeof "</Q>\n";

// Writes the text; when watched, the mark that changes it on the way back, or
// null. A text whose lines the reader could not gather is not written, when
// too_long is given: *too_long is set.
const char* put_text(crlf_writer* w, const char* text, bool question, bool watched,
                     bool* too_long) {
  const size_t n = std::strlen(text);
  const text_marks marks = watched ? scan_text<true>(text, n) : scan_text<false>(text, n);
  if (too_long && n >= kXmlTextWindow - kLongestTextWrapping &&
      !text_fits_reader_window(text, n, marks.markup, question)) {
    *too_long = true;
    return nullptr;
  }
  if (marks.markup) crlf_puts(w, kCdataOpen);
  put_converted(w, text, n, marks.line_feed);
  if (marks.markup) crlf_puts(w, kCdataClose);
  return watched && (marks.markup || marks.bracket) ? unholdable_mark(text, marks) : nullptr;
}

}  // namespace

bool xml_holds_text(const char* text, bool question) {
  const size_t n = std::strlen(text);
  const text_marks marks = scan_text<true>(text, n);
  return (marks.markup || marks.bracket ? unholdable_mark(text, marks) == nullptr : true) &&
         (n < kXmlTextWindow - kLongestTextWrapping ||
          text_fits_reader_window(text, n, marks.markup, question));
}

namespace {

// The most the fixed text and numbers between two texts of an item take.
constexpr size_t kFixedRunBytes = 128;

// The element's question or answer, told to the report as it asks; false for
// one it was asked to refuse.
bool put_field(crlf_writer* w, const element* e, bool question, xml_save_report* report) {
  bool too_long = false;
  const bool watched = report && report->unholdable;
  const char* mark = put_text(w, text_or_empty(question ? e->q : e->a), question, watched,
                              report && report->refuse_unreadable ? &too_long : nullptr);
  if (too_long) return false;
  if (mark) {
    report->unholdable(e, question ? "question" : "answer", mark, report->context);
  }
  return true;
}

// The item, in runs of fixed text and numbers reserved whole and the texts
// between them. Stops at the first failed write (which the writer keeps), and
// at a text the reader could not take back (false).
bool put_item(crlf_writer* w, const element* e, const char* ctgr_name, size_t name_length,
              xml_save_report* report) {
  char* p = crlf_reserve(w, kFixedRunBytes);
  if (!p) return true;
  p = put_number(p, "<item id=\"", e->id);
  p = put_number(p, "\" tm_t_rpt=\"", e->tm_t_rpt);
  p = put_number(p, "\" stm_t_rpt=\"", e->stm_t_rpt);
  crlf_commit(w, put_literal(p, "\" ctgr=\""));
  put_converted(w, ctgr_name, name_length, true);
  if (!(p = crlf_reserve(w, kFixedRunBytes))) return true;
  p = put_number(p, "\" l_ivl=\"", e->l_ivl);
  p = put_number(p, "\" rl_l_ivl=\"", e->rl_l_ivl);
  p = put_number(p, "\" ivl=\"", e->ivl);
  p = put_number(p, "\" rp=\"", e->rp);
  p = put_number(p, "\" gr=\"", e->gr);
  crlf_commit(w, put_literal(p, "\">\r\n<Q>"));
  if (!put_field(w, e, true, report)) return false;
  if (!(p = crlf_reserve(w, kFixedRunBytes))) return true;
  crlf_commit(w, put_literal(p, "</Q>\r\n<A>"));
  if (!put_field(w, e, false, report)) return false;
  if (!(p = crlf_reserve(w, kFixedRunBytes))) return true;
  crlf_commit(w, put_literal(p, "</A>\r\n</item>\r\n\r\n"));
  return true;
}

}  // namespace

int save_xml(element_db* db, const char* tmp_path, const char* xml_path, xml_save_report* report,
             const list_order* order) {
  trace("save_db_to_pc()\n");
  xml_save_report quiet{nullptr, nullptr, false, 0, 0};
  if (!report) report = &quiet;
  report->system_error = 0;
  report->element_id = 0;
  // Nobody listens and nothing is refused: the texts are not searched.
  xml_save_report* watch = report->unholdable || report->refuse_unreadable ? report : nullptr;

  crlf_writer* w = static_cast<crlf_writer*>(std::malloc(sizeof(crlf_writer)));
  file_replacement out;
  const int open_error = w ? file_replacement_begin(&out, tmp_path) : ENOMEM;
  if (open_error != 0) {
    trace("save_xml(): Cannot write/create/access %s\n", tmp_path);
    std::free(w);
    report->system_error = open_error;
    return kSaveXmlCannotOpen;
  }
  crlf_start(w, out.file);

  crlf_puts(w, kXmlHeader);
  crlf_puts(w, "<quorvia core_version=\"");
  crlf_put_u32(w, kXmlCoreVersion);
  crlf_puts(w, "\" time_of_start=\"");
  crlf_put_i32(w, db->tm_strt);
  crlf_puts(w, "\">\n\n");
  for (int32_t i = 0; i < db->ctgr_count && w->error == 0; ++i) {
    crlf_puts(w, "<category name=\"");
    crlf_puts(w, db->ctgrs[i]->name);
    put_attr(w, "\" bgcolor=\"", db->ctgrs[i]->bgcolor);
    crlf_puts(w, "/>\n");
  }
  crlf_puts(w, "\n\n");
  // Each name used is stripped of its quotes (a second time changes nothing)
  // and measured: once, for the first categories of the table.
  constexpr uint16_t kRemembered = 256;
  size_t name_lengths[kRemembered] = {};
  const element* outside = nullptr;   // an element whose category is not in the table
  const element* too_long = nullptr;  // one with a text the reader could not take back
  // The list lies all over memory, and each step along it waits for the
  // element before: where its order is at hand the elements are taken from
  // there, all asked for at once. The texts of the element a few places
  // ahead are asked for, so that they are at hand when its turn comes; a
  // runner walks there when the list is walked.
  constexpr size_t kRunAhead = 8;
  const size_t count = order && order_holds(db->head, *order) ? order->size() : 0;
  element* runner = count ? nullptr : db->head;
  for (size_t i = 0; i < kRunAhead && runner; ++i)
    runner = runner->next;
  size_t k = 0;
  for (element* e = db->head; e && w->error == 0;
       e = count ? (++k < count ? (*order)[k] : nullptr) : e->next) {
    // From the order, the element twice as far ahead is asked for first, so
    // that it is at hand when its texts are asked for.
    if (count && k + 2 * kRunAhead < count) __builtin_prefetch((*order)[k + 2 * kRunAhead]);
    const element* ahead =
        count ? (k + kRunAhead < count ? (*order)[k + kRunAhead] : nullptr) : runner;
    if (ahead) {
      __builtin_prefetch(ahead->q);
      __builtin_prefetch(ahead->a);
    }
    if (runner) runner = runner->next;
    if (e->ctgr >= db->ctgr_count) {
      outside = e;
      break;
    }
    size_t length;
    if (e->ctgr < kRemembered && name_lengths[e->ctgr] != 0) {
      length = name_lengths[e->ctgr] - 1;
    } else {
      length = strip_ctgr_quotes(db, e->ctgr);
      if (e->ctgr < kRemembered) name_lengths[e->ctgr] = length + 1;
    }
    const char* name = db->ctgrs[e->ctgr]->name;
    if (!put_item(w, e, name, length, watch)) {
      too_long = e;
      break;
    }
  }
  if (outside || too_long) {
    // Checked on the way rather than in a walk of its own: the file written so
    // far goes, the old one stays.
    if (outside) {
      trace("save_xml(): element %u has category %u of %d\n", outside->id, outside->ctgr,
            db->ctgr_count);
    }
    crlf_abandon(w);
    std::free(w);
    file_replacement_abandon(&out);
    report->element_id = too_long ? too_long->id : outside->id;
    return too_long ? kSaveXmlTextTooLong : kSaveXmlBadCategory;
  }
  crlf_puts(w, kRootEnd);

  // A temporary that failed is left as it is (the results say so): what it
  // holds shows how far the save came.
  int error = crlf_flush(w);
  std::free(w);
  if (error != 0) {
    file_replacement_leave(&out);
    report->system_error = error;
    return kSaveXmlWriteFailed;
  }
  error = file_replacement_commit(&out, xml_path);
  if (error != 0 && !out.complete) {
    trace("Error: cannot close \"%s\", reason: %s\n", tmp_path, file_error_text(error));
    report->system_error = error;
    return kSaveXmlCannotClose;
  }
  if (error != 0) {
    trace("Cannot rename \"%s\" to \"%s\"; %s\n", tmp_path, xml_path, file_error_text(error));
    report->system_error = error;
    return kSaveXmlCannotRename;
  }
  return kSaveXmlOk;
}

const char* save_xml_result_text(int result) {
  switch (result) {
    case kSaveXmlOk:
      return "written";
    case kSaveXmlCannotOpen:
      return "its temporary file could not be created";
    case kSaveXmlCannotClose:
      return "its temporary file could not be forced to disk or closed";
    case kSaveXmlCannotRename:
      return "its temporary file could not be put in its place";
    case kSaveXmlWriteFailed:
      return "its temporary file could not be written";
    case kSaveXmlBadCategory:
      return "an element's category is not in the category table";
    case kSaveXmlTextTooLong:
      return "an element has a question or answer too long for elements.xml to read back";
    default:
      return "it could not be written";
  }
}
