// Reads a file line by line as a C runtime's text mode and fgets do: a CR that
// directly precedes a LF is dropped (also across read boundaries), a line
// longer than the caller's buffer comes in pieces, and the end-of-file
// indicator is set only when a read runs into the end of the file.
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/file.h"

struct line_reader {
  os_file file;
  int error;         // the system error of a failed read; sticky
  bool eof;          // a read ran into the end of the file; sticky
  bool held_cr;      // a CR ended the last chunk; its meaning depends on the next byte
  uint32_t line_no;  // the line the last piece belongs to, counted from 1
  uint32_t next_line_no;
  size_t pos;
  size_t end;
  char buf[1 << 16];
};

void line_reader_start(line_reader* r, os_file file);

// Reads the next piece of at most size-1 bytes into out, up to and including a
// line feed, and terminates it. Returns its length; 0 when nothing could be
// read (end of file, or a read error in r->error).
size_t read_line(line_reader* r, char* out, size_t size);
