// The Sync Manager: the HotSync Manager's library through which a conduit
// reaches the handheld. The conduit only calls it; the host that runs the
// conduit provides it. Results are 0 for success or one of the codes below.
#pragma once

#include <cstdint>

// Results of the Sync Manager's calls.
constexpr int32_t kSyncOk = 0;
constexpr int32_t kSyncRegistrationRefused = -1;  // only from sync_register_conduit
constexpr int32_t kSyncErrBadArgument = 0x4002;
constexpr int32_t kSyncErrNotFound = 0x4003;  // no such database, or no such record
constexpr int32_t kSyncErrDatabaseOpen = 0x4004;
constexpr int32_t kSyncErrTooManyOpen = 0x4005;
constexpr int32_t kSyncErrDamaged = 0x4006;  // the stored database cannot be read
constexpr int32_t kSyncErrBufferTooSmall = 0x4007;
constexpr int32_t kSyncErrIo = 0x4008;  // the handheld's storage failed
constexpr int32_t kSyncErrNoMemory = 0x4009;
constexpr int32_t kSyncErrExists = 0x400A;
constexpr int32_t kSyncErrNotOpen = 0x400B;

// Open modes, combined.
constexpr uint8_t kSyncOpenRead = 0x80;
constexpr uint8_t kSyncOpenWrite = 0x40;
constexpr uint8_t kSyncOpenExclusive = 0x20;
constexpr uint8_t kSyncOpenSecret = 0x10;

// The record descriptor of the record calls: field order and widths as the
// HotSync Manager lays them out, packed; numbers in host order. The buffer
// field is the buffer's address, as wide as an address on this host.
#pragma pack(push, 1)
struct sync_record_info {
  uint8_t db_handle;
  uint32_t record_id;     // 0 in a write: add a new record
  uint16_t record_index;  // the record to read
  uint8_t attributes;     // record attribute bits
  uint16_t category;      // record category (0 to 15)
  uint32_t unused;
  uint32_t m_RecSize;    // bytes to write; out: the size of the record read
  uint16_t buffer_size;  // room in buffer for a read
  uint8_t* buffer;
  uint32_t reserved;
};

// The request to create a database: 52 bytes, packed, host order.
struct sync_create_request {
  uint8_t db_handle;  // out: the new database, open
  uint32_t creator;
  uint32_t flags;
  uint8_t card_no;
  char name[32];  // NUL-terminated, NUL-padded
  uint32_t type;
  uint16_t version;
  uint32_t reserved;
};
#pragma pack(pop)
static_assert(sizeof(sync_create_request) == 52, "the creation request is 52 bytes");
static_assert(sizeof(sync_record_info) == 24 + sizeof(uint8_t*), "packed record descriptor");

// The user record that the HotSync Manager fills for the conduit.
constexpr int kSyncUserRecordSize = 160;
constexpr int kSyncUserIdOffset = 0;    // unsigned 32-bit, host order
constexpr int kSyncUserNameOffset = 8;  // NUL-padded
constexpr int kSyncUserNameSize = 64;
constexpr int kSyncUserLastSyncOffset = 136;  // unsigned 32-bit, host order

extern "C" {

// The HotSync Manager's own calls, reached by ordinal on Windows.
int32_t sync_register_conduit(uint32_t* handle);
int32_t sync_unregister_conduit(uint32_t handle);
int32_t sync_read_user_record(uint8_t* record /* kSyncUserRecordSize bytes */);

int32_t sync_open_db(const char* name, int32_t card_no, uint8_t* handle, uint8_t mode);
int32_t SyncGetDBRecordCount(uint8_t handle, uint16_t* count);
// Copies the record at info->record_index into info->buffer (at most
// info->buffer_size bytes) and sets info->m_RecSize.
int32_t SyncReadRecordByIndex(sync_record_info* info);
int32_t sync_delete_db(const char* name, int32_t card_no);
// Creates the database and opens it for writing; the handle goes into the
// request's first byte. A database of that name must not exist.
int32_t SyncCreateDB(sync_create_request* request);
// Adds a record of info->m_RecSize bytes from info->buffer after the records
// already in the database. The bytes are taken before the call returns.
int32_t sync_write_record(sync_record_info* info);
int32_t sync_close_db(uint8_t handle);
// Gives the HotSync Manager a turn.
int32_t SyncYieldCycles(uint16_t max_cycles);

// Between host order and the handheld's (big-endian): the result, as it lies
// in memory, holds the bytes in the other order.
uint16_t SyncHostToHHWord(uint16_t value);
uint32_t SyncHostToHHDWord(uint32_t value);
uint16_t SyncHHToHostWord(uint16_t value);
uint32_t SyncHHToHostDWord(uint32_t value);

}  // extern "C"
