#include "desktop/crlf_writer.h"

#include <cstring>

void crlf_start(crlf_writer* w, os_file file) {
  w->file = file;
  w->error = 0;
  w->used = 0;
}

int crlf_flush(crlf_writer* w) {
  if (w->error == 0 && w->used > 0) w->error = file_write(w->file, w->buf, w->used);
  w->used = 0;
  return w->error;
}

// Copies raw bytes into the buffer, flushing whenever it fills.
static void put_raw(crlf_writer* w, const char* s, size_t n) {
  while (n > 0 && w->error == 0) {
    size_t room = sizeof w->buf - w->used;
    if (room == 0) {
      crlf_flush(w);
      continue;
    }
    size_t take = n < room ? n : room;
    std::memcpy(w->buf + w->used, s, take);
    w->used += take;
    s += take;
    n -= take;
  }
}

char* crlf_reserve(crlf_writer* w, size_t n) {
  if (n > sizeof w->buf) return nullptr;
  if (sizeof w->buf - w->used < n) crlf_flush(w);
  return w->error == 0 ? w->buf + w->used : nullptr;
}

void crlf_commit(crlf_writer* w, const char* end) {
  w->used = static_cast<size_t>(end - w->buf);
}

void crlf_put(crlf_writer* w, const char* s, size_t n) {
  while (n > 0) {
    const char* lf = static_cast<const char*>(std::memchr(s, '\n', n));
    if (!lf) {
      put_raw(w, s, n);
      return;
    }
    size_t before = static_cast<size_t>(lf - s);
    put_raw(w, s, before);
    put_raw(w, "\r\n", 2);
    s += before + 1;
    n -= before + 1;
  }
}

void crlf_puts(crlf_writer* w, const char* s) {
  crlf_put(w, s, std::strlen(s));
}

// Two digits at a time: half the divisions, which dominate a file of numbers.
static const char kDigitPairs[] =
    "00010203040506070809101112131415161718192021222324252627282930313233343536373839"
    "40414243444546474849505152535455565758596061626364656667686970717273747576777879"
    "8081828384858687888990919293949596979899";

char* format_u32(char* out, uint32_t v) {
  char digits[10];
  char* p = digits + sizeof digits;
  while (v >= 100) {
    const uint32_t pair = v % 100;
    v /= 100;
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * pair, 2);
  }
  if (v >= 10) {
    p -= 2;
    std::memcpy(p, kDigitPairs + 2 * v, 2);
  } else {
    *--p = static_cast<char>('0' + v);
  }
  const size_t n = static_cast<size_t>(digits + sizeof digits - p);
  std::memcpy(out, p, n);
  return out + n;
}

void crlf_put_u32(crlf_writer* w, uint32_t v) {
  char digits[10];
  put_raw(w, digits, static_cast<size_t>(format_u32(digits, v) - digits));
}

void crlf_put_i32(crlf_writer* w, int32_t v) {
  if (v < 0) {
    put_raw(w, "-", 1);
    crlf_put_u32(w, 0u - static_cast<uint32_t>(v));
  } else {
    crlf_put_u32(w, static_cast<uint32_t>(v));
  }
}
