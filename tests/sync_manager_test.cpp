// Our Sync Manager and its .pdb files: the handheld as a folder.
#include "platform/sync_manager.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "hotsync/services/handheld_user.h"
#include "hotsync/services/pdb_file.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file_faults.h"
#include "tests/hh_test_support.h"

namespace {

class SyncManager : public HandheldTest {
 protected:
  uint8_t create(const char* name) {
    sync_create_request request;
    std::memset(&request, 0, sizeof request);
    std::strcpy(request.name, name);
    request.type = 0x44415441;
    request.creator = 0x11223344;
    EXPECT_EQ(SyncCreateDB(&request), kSyncOk);
    return request.db_handle;
  }
  int32_t write(uint8_t handle, const bytes& b, uint8_t category = 0) {
    sync_record_info info;
    std::memset(&info, 0, sizeof info);
    info.db_handle = handle;
    info.m_RecSize = static_cast<uint32_t>(b.size());
    info.category = category;
    info.buffer = const_cast<uint8_t*>(b.data());
    return sync_write_record(&info);
  }
};

TEST_F(SyncManager, CreatedDatabaseReachesTheDiskOnlyAtClose) {
  uint8_t h = create("Memo");
  ASSERT_EQ(write(h, {1, 2, 3}, 5), kSyncOk);
  ASSERT_EQ(write(h, {}), kSyncOk);
  EXPECT_FALSE(exists(dir.file("Memo.pdb")));
  ASSERT_EQ(sync_close_db(h), kSyncOk);
  EXPECT_FALSE(exists(dir.file("Memo.pdb.tmp")));
  EXPECT_FALSE(exists(dir.file("Memo.pdb.records")));  // the spool of its records
  pdb_database db;
  std::string why;
  ASSERT_EQ(read_pdb_file(dir.file("Memo.pdb"), &db, &why), kPdbFileOk) << why;
  EXPECT_EQ(db.creator, 0x11223344u);
  ASSERT_EQ(db.records.size(), 2u);
  const uint8_t* stored = pdb_record_data(db, db.records[0]);
  EXPECT_EQ(bytes(stored, stored + pdb_record_size(db.records[0])), bytes({1, 2, 3}));
  EXPECT_EQ(db.records[0].attributes, 5);
  EXPECT_NE(db.records[0].unique_id, db.records[1].unique_id);
  EXPECT_GT(db.created, kPalmEpochOffset);
}

TEST_F(SyncManager, RecordsAreReadByIndexIntoTheCallersBuffer) {
  uint8_t h = create("Memo");
  write(h, {9, 8, 7, 6});
  sync_close_db(h);
  ASSERT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncOk);
  uint16_t count = 0;
  ASSERT_EQ(SyncGetDBRecordCount(h, &count), kSyncOk);
  EXPECT_EQ(count, 1);
  uint8_t buffer[4];
  sync_record_info info;
  std::memset(&info, 0, sizeof info);
  info.db_handle = h;
  info.buffer = buffer;
  info.buffer_size = 3;
  EXPECT_EQ(SyncReadRecordByIndex(&info), kSyncErrBufferTooSmall);
  info.buffer_size = 4;
  ASSERT_EQ(SyncReadRecordByIndex(&info), kSyncOk);
  const uint32_t size = info.m_RecSize;  // packed: no reference to it
  EXPECT_EQ(size, 4u);
  EXPECT_EQ(bytes(buffer, buffer + 4), bytes({9, 8, 7, 6}));
  info.record_index = 1;
  EXPECT_EQ(SyncReadRecordByIndex(&info), kSyncErrNotFound);
  EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrDatabaseOpen);
  EXPECT_EQ(sync_close_db(h), kSyncOk);
}

// Records stay in the file until asked for: replacing one of an opened
// database writes the others back as they were, and a file cut short under
// an open database is a damaged database, not a crash.
TEST_F(SyncManager, RecordsOfAnOpenedDatabaseAreReadFromItsFile) {
  uint8_t h = create("Memo");
  write(h, {1, 1});
  write(h, {2, 2, 2});
  write(h, {3});
  sync_close_db(h);
  ASSERT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncOk);
  sync_record_info info;
  std::memset(&info, 0, sizeof info);
  uint8_t buffer[8];
  info.db_handle = h;
  info.buffer = buffer;
  info.buffer_size = sizeof buffer;
  info.record_index = 1;
  ASSERT_EQ(SyncReadRecordByIndex(&info), kSyncOk);
  const uint32_t second_id = info.record_id;
  EXPECT_EQ(bytes(buffer, buffer + 3), bytes({2, 2, 2}));
  const bytes replacement{7, 7, 7, 7};
  info.record_id = second_id;
  info.m_RecSize = 4;
  info.buffer = const_cast<uint8_t*>(replacement.data());
  ASSERT_EQ(sync_write_record(&info), kSyncOk);
  ASSERT_EQ(sync_close_db(h), kSyncOk);
  pdb_database db;
  std::string why;
  ASSERT_EQ(read_pdb_file(dir.file("Memo.pdb"), &db, &why), kPdbFileOk) << why;
  ASSERT_EQ(db.records.size(), 3u);
  std::vector<bytes> stored;
  for (const pdb_record& r : db.records)
    stored.emplace_back(pdb_record_data(db, r), pdb_record_data(db, r) + pdb_record_size(r));
  EXPECT_EQ(stored, (std::vector<bytes>{{1, 1}, {7, 7, 7, 7}, {3}}));

  ASSERT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncOk);
  const std::string whole = read_file(dir.file("Memo.pdb"));
  write_file(dir.file("Memo.pdb"), whole.substr(0, whole.size() - 2));
  info.buffer = buffer;
  info.record_index = 2;
  EXPECT_EQ(SyncReadRecordByIndex(&info), kSyncErrDamaged);
  info.record_index = 0;
  EXPECT_EQ(SyncReadRecordByIndex(&info), kSyncOk);
  EXPECT_EQ(sync_close_db(h), kSyncOk);
}

// How a replacement of a deleted database ends, and what the folder holds
// then: the new database only when it was closed complete, else the old file
// byte for byte, and never a temporary.
struct replacement_case {
  const char* what;
  bool create;    // a database of the name is created and written
  void (*arm)();  // a fault armed after the creation
  int32_t write;  // the result of writing its record
  bool abandon;   // deleted while still open for its creation
  int32_t close;  // the result of its close
  bool replaced;  // the folder holds the new database
  void (*end_hotsync)();
};

void no_fault() {}
void unregister() {
  sync_unregister_conduit(1);
}

TEST_F(SyncManager, DeletedDatabaseStaysUntilAReplacementIsClosedComplete) {
  const replacement_case cases[] = {
      {"complete", true, no_fault, kSyncOk, false, kSyncOk, true, unregister},
      {"none, HotSync ends", false, no_fault, kSyncOk, false, kSyncOk, false, unregister},
      {"none, reset", false, no_fault, kSyncOk, false, kSyncOk, false, sync_manager_reset},
      // A small database's records wait in memory and are written once, at
      // the close; a large one's spool is filled a block at a time.
      {"first write fails", true, [] { file_fault_arm(file_op::write, 1, ENOSPC); }, kSyncOk, false,
       kSyncErrIo, false, unregister},
      {"write call fails", true, [] { sync_fault_arm(sync_call::write_record, 1, kSyncErrIo); },
       kSyncErrIo, false, kSyncErrIo, false, sync_manager_reset},
      {"temporary write fails", true, [] { file_fault_arm(file_op::write, 2, ENOSPC); }, kSyncOk,
       false, kSyncErrIo, false, unregister},
      {"temporary sync fails", true, [] { file_fault_arm(file_op::sync, 1, EIO); }, kSyncOk, false,
       kSyncErrIo, false, unregister},
      {"rename fails", true, [] { file_fault_arm(file_op::replace, 1, EIO); }, kSyncOk, false,
       kSyncErrIo, false, unregister},
      {"abandoned", true, no_fault, kSyncOk, true, kSyncOk, false, unregister},
  };
  const char* name = "QVelements";
  for (const replacement_case& c : cases) {
    SCOPED_TRACE(c.what);
    sync_manager_reset();  // each case a HotSync of its own
    store_records({{1, 1}});
    const std::string old = read_file(pdb_path());

    EXPECT_EQ(sync_delete_db(name, 0), kSyncOk);
    EXPECT_EQ(read_file(pdb_path()), old);
    uint8_t h;
    EXPECT_EQ(sync_open_db(name, 0, &h, 0xF0), kSyncErrNotFound);
    EXPECT_EQ(sync_delete_db(name, 0), kSyncErrNotFound);
    if (c.create) {
      h = create(name);
      c.arm();
      EXPECT_EQ(write(h, {2, 2, 2}), c.write);
      if (c.abandon) {
        EXPECT_EQ(sync_delete_db(name, 0), kSyncOk);
        EXPECT_EQ(write(h, {3}), kSyncErrNotFound);
      }
      EXPECT_EQ(sync_close_db(h), c.close);
      file_fault_reset();
      EXPECT_FALSE(exists(pdb_path() + ".tmp"));
      EXPECT_FALSE(exists(pdb_path() + ".records"));
    }
    const std::string after = c.replaced ? read_file(pdb_path()) : old;
    if (c.replaced) {
      EXPECT_EQ(stored_records(), (std::vector<bytes>{{2, 2, 2}}));
      EXPECT_EQ(sync_delete_db(name, 0), kSyncOk);  // held again, the new file kept
    }
    EXPECT_EQ(sync_open_db(name, 0, &h, 0xF0), kSyncErrNotFound);
    c.end_hotsync();
    EXPECT_EQ(read_file(pdb_path()), after);
    EXPECT_EQ(sync_open_db(name, 0, &h, 0xF0), kSyncOk);
    EXPECT_EQ(sync_delete_db(name, 0), kSyncErrDatabaseOpen);  // opened, not created
    EXPECT_EQ(sync_close_db(h), kSyncOk);
  }
}

// A database larger than what is gathered in memory goes to its spool, which
// is completed in place as the file itself, or copied when a record was
// replaced after it was spooled. A failure at any write of the close leaves
// the old database and no temporary.
TEST_F(SyncManager, LargeDatabaseIsWrittenWholeThroughItsSpool) {
  std::vector<bytes> records;
  for (int i = 0; i < 40; ++i)
    records.push_back(bytes(60000 + i, static_cast<uint8_t>(i)));
  const char* name = "QVelements";
  for (bool replace_first : {false, true}) {
    std::vector<bytes> expected = records;
    if (replace_first) expected[0] = {7, 7};
    for (int failing = 1;; ++failing) {
      SCOPED_TRACE(std::string(replace_first ? "replaced, " : "in place, ") + "write " +
                   std::to_string(failing));
      sync_manager_reset();
      store_records({{1, 1}});
      const std::string old = read_file(pdb_path());
      ASSERT_EQ(sync_delete_db(name, 0), kSyncOk);
      const uint8_t h = create(name);
      for (const bytes& r : records)
        ASSERT_EQ(write(h, r), kSyncOk);
      if (replace_first) {
        sync_record_info info;
        std::memset(&info, 0, sizeof info);
        info.db_handle = h;
        info.record_id = 1;
        info.m_RecSize = 2;
        info.buffer = expected[0].data();
        ASSERT_EQ(sync_write_record(&info), kSyncOk);
      }
      file_fault_reset();
      file_fault_arm(file_op::write, failing, ENOSPC);
      const int32_t closed = sync_close_db(h);
      const bool fired = file_fault_calls(file_op::write) >= failing;
      file_fault_reset();
      EXPECT_FALSE(exists(pdb_path() + ".tmp"));
      EXPECT_FALSE(exists(pdb_path() + ".records"));
      sync_unregister_conduit(1);
      if (closed != kSyncOk) {
        EXPECT_EQ(closed, kSyncErrIo);
        EXPECT_TRUE(read_file(pdb_path()) == old);
        continue;
      }
      EXPECT_TRUE(stored_records() == expected);
      pdb_database db;
      std::string why;
      ASSERT_EQ(read_pdb_file(pdb_path(), &db, &why), kPdbFileOk) << why;
      const bytes image = serialize_pdb(db);
      EXPECT_TRUE(read_file(pdb_path()) == std::string(image.begin(), image.end()));
      if (!fired) break;
    }
  }
}

// A spool is renamed over the database only while its name still names the
// file written; once it is, a temporary a stopped HotSync left goes too.
TEST_F(SyncManager, SpoolIsCompletedOnlyWhileItIsOurs) {
  const std::vector<bytes> records(40, bytes(60000, 5));
  for (bool swapped : {false, true}) {
    SCOPED_TRACE(swapped ? "swapped" : "ours");
    sync_manager_reset();
    store_records({{1, 1}});
    const std::string old = read_file(pdb_path()), spool = pdb_path() + ".records";
    write_file(pdb_path() + ".tmp", "stale");
    ASSERT_EQ(sync_delete_db("QVelements", 0), kSyncOk);
    const uint8_t h = create("QVelements");
    for (const bytes& r : records)
      ASSERT_EQ(write(h, r), kSyncOk);
    if (swapped) {
      ASSERT_EQ(std::rename(spool.c_str(), (spool + ".moved").c_str()), 0);
      ASSERT_EQ(symlink((spool + ".moved").c_str(), spool.c_str()), 0);
    }
    EXPECT_EQ(sync_close_db(h), swapped ? kSyncErrIo : kSyncOk);
    sync_unregister_conduit(1);
    EXPECT_EQ(exists(pdb_path() + ".tmp"), swapped);
    if (swapped) {
      EXPECT_TRUE(read_file(pdb_path()) == old);
    } else {
      EXPECT_TRUE(stored_records() == records);
    }
  }
}

// A database of more records than its header can count is not written: with
// the count cut short, the next HotSync would take the rest for deleted.
TEST_F(SyncManager, DatabaseOfTooManyRecordsIsNotWritten) {
  store_records({{1, 1}});
  const std::string old = read_file(pdb_path());
  ASSERT_EQ(sync_delete_db("QVelements", 0), kSyncOk);
  const uint8_t h = create("QVelements");
  for (size_t i = 0; i <= kPdbMaxRecords; ++i)
    ASSERT_EQ(write(h, {7}), kSyncOk);
  EXPECT_EQ(sync_close_db(h), kSyncErrIo);
  EXPECT_NE(sync_manager_last_problem().find("65,535 records"), std::string::npos);
  sync_unregister_conduit(1);
  EXPECT_TRUE(read_file(pdb_path()) == old);
}

TEST_F(SyncManager, CreateRefusesAnExistingDatabase) {
  sync_close_db(create("Memo"));
  sync_create_request request;
  std::memset(&request, 0, sizeof request);
  std::strcpy(request.name, "Memo");
  EXPECT_EQ(SyncCreateDB(&request), kSyncErrExists);
}

TEST_F(SyncManager, NamesThatAreNotPlainFileNamesAreRefused) {
  uint8_t h;
  for (const char* name : {"", "../escape", "a/b", "..", "back\\slash"}) {
    EXPECT_EQ(sync_open_db(name, 0, &h, 0xF0), kSyncErrBadArgument) << name;
    EXPECT_EQ(sync_delete_db(name, 0), kSyncErrBadArgument) << name;
  }
  EXPECT_EQ(sync_open_db(std::string(32, 'n').c_str(), 0, &h, 0xF0), kSyncErrBadArgument);
}

TEST_F(SyncManager, DamagedFileIsReportedNotRead) {
  write_file(dir.file("Memo.pdb"), "too short");
  uint8_t h;
  EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrDamaged);
  EXPECT_NE(sync_manager_last_problem().find("shorter than a database header"), std::string::npos);
}

// Something there that cannot be read is never an absent database: the
// conduit would copy the other side over it. A FIFO is refused, not waited on.
TEST_F(SyncManager, FileThatIsNotARegularFileIsDamagedNotMissing) {
  ASSERT_EQ(mkfifo(dir.file("Fifo.pdb").c_str(), 0600), 0);
  ASSERT_EQ(mkdir(dir.file("Folder.pdb").c_str(), 0700), 0);
  sync_manager_map_database("Device", "/dev/null");
  for (const char* name : {"Fifo", "Folder", "Device"}) {
    uint8_t h;
    EXPECT_EQ(sync_open_db(name, 0, &h, 0xF0), kSyncErrDamaged) << name;
    EXPECT_NE(sync_manager_last_problem().find("not a regular file"), std::string::npos)
        << sync_manager_last_problem();
  }
}

// A link left where a temporary goes is replaced, never written through.
TEST_F(SyncManager, TemporariesAreNeverWrittenThroughALink) {
  write_file(dir.file("victim"), "keep");
  for (const char* temporary : {"Memo.pdb.records", "Memo.pdb.tmp"}) {
    ASSERT_EQ(symlink(dir.file("victim").c_str(), dir.file(temporary).c_str()), 0);
  }
  uint8_t h = create("Memo");
  ASSERT_EQ(write(h, {1, 2}), kSyncOk);
  ASSERT_EQ(sync_close_db(h), kSyncOk);
  EXPECT_EQ(read_file(dir.file("victim")), "keep");
  EXPECT_FALSE(exists(dir.file("Memo.pdb.records")));
  EXPECT_FALSE(exists(dir.file("Memo.pdb.tmp")));
  ASSERT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncOk);
  EXPECT_EQ(sync_close_db(h), kSyncOk);
}

TEST_F(SyncManager, MappedDatabaseIsServedFromTheNamedFile) {
  sync_manager_map_database("QVelements", dir.file("mine.pdb"));
  sync_close_db(create("QVelements"));
  EXPECT_TRUE(exists(dir.file("mine.pdb")));
  EXPECT_FALSE(exists(pdb_path()));
}

TEST_F(SyncManager, NthCallOfAnyKindFails) {
  sync_fault_arm(sync_call::any, 2, kSyncErrIo);
  uint32_t reg;
  EXPECT_EQ(sync_register_conduit(&reg), kSyncOk);
  uint8_t h;
  EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrIo);
  EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrNotFound);
  sync_fault_arm(sync_call::register_conduit, 1, kSyncRegistrationRefused);
  EXPECT_EQ(sync_register_conduit(&reg), kSyncRegistrationRefused);
}

// The host's hold at a conduit's first database call: the hook's own calls
// are served and not counted; a refusal fails that call and every later one.
TEST_F(SyncManager, FirstDatabaseCallWaitsForTheHookAndItsRefusal) {
  sync_close_db(create("Memo"));
  struct seen {
    int calls = 0;
    int32_t own_open = -1;
    bool go_on = false;
  };
  for (const bool go_on : {true, false}) {
    sync_manager_reset();
    sync_manager_use_folder(dir.path());
    seen s;
    s.go_on = go_on;
    sync_manager_before_first_database_call(
        [](void* arg) {
          seen* s = static_cast<seen*>(arg);
          ++s->calls;
          uint8_t h;
          s->own_open = sync_open_db("Memo", 0, &h, 0xF0);
          if (s->own_open == kSyncOk) sync_close_db(h);
          return s->go_on;
        },
        &s);
    uint8_t h;
    EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), go_on ? kSyncOk : kSyncErrIo);
    if (go_on) sync_close_db(h);
    EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), go_on ? kSyncOk : kSyncErrIo);
    if (go_on) sync_close_db(h);
    EXPECT_EQ(s.calls, 1);
    EXPECT_EQ(s.own_open, kSyncOk);
    EXPECT_EQ(sync_call_count(sync_call::open_db),
              go_on ? 2 : 0);  // neither the hook's nor refused
  }
}

// A thread's own state: the shared one's folder and faults do not reach it.
TEST_F(SyncManager, OwnStateServesItsThreadApart) {
  sync_close_db(create("Memo"));
  sync_fault_arm(sync_call::open_db, 1, kSyncErrIo);
  uint8_t h;
  {
    const sync_manager_own_state own;
    EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrNotFound);  // no folder of its own
    sync_manager_map_database("Memo", dir.file("Memo.pdb"));
    EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncOk);
  }
  EXPECT_EQ(sync_open_db("Memo", 0, &h, 0xF0), kSyncErrIo);  // the fault was left for this state
}

TEST_F(SyncManager, ByteOrderConversionsGiveBigEndianBytes) {
  uint16_t w = SyncHostToHHWord(0x1234);
  uint32_t d = SyncHostToHHDWord(0x12345678);
  EXPECT_EQ(std::memcmp(&w, "\x12\x34", 2), 0);
  EXPECT_EQ(std::memcmp(&d, "\x12\x34\x56\x78", 4), 0);
  EXPECT_EQ(SyncHHToHostWord(w), 0x1234);
  EXPECT_EQ(SyncHHToHostDWord(d), 0x12345678u);
}

TEST_F(SyncManager, UserRecordCarriesTheLastSyncTimeAtOffset136) {
  handheld_user user;
  user.name = "Ada";
  user.last_sync = 1700000000;
  std::string why;
  ASSERT_TRUE(write_handheld_user(dir.path(), user, &why)) << why;
  uint8_t record[kSyncUserRecordSize];
  ASSERT_EQ(sync_read_user_record(record), kSyncOk);
  uint32_t last;
  std::memcpy(&last, record + kSyncUserLastSyncOffset, 4);
  EXPECT_EQ(last, 1700000000u);
  EXPECT_STREQ(reinterpret_cast<char*>(record + 8), "Ada");
}

TEST_F(SyncManager, NewHandheldHasNeverSynchronised) {
  uint8_t record[kSyncUserRecordSize];
  ASSERT_EQ(sync_read_user_record(record), kSyncOk);
  uint32_t last;
  std::memcpy(&last, record + kSyncUserLastSyncOffset, 4);
  EXPECT_EQ(last, 0u);
}

TEST_F(SyncManager, UserFileWithABadNumberIsAnError) {
  write_file(dir.file("user.conf"), "name=x\nlast_sync=soon\n");
  uint8_t record[kSyncUserRecordSize];
  EXPECT_EQ(sync_read_user_record(record), kSyncErrIo);
  EXPECT_NE(sync_manager_last_problem().find("line 2"), std::string::npos);
}

TEST(PdbFile, SerializedDatabaseParsesBackWithItsBlocks) {
  pdb_database db;
  db.name = "Some DB";
  db.attributes = 0x0008;
  db.version = 3;
  db.created = 1;
  db.modified = 2;
  db.backed_up = 3;
  db.mod_number = 4;
  db.type = 5;
  db.creator = 6;
  db.unique_id_seed = 7;
  db.app_info = {1, 2, 3};
  db.sort_info = {4};
  db.records = {pdb_record{0x40, 0x123456, {1}}, pdb_record{0x0F, 2, {}}, pdb_record{0, 3, {9, 9}}};
  bytes file = serialize_pdb(db);
  EXPECT_EQ(file.size(), 78u + 3 * 8 + 2 + 3 + 1 + 3);
  pdb_database back;
  std::string why;
  ASSERT_TRUE(parse_pdb(file.data(), file.size(), &back, &why)) << why;
  EXPECT_EQ(serialize_pdb(back), file);
  EXPECT_EQ(back.records[0].unique_id, 0x123456u);
  EXPECT_EQ(back.app_info, bytes({1, 2, 3}));
  EXPECT_EQ(back.sort_info, bytes({4}));
}

TEST(PdbFile, MalformedFilesAreRejectedWithAReason) {
  pdb_database db;
  db.name = "x";
  db.records = {pdb_record{0, 1, {1, 2, 3}}, pdb_record{0, 2, {4}}};
  const bytes good = serialize_pdb(db);
  auto rejects = [](bytes file, const std::string& reason) {
    pdb_database out;
    std::string why;
    EXPECT_FALSE(parse_pdb(file.data(), file.size(), &out, &why)) << reason;
    EXPECT_NE(why.find(reason), std::string::npos) << why;
  };
  rejects(bytes(good.begin(), good.begin() + 77), "shorter than a database header");
  bytes resource = good;
  resource[33] |= 0x01;
  rejects(resource, "resource database");
  bytes many = good;
  many[77] = 200;
  rejects(many, "runs past the end");
  bytes backwards = good;
  backwards[78 + 8 + 3] = 0;  // record 1 before record 0
  rejects(backwards, "out of order");
  bytes outside = good;
  outside[78 + 8 + 1] = 0x7F;
  rejects(outside, "outside the file");
  bytes unnamed = good;
  std::memset(unnamed.data(), 'n', 32);
  rejects(unnamed, "not terminated");
}

}  // namespace
