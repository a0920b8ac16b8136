#include "handheld/sync_error_text.h"

#include "platform/sync_manager.h"

const char* sync_error_text(int32_t code) {
  switch (code) {
    case kSyncOk:
      return "no error";
    case kSyncErrBadArgument:
      return "the Sync Manager refused the request";
    case kSyncErrNotFound:
      return "the database or record does not exist";
    case kSyncErrDatabaseOpen:
      return "the database is open elsewhere";
    case kSyncErrTooManyOpen:
      return "too many databases are open";
    case kSyncErrDamaged:
      return "the stored database is damaged";
    case kSyncErrBufferTooSmall:
      return "a record is larger than the room for it";
    case kSyncErrIo:
      return "the handheld's storage failed (it may be full)";
    case kSyncErrNoMemory:
      return "there was not enough memory";
    case kSyncErrExists:
      return "a database of that name already exists";
    case kSyncErrNotOpen:
      return "the database is not open";
    default:
      return "the Sync Manager reported an error";
  }
}
