#include "hotsync/console.h"

#include <unistd.h>

#include <csignal>

void console_start() {
  std::signal(SIGPIPE, SIG_IGN);
}

bool is_terminal(std::FILE* stream) {
  return isatty(fileno(stream));
}
