// The HotSync Manager's questions to the conduit outside a HotSync: what it
// is, and which action the user wants for the next HotSync.
#pragma once

#include <string>

#include "hotsync/hotsync_session.h"

// Prints the conduit's name, version and conduit record. 0, or -1 with *why.
int run_info(const session_options& options, std::string* why);

struct configure_options {
  std::string action;  // non-empty: choose this action without the terminal
  bool make_default = false;
  bool legacy = false;  // through ConfigureConduit instead of CfgConduit
};

// Shows the action dialog (in the terminal, or answered for --action) and
// keeps what the user chose. 0 (also on Cancel), or -1 with *why.
int run_configure(const session_options& options, const configure_options& configure,
                  std::string* why);
