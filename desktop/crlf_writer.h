// A buffered writer for text files whose lines end in CR LF on every platform:
// each line feed given to it reaches the file as CR LF.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

struct crlf_writer {
  os_file file;
  int error;  // the first failure of a write; once set, nothing more is written
  size_t used;
  char buf[1 << 20];  // large: a system call per megabyte
};

void crlf_start(crlf_writer* w, os_file file);
void crlf_put(crlf_writer* w, const char* s, size_t n);
void crlf_puts(crlf_writer* w, const char* s);
void crlf_put_u32(crlf_writer* w, uint32_t v);
// Writes v in decimal at out (at most 10 bytes) and returns the end.
char* format_u32(char* out, uint32_t v);
void crlf_put_i32(crlf_writer* w, int32_t v);
// Room for n bytes at the end of the buffer, flushed first when needed: the
// caller writes there (line feeds as CR LF already) and commits what it wrote.
// Null when n bytes can never fit or a write has failed.
char* crlf_reserve(crlf_writer* w, size_t n);
void crlf_commit(crlf_writer* w, const char* end);
// Hands the buffered bytes to the file. Returns the first error of any write.
int crlf_flush(crlf_writer* w);
