#include "desktop/line_reader.h"

#include <cstring>
#if defined(__SSE2__)
#include <emmintrin.h>
#endif

void line_reader_start(line_reader* r, os_file file) {
  r->file = file;
  r->error = 0;
  r->eof = false;
  r->held_cr = false;
  r->line_no = 0;
  r->next_line_no = 1;
  r->pos = 0;
  r->end = 0;
}

// Fills the buffer with the next bytes. A CR in the last byte is held back
// unless the file has ended: whether it ends a line depends on the next byte.
// Any other CR that a LF follows stands before it in the buffer, and
// read_line drops it: a line holds at most that one, at its end. False when
// there are no bytes.
static bool refill(line_reader* r) {
  while (r->pos == r->end) {
    if (r->eof || r->error) return false;
    size_t start = 0;
    if (r->held_cr) {
      r->buf[0] = '\r';
      r->held_cr = false;
      start = 1;
    }
    size_t got = 0;
    int e = file_read(r->file, r->buf + start, sizeof r->buf - start, &got);
    if (e != 0) {
      r->error = e;
      return false;
    }
    if (got == 0) r->eof = true;
    r->pos = 0;
    r->end = start + got;
    if (r->end > 0 && r->buf[r->end - 1] == '\r' && !r->eof) {
      r->held_cr = true;
      r->end -= 1;
    }
  }
  return true;
}

// The first LF of the n bytes at p, or null. Lines are short: sixteen bytes
// at a time in place, where a call would cost more than the search.
static const char* find_lf(const char* p, size_t n) {
#if defined(__SSE2__)
  const __m128i lf = _mm_set1_epi8('\n');
  for (; n >= 16; p += 16, n -= 16) {
    const int hits =
        _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(p)), lf));
    if (hits) return p + __builtin_ctz(static_cast<unsigned>(hits));
  }
#endif
  return static_cast<const char*>(std::memchr(p, '\n', n));
}

size_t read_line(line_reader* r, char* out, size_t size) {
  size_t n = 0;
  bool ended = false;
  while (size > 0 && n < size - 1 && !ended) {
    if (r->pos == r->end && !refill(r)) break;
    const size_t room = size - 1 - n;
    const size_t avail = r->end - r->pos;
    const char* from = r->buf + r->pos;
    size_t take = room < avail ? room : avail;
    if (const char* lf = find_lf(from, avail)) {
      // The line's end as the caller gets it: LF alone, for CR LF too. Cut
      // short, the piece holds only bytes before the CR.
      const size_t raw = static_cast<size_t>(lf - from) + 1;
      const bool cr = raw >= 2 && lf[-1] == '\r';
      if (raw - cr <= room) {
        std::memcpy(out + n, from, raw - 1 - cr);
        out[n + raw - 1 - cr] = '\n';
        n += raw - cr;
        r->pos += raw;
        ended = true;
        continue;
      }
    }
    std::memcpy(out + n, from, take);
    r->pos += take;
    n += take;
  }
  if (size > 0) out[n] = '\0';
  if (n > 0) {
    r->line_no = r->next_line_no;
    if (ended) r->next_line_no += 1;
  }
  return n;
}
