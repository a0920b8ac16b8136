// The terminal (on Windows the console) that hotsync writes to, where it has
// one.
#pragma once

#include <cstdio>

// Called first: output to a reader that has gone (hotsync | head) fails as a
// write rather than ending hotsync before it has recorded its HotSync, and
// the bytes go out as hotsync writes them, with no CR added on Windows.
void console_start();
// Whether stream is a terminal.
bool is_terminal(std::FILE* stream);
