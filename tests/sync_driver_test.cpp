#include "conduit/sync_driver.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <string>
#include <vector>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "conduit/sync_record.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file_faults.h"
#include "platform/registry_file.h"
#include "platform/sync_manager.h"
#include "tests/conduit_test_support.h"
#include "tests/hh_test_support.h"

namespace {

const std::string kOne =
    xml_file(1, "<category name=\"c\" bgcolor=\"1\"/>\n" + xml_item(100, 1, "c", "desk", "a"));
const std::string kOther = xml_file(1, xml_item(200, 2, "c", "hand", "a"));
const std::string kEmpty = xml_file(1, "");

using OpenConduitTest = ConduitTest;

TEST_F(OpenConduitTest, SyncTypeOneRunsLikeZero) {
  put_desktop(kOne);
  put_handheld(kOther);
  ASSERT_EQ(sync(1), 0);
  EXPECT_TRUE(log_has("1-1"));
  EXPECT_EQ(desktop_ids(), "100 200");
  EXPECT_EQ(handheld_ids(), "100 200");
}

TEST_F(OpenConduitTest, SyncTypesFromFourOnDoNothingAtAll) {
  put_desktop(kOne);
  const std::string before = read_file(xml_path());
  for (uint32_t type : {4u, 5u, 6u, 7u, 8u, 0xFFFFFFFFu}) {
    EXPECT_EQ(sync(type), 0) << type;
  }
  EXPECT_EQ(sync_call_count(sync_call::any), 0);
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(read_file(xml_path()), before);
  EXPECT_FALSE(exists(pdb_path()));
}

TEST_F(OpenConduitTest, RefusedRegistrationTouchesNothing) {
  put_desktop(kOne);
  sync_fault_arm(sync_call::register_conduit, 1, kSyncRegistrationRefused);
  EXPECT_EQ(sync(0), 1);
  EXPECT_TRUE(log().empty());
  EXPECT_EQ(sync_call_count(sync_call::unregister_conduit), 0);
  EXPECT_EQ(sync_call_count(sync_call::open_db), 0);
  EXPECT_FALSE(exists(pdb_path()));
}

TEST_F(OpenConduitTest, NullPropertiesAreIgnored) {
  EXPECT_EQ(OpenConduit(nullptr, nullptr), 0);
  EXPECT_EQ(sync_call_count(sync_call::any), 0);
}

// --- the order of the steps ----------------------------------------------------

struct step_probe {
  int desktop_reads_at_handheld_open = -1;
  int desktop_writes_at_handheld_delete = -1;
  size_t log_entries_at_user_record = 0;
} probe;

void observe(sync_call call) {
  if (call == sync_call::open_db && probe.desktop_reads_at_handheld_open < 0) {
    probe.desktop_reads_at_handheld_open = file_fault_calls(file_op::open_read);
  }
  if (call == sync_call::delete_db) {
    probe.desktop_writes_at_handheld_delete = file_fault_calls(file_op::replace);
  }
  if (call == sync_call::read_user_record) {
    probe.log_entries_at_user_record = hotsync_log_entries().size();
  }
}

TEST_F(OpenConduitTest, DesktopIsReadAndWrittenBeforeTheHandheld) {
  put_desktop(kOne);
  put_handheld(kOther);
  file_fault_reset();
  probe = step_probe{};
  sync_manager_observe(observe);
  ASSERT_EQ(sync(0), 0);
  EXPECT_EQ(probe.desktop_reads_at_handheld_open, 1);
  EXPECT_EQ(probe.desktop_writes_at_handheld_delete, 1);
  EXPECT_EQ(probe.log_entries_at_user_record, 2u);  // the path, then "1-1"
  ASSERT_EQ(log().size(), 2u);
  EXPECT_EQ(log()[0], xml_path());
  EXPECT_EQ(log()[1], "1-1\n");
  EXPECT_EQ(sync_call_count(sync_call::unregister_conduit), 1);
}

// --- one side, or none -------------------------------------------------------------

TEST_F(OpenConduitTest, FirstSyncCopiesTheDesktopToAnEmptyHandheld) {
  put_desktop(kOne);
  ASSERT_EQ(sync(0), 0);
  EXPECT_TRUE(log_has("1-0"));
  EXPECT_EQ(handheld_ids(), "100");
}

TEST_F(OpenConduitTest, DesktopWithoutElementsTakesTheHandheldsWithoutMerging) {
  put_desktop(kEmpty);
  put_handheld(kOther);
  sync_manager_observe(nullptr);
  ASSERT_EQ(sync(0), 0);
  EXPECT_TRUE(log_has("0-1"));
  EXPECT_EQ(desktop_ids(), "200");
}

TEST_F(OpenConduitTest, NeitherSideWritesNothing) {
  ASSERT_EQ(sync(0), 0);
  EXPECT_TRUE(log_has("0-0"));
  EXPECT_FALSE(exists(xml_path()));
  EXPECT_FALSE(exists(pdb_path()));
}

TEST_F(OpenConduitTest, DesktopToHandheldCopiesEvenAnEmptyDataSet) {
  put_handheld(kOther);
  put_desktop(kEmpty);
  ASSERT_EQ(sync(3), 0);
  EXPECT_EQ(handheld_ids(), "");
  EXPECT_TRUE(log().size() == 1 && log()[0] == xml_path());
}

TEST_F(OpenConduitTest, HandheldToDesktopCopiesTheHandheld) {
  put_desktop(kOne);
  put_handheld(kOther);
  ASSERT_EQ(sync(2), 0);
  EXPECT_EQ(desktop_ids(), "200");
  EXPECT_EQ(handheld_ids(), "200");
}

TEST_F(OpenConduitTest, OneWayCopyFromAMissingSourceWritesNothing) {
  put_desktop(kOne);
  ASSERT_EQ(sync(2), 0);
  EXPECT_EQ(desktop_ids(), "100");
  EXPECT_TRUE(log_has("does not exist"));
}

// --- a side that exists but cannot be read is never overwritten ------------------------

TEST_F(OpenConduitTest, DamagedDesktopFileIsNotOverwritten) {
  put_desktop(xml_file(1, xml_item(1, 1, "c", "q", "a")).substr(0, 150));
  const std::string before = read_file(xml_path());
  put_handheld(kOther);
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("0-1"));
  EXPECT_TRUE(log_has("elements.xml holds a question that is too long or not closed by </Q>"));
  EXPECT_TRUE(log_has("nothing was synchronised"));
  EXPECT_EQ(read_file(xml_path()), before);
  EXPECT_EQ(handheld_ids(), "200");
}

TEST_F(OpenConduitTest, NewerDesktopFormatIsNotOverwritten) {
  write_file(xml_path(), "<quorvia core_version=\"11\" time_of_start=\"1\">\r\n</quorvia>");
  put_handheld(kOther);
  testing::internal::CaptureStderr();
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  testing::internal::GetCapturedStderr();
  EXPECT_TRUE(log_has("newer Quorvia"));
  EXPECT_NE(read_file(xml_path()).find("core_version=\"11\""), std::string::npos);
}

TEST_F(OpenConduitTest, DamagedHandheldDatabaseIsNotOverwritten) {
  put_desktop(kOne);
  write_file(pdb_path(), "not a database");
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("1-0"));
  EXPECT_TRUE(log_has("QVelements cannot be opened"));
  EXPECT_EQ(read_file(pdb_path()), "not a database");
}

TEST_F(OpenConduitTest, UnreadableHandheldRecordIsNotOverwritten) {
  put_desktop(kOne);
  put_handheld(kOther);
  const std::string before = read_file(pdb_path());
  sync_fault_arm(sync_call::read_record, 1, kSyncErrIo);
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("has a record that cannot be read"));
  EXPECT_EQ(read_file(pdb_path()), before);
  EXPECT_EQ(desktop_ids(), "100");
}

// --- the data directory ------------------------------------------------------------------

TEST_F(OpenConduitTest, MissingOrEmptyDataDirectoryIsLoggedAndNothingHappens) {
  put_handheld(kOther);
  const std::string registry = dir.file("registry.reg");
  int runs = 0;
  for (const std::string& text :
       {std::string("REGEDIT4\r\n"),
        registry_file_text(kRegistryKeyPath, kRegistryDataDirValue, "")}) {
    write_file(registry, text);
    ++runs;
    ASSERT_EQ(sync(0), kOpenConduitIncomplete);
    EXPECT_TRUE(log_has("data directory"));
    EXPECT_TRUE(log_has("is not set"));
    EXPECT_EQ(sync_call_count(sync_call::open_db), 0);
    EXPECT_EQ(sync_call_count(sync_call::unregister_conduit), runs);
  }
}

TEST_F(OpenConduitTest, RegistryThatIsNoRegularFileIsNotWaitedOn) {
  const std::string fifo = dir.file("registry.fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  registry_use_file(fifo);
  put_handheld(kOther);
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("is not set"));
}

TEST_F(OpenConduitTest, DataDirectoryTooLongIsLogged) {
  set_data_dir(std::string(500, 'd'));
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("is too long"));
  set_data_dir(std::string(600, 'd'));
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("is too long"));
}

TEST_F(OpenConduitTest, DataDirectoryWithoutSeparatorIsTheFolder) {
  set_data_dir(dir.file("desk"));
  put_handheld(kOther);
  ASSERT_EQ(sync(0), 0);
  EXPECT_TRUE(exists(xml_path()));
}

// --- the last sync time ----------------------------------------------------------------------

class LastSyncTime : public ConduitTest {
 protected:
  // Element 98000 is on the desktop only: deleted when the time reaching the
  // merge is at least 98000, copied to the handheld otherwise.
  std::string run_with(uint32_t last_sync, const char* tz) {
    setenv("TZ", tz, 1);
    tzset();
    put_desktop(xml_file(1, xml_item(98000, 1, "c", "q", "a") + xml_item(5, 2, "c", "q", "a")));
    put_handheld(xml_file(1, xml_item(5, 2, "c", "q", "a")));
    set_last_sync(last_sync);
    EXPECT_EQ(sync(0), 0);
    return handheld_ids();
  }
};

// A zone in daylight-saving time all year round, whatever the date.
constexpr char kAlwaysSummer[] = "XST0XDT,J1/0,J365/25";

TEST_F(LastSyncTime, DaylightSavingTimeLowersItByAnHour) {
  ASSERT_STREQ(getenv("TZ"), "UTC0");
  EXPECT_EQ(run_with(100000, "UTC0"), "5");
  EXPECT_EQ(run_with(100000, kAlwaysSummer), "98000 5");  // 96400 reaches the merge
  EXPECT_NE(is_dst_now(), 0);
}

TEST_F(LastSyncTime, BelowAnHourInSummerBecomesZero) {
  EXPECT_EQ(run_with(3599, kAlwaysSummer), "98000 5");
  put_desktop(xml_file(1, xml_item(10, 1, "c", "q", "a") + xml_item(5, 2, "c", "q", "a")));
  put_handheld(xml_file(1, xml_item(5, 2, "c", "q", "a")));
  set_last_sync(1000);
  ASSERT_EQ(sync(0), 0);
  EXPECT_EQ(handheld_ids(), "10 5");  // nothing deleted
}

TEST_F(LastSyncTime, UnreadableUserRecordMeansZero) {
  put_desktop(xml_file(1, xml_item(10, 1, "c", "q", "a") + xml_item(5, 2, "c", "q", "a")));
  put_handheld(xml_file(1, xml_item(5, 2, "c", "q", "a")));
  set_last_sync(1000);
  sync_fault_arm(sync_call::read_user_record, 1, kSyncErrIo);
  ASSERT_EQ(sync(0), 0);
  EXPECT_EQ(handheld_ids(), "10 5");
}

// --- the conduit's own record of its last complete HotSync ---------------------------------

class CompleteHotSync : public ConduitTest {
 protected:
  const sync_record_user user{1, "Quorvia Learner"};
  bool recorded(uint32_t* t) { return read_last_complete_sync(desk().c_str(), user, t) == 1; }
};

TEST_F(CompleteHotSync, EarlierRecordThanTheSyncManagersKeepsNewElements) {
  // Element 98000 is on the desktop only and newer than the last complete
  // HotSync (50000); the Sync Manager's time (100000) moved on after one
  // that failed.
  put_desktop(xml_file(1, xml_item(98000, 1, "c", "q", "a") + xml_item(5, 2, "c", "q", "a")));
  put_handheld(xml_file(1, xml_item(5, 2, "c", "q", "a")));
  set_last_sync(100000);
  ASSERT_EQ(write_last_complete_sync(desk().c_str(), user, 50000), 0);
  ASSERT_EQ(sync(0), 0);
  EXPECT_EQ(handheld_ids(), "98000 5");
  uint32_t t = 0;
  ASSERT_TRUE(recorded(&t));
  EXPECT_GE(t, static_cast<uint32_t>(std::time(nullptr)) - 60);
}

TEST_F(CompleteHotSync, OnlyWhatWasCarriedThroughIsRecorded) {
  struct run {
    uint32_t sync_type;
    bool damaged_handheld;
    bool recorded;
  };
  const run runs[] = {{0, true, false}, {3, false, true}, {2, false, true}, {0, false, true}};
  for (const run& r : runs) {
    std::remove(dir.file("desk/" + std::string(kConduitSyncRecordFile)).c_str());
    put_desktop(kOne);
    if (r.damaged_handheld) {
      write_file(pdb_path(), "not a database");
    } else {
      put_handheld(kOther);
    }
    EXPECT_EQ(sync(r.sync_type), r.recorded ? kOpenConduitDone : kOpenConduitIncomplete);
    uint32_t t;
    EXPECT_EQ(recorded(&t), r.recorded) << r.sync_type;
  }
}

TEST_F(CompleteHotSync, FailedDesktopWriteLeavesTheHandheldAndTheRecord) {
  put_desktop(kOne);
  put_handheld(kOther);
  const std::string handheld_before = read_file(pdb_path());
  ASSERT_EQ(mkdir(dir.file("desk/elements.tmp").c_str(), 0700), 0);
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  EXPECT_TRUE(log_has("could not be written: its temporary file could not be created"));
  EXPECT_TRUE(log_has("the handheld was not changed either"));
  EXPECT_EQ(read_file(pdb_path()), handheld_before);
  uint32_t t;
  EXPECT_FALSE(recorded(&t));
  rmdir(dir.file("desk/elements.tmp").c_str());
  ASSERT_EQ(sync(0), kOpenConduitDone);
  EXPECT_EQ(desktop_ids(), "100 200");
  EXPECT_EQ(handheld_ids(), "100 200");
}

TEST_F(CompleteHotSync, RecordTooLargeToReadWholeIsLeftAsItIs) {
  std::string others;
  for (uint32_t id = 2; others.size() <= 70000; ++id)
    others += std::to_string(id) + " 1234 Someone\n";
  write_file(dir.file("desk/") + kConduitSyncRecordFile, others);
  put_desktop(kOne);
  put_handheld(kOther);
  ASSERT_EQ(sync(0), kOpenConduitDone);
  EXPECT_TRUE(log_has("could not be kept"));
  EXPECT_EQ(read_file(dir.file("desk/") + kConduitSyncRecordFile), others);
}

TEST_F(CompleteHotSync, RecordsOfOtherUsersAreKept) {
  const sync_record_user other{7, "Someone Else"};
  ASSERT_EQ(write_last_complete_sync(desk().c_str(), other, 1234), 0);
  put_desktop(kOne);
  put_handheld(kOther);
  ASSERT_EQ(sync(0), kOpenConduitDone);
  uint32_t t = 0;
  ASSERT_EQ(read_last_complete_sync(desk().c_str(), other, &t), 1);
  EXPECT_EQ(t, 1234u);
  EXPECT_TRUE(recorded(&t));
}

TEST_F(OpenConduitTest, TextsElementsXmlCannotHoldAreLoggedOnePerField) {
  bytes record = header_bytes(11, 1, 0);
  const std::pair<std::string, std::string> texts[] = {
      {"a</Q>b", "fine"}, {"fine", "x]]>y"}, {"no<mark>", "1 & 2"}, {"p</A>q", "r</Q>s"}};
  uint32_t id = 4240;
  for (const auto& t : texts) {
    bytes e = element_bytes(id++, 1, 0, t.first, t.second);
    record.insert(record.end(), e.begin(), e.end());
  }
  put_handheld_record(record);
  ASSERT_EQ(sync(2), 0);
  const char* expected[] = {
      "element 4240: its question holds \"</Q>\"", "element 4241: its answer holds \"]]>\"",
      "element 4243: its question holds \"</A>\"", "element 4243: its answer holds \"</Q>\""};
  for (const char* entry : expected)
    EXPECT_TRUE(log_has(entry)) << entry;
  EXPECT_FALSE(log_has("element 4242"));
}

// --- HotSyncs in one loaded library ---------------------------------------------------------

TEST_F(OpenConduitTest, SecondHotSyncStartsClean) {
  put_desktop(kOne);
  put_handheld(kOther);
  ASSERT_EQ(sync(0), 0);
  ASSERT_EQ(sync(0), 0);
  ASSERT_EQ(sync(3), 0);
  ASSERT_EQ(sync(0), 0);
  EXPECT_EQ(desktop_ids(), "100 200");
  EXPECT_EQ(handheld_ids(), "100 200");
}

TEST_F(OpenConduitTest, TextTooLongForTheHandheldIsLoggedWithItsElement) {
  // Only a handheld-side writer can store a question this long.
  bytes record = header_bytes(11, 1, 0);
  bytes e = element_bytes(4242, 1, 0, std::string(65000, 'q'), "");
  record.insert(record.end(), e.begin(), e.end());
  put_handheld_record(record);
  const std::string before = read_file(pdb_path());
  put_desktop(kOne);
  ASSERT_EQ(sync(0), kOpenConduitIncomplete);
  // The desktop, written first, cannot hold it either: neither side changes.
  EXPECT_TRUE(log_has("element 4242 has a question or answer too long for elements.xml"));
  EXPECT_EQ(read_file(pdb_path()), before);
  EXPECT_EQ(desktop_ids(), "100");
}

}  // namespace
