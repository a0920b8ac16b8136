// Every Sync Manager call and every file operation made to fail in turn, during
// loads, saves and whole HotSyncs: no crash, no leak, the expected result,
// and each side either its complete old or its complete new self.
#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "conduit/conduit_api.h"
#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file.h"
#include "platform/file_faults.h"
#include "platform/file_replacement.h"
#include "platform/sync_manager.h"
#include "tests/conduit_test_support.h"

namespace {

std::string data_set(int first_id, int count, int rp) {
  std::string body = "<category name=\"c\" bgcolor=\"4294967295\"/>\n";
  for (int i = 0; i < count; ++i) {
    body +=
        xml_item(static_cast<uint32_t>(first_id + i), i % 50, "c",
                 "question " + std::to_string(first_id + i) + std::string(200, 'q'), "answer", rp);
  }
  return xml_file(1, body);
}

// The ids of a data set in ascending order: what it holds, whatever its order.
std::string id_set(const element_db* db) {
  std::vector<uint32_t> ids;
  for (const element* e = db->head; e; e = e->next)
    ids.push_back(e->id);
  std::sort(ids.begin(), ids.end());
  std::string out;
  for (uint32_t id : ids)
    out += std::to_string(id) + " ";
  return out;
}

class FaultInjection : public ConduitTest {
 protected:
  // The states each side may be in after a fault: the old data set, the new
  // one, or (handheld only, between its delete and its re-creation) none.
  std::string desktop_state() {
    if (!exists(xml_path())) return "absent";
    test_db db;
    return read_desktop(db.get()) ? id_set(db.get()) : "unreadable";
  }
  std::string handheld_state() {
    if (!exists(pdb_path())) return "absent";
    test_db db;
    return read_handheld(db.get()) ? id_set(db.get()) : "unreadable";
  }
};

TEST_F(FaultInjection, EveryCallOfAHandheldLoadFailingInTurn) {
  put_handheld(data_set(1000, 400, 1));
  for (int n = 1;; ++n) {
    sync_fault_reset();
    sync_fault_arm(sync_call::any, n, kSyncErrIo);
    test_db db;
    hh_load_report report;
    const int loaded = load_db_from_hh(db.get(), &report);
    const int calls = sync_call_count(sync_call::any);
    if (loaded) {
      EXPECT_NE(db->head, nullptr) << n;
    } else {
      EXPECT_EQ(db->head, nullptr) << n;
      EXPECT_NE(report.status, kHhLoadOk) << n;
      EXPECT_FALSE(hh_load_found_no_data(report.status)) << "a fault is not an absence: " << n;
    }
    if (calls < n) {  // the fault was not reached: every call has had its turn
      record_figure("faults handheld-load " + std::to_string(n - 1));
      break;
    }
  }
}

TEST_F(FaultInjection, EveryCallOfAHandheldSaveFailingInTurn) {
  put_handheld(data_set(1000, 300, 1));
  test_db next;
  load_text(next.get(), data_set(5000, 300, 1));
  const std::string old_ids = handheld_state();
  std::string new_ids;
  for (int n = 1;; ++n) {
    put_handheld(data_set(1000, 300, 1));
    sync_fault_reset();
    sync_fault_arm(sync_call::any, n, kSyncErrIo);
    const int status = save_db_to_hh(next.get());
    const int calls = sync_call_count(sync_call::any);
    sync_manager_reset();
    sync_manager_use_folder(dir.file("hh"));
    const std::string state = handheld_state();
    if (calls < n) {
      EXPECT_EQ(status, kHhSaveOk);
      new_ids = state;
      record_figure("faults handheld-save " + std::to_string(n - 1));
      break;
    }
    // A save that failed leaves the old database; one that went through the
    // new one (a failure after the close is reported but changes nothing).
    EXPECT_TRUE(status == kHhSaveOk ? state == id_set(next.get())
                                    : state == old_ids || state == id_set(next.get()))
        << "call " << n << " left " << state.substr(0, 40);
  }
  EXPECT_EQ(new_ids, id_set(next.get()));
}

TEST_F(FaultInjection, EveryCallOfATwoWayHotSyncFailingInTurn) {
  for (int n = 1;; ++n) {
    put_desktop(data_set(1000, 150, 2));
    put_handheld(data_set(1100, 150, 3));
    sync_fault_reset();
    sync_fault_arm(sync_call::any, n, kSyncErrIo);
    const int32_t result = sync(0);
    const int calls = sync_call_count(sync_call::any);
    sync_fault_reset();
    // Only -1 refuses a registration; a HotSync that says it is done is.
    const std::string desk = desktop_state(), hand = handheld_state();
    EXPECT_TRUE(result == kOpenConduitDone || result == kOpenConduitIncomplete) << n;
    if (result == kOpenConduitDone) {
      EXPECT_EQ(desk, hand) << n;
    }
    EXPECT_NE(desk, "unreadable") << n;
    EXPECT_NE(desk, "absent") << n;
    EXPECT_NE(hand, "unreadable") << n;
    EXPECT_NE(hand, "absent") << n;
    // A second, undisturbed HotSync brings both sides together again.
    ASSERT_EQ(sync(0), 0) << n;
    EXPECT_EQ(desktop_state(), handheld_state()) << n;
    if (calls < n) {
      record_figure("faults two-way-hotsync " + std::to_string(n - 1));
      break;
    }
  }
}

TEST_F(FaultInjection, EveryFileOperationOfADesktopSaveFailingInTurn) {
  put_desktop(data_set(1, 20, 1));
  const std::string old_bytes = read_file(xml_path());
  test_db next;
  // Several megabytes: a write fails while the next buffer is filling.
  load_text(next.get(), data_set(500, 30000, 1));
  struct expected {
    file_op op;
    int code;
    const char* name;
  };
  const expected kinds[] = {{file_op::open_write, kSaveXmlCannotOpen, "open"},
                            {file_op::write, kSaveXmlWriteFailed, "write"},
                            {file_op::sync, kSaveXmlCannotClose, "fsync"},
                            {file_op::close, kSaveXmlCannotClose, "close"},
                            {file_op::replace, kSaveXmlCannotRename, "rename"}};
  for (const expected& e : kinds) {
    for (int n = 1;; ++n) {
      write_file(xml_path(), old_bytes);
      file_fault_reset();
      file_fault_arm(e.op, n, EIO);
      const int result =
          save_xml(next.get(), dir.file("desk/elements.tmp").c_str(), xml_path().c_str());
      const int calls = file_fault_calls(e.op);
      file_fault_reset();
      const std::string now = read_file(xml_path());
      if (calls < n) {
        EXPECT_EQ(result, kSaveXmlOk);
        record_figure(std::string("faults desktop-save-") + e.name + " " + std::to_string(n - 1));
        break;
      }
      EXPECT_EQ(result, e.code) << static_cast<int>(e.op) << " " << n;
      EXPECT_EQ(now, old_bytes) << "the old file stays whole";
    }
  }
}

// The replacement every writer of a whole file goes through: each call of each
// kind failing in turn fails it with that error, leaving the old file and no
// temporary. Each step it must take is reached, so none goes round the seam.
// A file's version tells a rewrite of the same size within the same second,
// and another file renamed into its place, from the file as it was.
TEST(FileInfo, VersionChangesWhenTheFileIsWrittenOrReplaced) {
  scratch_dir dir;
  const std::string path = dir.file("side"), other = dir.file("other");
  write_file(path, "same size");
  file_info was{}, now{};
  ASSERT_EQ(file_info_at(path.c_str(), true, &was), 0);
  ASSERT_EQ(file_info_at(path.c_str(), true, &now), 0);
  EXPECT_EQ(now.version, was.version);
  write_file(path, "SAME SIZE");
  ASSERT_EQ(file_info_at(path.c_str(), true, &now), 0);
  EXPECT_NE(now.version, was.version);
  was = now;
  write_file(other, "SAME SIZE");
  ASSERT_EQ(file_replace(other.c_str(), path.c_str()), 0);
  ASSERT_EQ(file_info_at(path.c_str(), true, &now), 0);
  EXPECT_NE(now.version, was.version);
}

TEST(FileReplacement, EveryFileOperationFailingInTurn) {
  scratch_dir dir;
  const std::string path = dir.file("target"), tmp = dir.file("target.tmp");
  const std::string old_bytes = "old", pieces[] = {"first ", "second ", "third"};
  struct kind {
    file_op op;
    bool reached;  // by a replacement that goes through
  };
  const kind kinds[] = {
      {file_op::open_read, false}, {file_op::open_write, true}, {file_op::read, false},
      {file_op::write, true},      {file_op::sync, true},       {file_op::close, true},
      {file_op::replace, true},    {file_op::remove, false},    {file_op::inspect, false}};
  static_assert(sizeof kinds / sizeof kinds[0] == static_cast<size_t>(file_op::count), "");
  for (const kind& k : kinds) {
    const int op = static_cast<int>(k.op);
    int n = 1;
    for (;; ++n) {
      write_file(path, old_bytes);
      file_fault_reset();
      file_fault_arm(k.op, n, EIO);
      file_replacement r;
      int error = file_replacement_begin(&r, tmp.c_str());
      if (error == 0) {
        for (const std::string& piece : pieces) {
          if (error == 0) error = file_replacement_write(&r, piece.data(), piece.size());
        }
        if (error == 0) error = file_replacement_commit(&r, path.c_str());
        if (error != 0) file_replacement_abandon(&r);
      }
      const int calls = file_fault_calls(k.op);
      file_fault_reset();
      EXPECT_FALSE(exists(tmp)) << op << " " << n;
      if (calls < n) {
        EXPECT_EQ(error, 0) << op;
        EXPECT_EQ(read_file(path), "first second third") << op;
        break;
      }
      EXPECT_EQ(error, EIO) << op << " " << n;
      EXPECT_EQ(read_file(path), old_bytes) << op << " " << n;
    }
    EXPECT_EQ(n > 1, k.reached) << "file_op " << op;
  }
}

TEST_F(FaultInjection, EveryReadOfADesktopLoadFailingInTurn) {
  put_desktop(data_set(1, 3000, 1));
  for (int n = 1;; ++n) {
    file_fault_reset();
    file_fault_arm(file_op::read, n, EIO);
    test_db db;
    pc_load_report report;
    insert_element(&db->head, nullptr);
    const int loaded = load_db_from_pc(db.get(), xml_path().c_str(), &report);
    const int calls = file_fault_calls(file_op::read);
    file_fault_reset();
    hotsync_log_reset();
    if (calls < n) {
      EXPECT_EQ(loaded, 1);
      record_figure("faults desktop-load " + std::to_string(n - 1));
      break;
    }
    EXPECT_EQ(loaded, 0) << n;
    EXPECT_EQ(report.status, kPcLoadReadError) << n;
    EXPECT_EQ(db->head, nullptr) << n;
  }
}

}  // namespace
