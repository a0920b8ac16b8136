// Reading and writing a whole data set as a file the user names.
#pragma once

#include <string>

#include "model/element_db.h"
#include "model/element_sink.h"

// Reads path into db (constructed and empty). On failure returns false and
// sets *why to a one-line message that names the file (and line, if known).
// With a sink, the elements go there one by one as they are read, and db
// gets the rest (see load_db_from_pc, load_db_from_hh). *no_memory (when
// given) says whether the reading failed for want of memory rather than for
// the file.
bool read_data_set(const std::string& path, element_db* db, std::string* why,
                   const element_sink* sink = nullptr, bool* no_memory = nullptr);
// Whether path names a file in the handheld's format (.pdb) rather than
// elements.xml.
bool names_pdb(const std::string& path);

// Writes db to path through path + ".tmp". Same failure contract; refuses a
// path that holds something other than a regular file or a symbolic link, and
// leaves no temporary behind when it fails.
bool write_data_set(const std::string& path, element_db* db, std::string* why);
// Whether elements.xml holds every text of db as it is: none too long for its
// reader, none holding an end of its markup (</Q>, </A>, ]]>).
bool xml_holds_whole(const element_db& db);
