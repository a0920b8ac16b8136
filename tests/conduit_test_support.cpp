#include "tests/conduit_test_support.h"

#include <sys/stat.h>

#include <cstdlib>
#include <ctime>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "desktop/xml_reader.h"
#include "handheld/hh_store.h"
#include "hotsync/services/handheld_user.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/pdb_file.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file_faults.h"
#include "platform/registry_file.h"

void ConduitTest::SetUp() {
  ASSERT_EQ(mkdir(dir.file("desk").c_str(), 0755), 0);
  ASSERT_EQ(mkdir(dir.file("hh").c_str(), 0755), 0);
  setenv("TZ", "UTC0", 1);
  tzset();
  file_fault_reset();
  sync_manager_reset();
  sync_manager_use_folder(dir.file("hh"));
  set_data_dir(desk());
  insert_element(nullptr, nullptr);
}

void ConduitTest::TearDown() {
  sync_manager_reset();
  file_fault_reset();
  registry_use_file("");
  hotsync_log_reset();
}

void ConduitTest::set_data_dir(const std::string& value) {
  const std::string path = dir.file("registry.reg");
  write_file(path, value.empty()
                       ? "REGEDIT4\r\n"
                       : registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, value));
  registry_use_file(path);
}

void ConduitTest::put_desktop(const std::string& text) {
  write_file(xml_path(), crlf(text));
}

void load_text(element_db* db, const std::string& text) {
  scratch_dir scratch;
  write_file(scratch.file("x.xml"), crlf(text));
  insert_element(&db->head, nullptr);
  ASSERT_EQ(load_db_from_pc(db, scratch.file("x.xml").c_str()), 1);
  hotsync_log_reset();
}

void ConduitTest::put_handheld(const std::string& text) {
  test_db db;
  load_text(db.get(), text);
  ASSERT_EQ(save_db_to_hh(db.get()), kHhSaveOk);
}

void ConduitTest::put_handheld_record(const std::vector<uint8_t>& record) {
  pdb_database pdb;
  pdb.name = "QVelements";
  pdb.records.push_back(pdb_record{0, 1, record});
  std::string why;
  ASSERT_EQ(write_pdb_file(pdb_path(), pdb, &why), kPdbFileOk) << why;
}

void ConduitTest::set_last_sync(uint32_t t) {
  handheld_user user;
  user.last_sync = t;
  std::string why;
  ASSERT_TRUE(write_handheld_user(dir.file("hh"), user, &why)) << why;
}

int32_t ConduitTest::sync(uint32_t sync_type) {
  hotsync_log_reset();
  sync_properties properties{sync_type};
  int32_t result = OpenConduit(nullptr, &properties);
  log_.clear();
  for (const log_entry& e : hotsync_log_entries())
    log_.push_back(e.text);
  hotsync_log_reset();
  return result;
}

bool ConduitTest::log_has(const std::string& part) const {
  for (const std::string& entry : log_) {
    if (entry.find(part) != std::string::npos) return true;
  }
  return false;
}

bool ConduitTest::read_desktop(element_db* db) {
  insert_element(&db->head, nullptr);
  bool ok = load_db_from_pc(db, xml_path().c_str()) == 1;
  hotsync_log_reset();
  return ok;
}

bool ConduitTest::read_handheld(element_db* db) {
  return load_db_from_hh(db) == 1;
}

std::string ConduitTest::desktop_ids() {
  test_db db;
  return read_desktop(db.get()) ? ids_of(db.get()) : "unreadable";
}

std::string ConduitTest::handheld_ids() {
  test_db db;
  return read_handheld(db.get()) ? ids_of(db.get()) : "unreadable";
}
