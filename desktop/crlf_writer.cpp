#include "desktop/crlf_writer.h"

#include <cstring>

#include "desktop/decimal_format.h"

void crlf_start(crlf_writer* w, os_file file) {
  w->file = file;
  w->error = 0;
  w->fill = w->buffers[0];
  w->used = 0;
  w->out = w->buffers[1];
  w->out_used = 0;
  w->out_error = 0;
  w->written = 0;
  w->busy = false;
}

// On a disk, each buffer starts on its way there as soon as the system has
// it: the disk works while the next buffers are formatted, rather than all
// at once in the sync that ends the file.
static void write_out(void* arg) {
  crlf_writer* w = static_cast<crlf_writer*>(arg);
  w->out_error = file_write(w->file, w->out, w->out_used);
  if (w->out_error == 0) file_write_behind(w->file, w->written, w->out_used);
  w->written += w->out_used;
}

static void wait_for_write(crlf_writer* w) {
  if (!w->busy) return;
  thread_join(&w->out_thread);
  w->busy = false;
  if (w->error == 0) w->error = w->out_error;
}

// Sends the filled buffer on its way and gives the caller the other one, once
// its own write is done.
static void send_buffer(crlf_writer* w) {
  wait_for_write(w);
  if (w->error == 0 && w->used > 0) {
    char* full = w->fill;
    w->fill = w->out;
    w->out = full;
    w->out_used = w->used;
    if (thread_start(&w->out_thread, write_out, w) == 0) {
      w->busy = true;
    } else {
      write_out(w);  // no second thread to be had: write it in this one
      w->error = w->out_error;
    }
  }
  w->used = 0;
}

int crlf_flush(crlf_writer* w) {
  send_buffer(w);
  wait_for_write(w);
  return w->error;
}

void crlf_abandon(crlf_writer* w) {
  wait_for_write(w);
  w->used = 0;
}

// Copies raw bytes into the buffer, flushing whenever it fills.
static void put_raw(crlf_writer* w, const char* s, size_t n) {
  while (n > 0 && w->error == 0) {
    size_t room = kCrlfBufferSize - w->used;
    if (room == 0) {
      send_buffer(w);
      continue;
    }
    size_t take = n < room ? n : room;
    std::memcpy(w->fill + w->used, s, take);
    w->used += take;
    s += take;
    n -= take;
  }
}

char* crlf_reserve(crlf_writer* w, size_t n) {
  if (n > kCrlfBufferSize) return nullptr;
  if (kCrlfBufferSize - w->used < n) send_buffer(w);
  return w->error == 0 ? w->fill + w->used : nullptr;
}

void crlf_commit(crlf_writer* w, const char* end) {
  w->used = static_cast<size_t>(end - w->fill);
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
