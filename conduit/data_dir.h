// Where the desktop data lives: the registry value pathtodatadir, and the
// paths of elements.xml and its temporary file built from it.
#pragma once

#include "conduit/conduit_api.h"

constexpr int kPathBufferSize = 512;
// Room left for the 12-character file name and its terminator.
constexpr int kMaxDataDirLength = kPathBufferSize - 13;
static_assert(kPathBufferSize == kConduitDataDirValueRoom &&
                  kMaxDataDirLength == kConduitDataDirMaxLength,
              "the API says how long");

enum data_dir_status { kDataDirOk = 0, kDataDirNotSet, kDataDirTooLong };

// A new heap buffer of kPathBufferSize bytes holding the directory, always
// ending in its separator (added when the value lacks it), or null when the
// key or value cannot be read or the value is empty; *status, when given,
// says which.
char* get_data_dir(int* status = nullptr);
// New heap strings: the directory with "elements.xml" or "elements.tmp"
// appended. Null when there is no directory, or it leaves no room for the
// name (kDataDirTooLong). Released by the caller with free.
char* get_xml_path(int* status = nullptr);
char* get_tmp_path(int* status = nullptr);
