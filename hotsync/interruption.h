// What the user's interruption (SIGINT, SIGTERM or SIGHUP; on Windows Ctrl+C,
// Ctrl+Break or the console closed) must not leave behind: the files of a
// dry run's private copy of the user's data.
#pragma once

#include <string>
#include <vector>

// Between hold and release, an interruption waits, and comes after.
void interruptions_hold();
void interruptions_release();

// From now on an interruption removes each of paths in order (a file, else
// an empty folder), on the thread that calls this, the one that makes them,
// then ends the process as it would have ended; null: no more. Call while
// interruptions are held; paths must stay in place until the next call.
void remove_on_interruption(const std::vector<std::string>* paths);
