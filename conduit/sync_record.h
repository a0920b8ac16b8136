// The conduit's own record of the last HotSync it carried through, per
// handheld user, kept in the data directory beside elements.xml. The merge
// trusts no later time than this one to tell new elements from deleted ones,
// whatever the HotSync Manager recorded for a HotSync that failed half-way.
#pragma once

#include <cstdint>

#include "conduit/conduit_api.h"

// The file in the data directory is kConduitSyncRecordFile, replaced
// through kConduitSyncRecordTmpFile.

// The handheld user a record belongs to, as the Sync Manager gives it.
struct sync_record_user {
  uint32_t id;
  char name[65];
};

// The user's time of the last complete HotSync from the record in data_dir
// (which ends in a separator). 1 with *time set, or 0 when there is none.
int read_last_complete_sync(const char* data_dir, const sync_record_user& user, uint32_t* time);
// Sets the user's time in the record, replacing the file whole. 0, or the
// system's error number.
int write_last_complete_sync(const char* data_dir, const sync_record_user& user, uint32_t time);
