// Who answers the conduit's action dialog while configure asks: a script, or
// the user where this system shows the dialog (on POSIX a view of it in the
// terminal, on Windows the dialog itself).
#pragma once

#include <string>
#include <vector>

// From now on the dialog the conduit shows is answered by clicking the
// controls of clicks (the conduit's control ids) in turn or, when clicks is
// empty, by the user. False with *why when the user cannot be asked here.
bool dialog_answering_start(const std::vector<int>& clicks, std::string* why);
// Ends the answering: the terminal is the user's again. False when the
// dialog was never shown (no desktop to show it on).
bool dialog_answering_stop();
