#include "desktop/line_reader.h"

#include <cstring>

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

// Drops every CR that a LF follows in buf[0..n) and returns the new length. A
// CR in the last byte is held back unless the file has ended.
static size_t translate_crlf(line_reader* r, size_t n) {
  char* src = r->buf;
  char* dst = r->buf;
  char* const stop = r->buf + n;
  while (src < stop) {
    char* cr = static_cast<char*>(std::memchr(src, '\r', static_cast<size_t>(stop - src)));
    if (!cr) cr = stop;
    size_t run = static_cast<size_t>(cr - src);
    if (dst != src) std::memmove(dst, src, run);
    dst += run;
    src = cr;
    if (src == stop) break;
    if (src + 1 == stop && !r->eof) {
      r->held_cr = true;
      break;
    }
    if (src + 1 == stop || src[1] != '\n') *dst++ = '\r';
    ++src;
  }
  return static_cast<size_t>(dst - r->buf);
}

// Fills the buffer with the next translated bytes. False when there are none.
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
    r->end = translate_crlf(r, start + got);
  }
  return true;
}

size_t read_line(line_reader* r, char* out, size_t size) {
  size_t n = 0;
  bool ended = false;
  while (size > 0 && n < size - 1 && !ended) {
    if (r->pos == r->end && !refill(r)) break;
    size_t avail = r->end - r->pos;
    size_t take = size - 1 - n < avail ? size - 1 - n : avail;
    const char* from = r->buf + r->pos;
    const char* lf = static_cast<const char*>(std::memchr(from, '\n', take));
    if (lf) {
      take = static_cast<size_t>(lf - from) + 1;
      ended = true;
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
