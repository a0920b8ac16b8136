// A buffered writer for text files whose lines end in CR LF on every platform:
// each line feed given to it reaches the file as CR LF.
//
// It fills one buffer while a thread of its own hands the other, full one to
// the file, so that formatting and the system's copying overlap.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"
#include "platform/thread.h"

constexpr size_t kCrlfBufferSize = size_t{1} << 22;  // large: a system call per megabyte

struct crlf_writer {
  os_file file;
  int error;   // the first failure of a write; once set, nothing more is written
  char* fill;  // the buffer being filled
  size_t used;
  // The other buffer, on its way to the file while busy.
  char* out;
  size_t out_used;
  int out_error;
  uint64_t written;  // bytes handed to the file so far
  bool busy;
  os_thread out_thread;
  char buffers[2][kCrlfBufferSize];
};

void crlf_start(crlf_writer* w, os_file file);
void crlf_put(crlf_writer* w, const char* s, size_t n);
void crlf_puts(crlf_writer* w, const char* s);
void crlf_put_u32(crlf_writer* w, uint32_t v);
void crlf_put_i32(crlf_writer* w, int32_t v);
// Room for n bytes at the end of the buffer, flushed first when needed: the
// caller writes there (line feeds as CR LF already) and commits what it wrote.
// Null when n bytes can never fit or a write has failed.
char* crlf_reserve(crlf_writer* w, size_t n);
void crlf_commit(crlf_writer* w, const char* end);
// Hands every buffered byte to the file and waits until it is there. Returns
// the first error of any write.
int crlf_flush(crlf_writer* w);
// Waits for a write in flight and drops what is still buffered: for giving up
// on the file. The writer must not be freed, nor its file closed, before
// crlf_flush or crlf_abandon.
void crlf_abandon(crlf_writer* w);
