// Every heap allocation of a load, a save, a merge and a whole HotSync made
// to fail in turn: the operation fails cleanly and nothing stays allocated.
// The failing allocator replaces malloc for this program, so it runs only in
// builds without a sanitizer's own allocator.
#if !defined(__SANITIZE_ADDRESS__) && !defined(__SANITIZE_THREAD__)

#include <gtest/gtest.h>
#include <malloc.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <cstdlib>
#include <new>
#include <string>

#include "conduit/conduit_api.h"
#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/change_report.h"
#include "hotsync/data_set_file.h"
#include "hotsync/services/hotsync_log.h"
#include "hotsync/services/sync_manager_host.h"
#include "model/databases.h"
#include "model/insertion_order.h"
#include "sync/merge.h"
#include "tests/conduit_test_support.h"

extern "C" {
void* __libc_malloc(size_t size);
void* __libc_calloc(size_t count, size_t size);
void* __libc_realloc(void* p, size_t size);
void __libc_free(void* p);
}

namespace {

std::atomic<long> allocations_left{0};  // > 0: the allocation that brings it to 0 fails
std::atomic<long> failures{0};

// Where an injected failure happens, for a debugger's breakpoint.
__attribute__((noinline)) void allocation_failed_here() {
  asm volatile("");
}

// Fails as the C library's allocator does, errno included: the C library
// itself relies on it (starting a thread, for one).
bool fail_this_one() {
  if (allocations_left.load(std::memory_order_relaxed) <= 0) return false;
  if (allocations_left.fetch_sub(1) != 1) return false;
  failures.fetch_add(1);
  allocation_failed_here();
  errno = ENOMEM;
  return true;
}

}  // namespace

extern "C" void* malloc(size_t size) {
  return fail_this_one() ? nullptr : __libc_malloc(size);
}
extern "C" void* calloc(size_t count, size_t size) {
  return fail_this_one() ? nullptr : __libc_calloc(count, size);
}
extern "C" void* realloc(void* p, size_t size) {
  return fail_this_one() ? nullptr : __libc_realloc(p, size);
}
extern "C" void free(void* p) {
  __libc_free(p);
}

namespace {

size_t heap_in_use() {
  return mallinfo2().uordblks;
}

std::string data_set(int first_id, int count, int rp) {
  std::string body = "<category name=\"c\" bgcolor=\"1\"/>\n<category name=\"d\" bgcolor=\"2\"/>\n";
  for (int i = 0; i < count; ++i) {
    body += xml_item(static_cast<uint32_t>(first_id + i), i % 7, i % 2 ? "c" : "d",
                     "q" + std::to_string(i), "a\nb", rp);
  }
  return xml_file(1, body);
}

class AllocationFailure : public ConduitTest {
 protected:
  void TearDown() override {
    allocations_left = 0;
    ConduitTest::TearDown();
  }
  // Runs op with its nth allocation failing, for n = 1, 2, ... until op makes
  // no more than n - 1 allocations; check judges each run. Every run must give
  // back all the memory it took once cleanup has run.
  template <typename Op, typename Cleanup>
  int each_allocation_failing(Op op, Cleanup cleanup, const char* what = nullptr) {
    // A first pass makes what is made once, on first use: log storage, the time
    // zone, the unwinder's tables of the paths an exception takes.
    for (int n = 1;; ++n) {
      failures = 0;
      allocations_left = n;
      op();
      allocations_left = 0;
      cleanup();
      if (failures == 0) break;
    }
    size_t baseline = heap_in_use();
    int n = 1;
    for (;; ++n) {
      failures = 0;
      allocations_left = n;
      op();
      const bool failed = failures > 0;
      allocations_left = 0;
      cleanup();
      // Memory a run keeps until the next one (a last error text) is no leak;
      // memory that a second run with the same failure does not give back is.
      // Something kept from before that a run lets go of lowers the mark.
      baseline = std::min(baseline, heap_in_use());
      // A text kept until the next run may differ in length from run to run
      // (a time, a name): what a leak loses, every run loses again.
      size_t before = baseline;
      for (int again = 0; again < 3 && heap_in_use() != before; ++again) {
        before = heap_in_use();
        allocations_left = n;
        op();
        allocations_left = 0;
        cleanup();
        const size_t now = heap_in_use();
        if (now <= before) break;
        if (again == 2) {
          ADD_FAILURE() << "allocation " << n << " failing leaked " << now - before
                        << " bytes in each of three runs";
          return n;
        }
      }
      if (!failed) break;
    }
    record_figure(
        "allocations " +
        std::string(what ? what : ::testing::UnitTest::GetInstance()->current_test_info()->name()) +
        " " + std::to_string(n - 1));
    return n;
  }
};

void empty_both() {
  release_db(&pc_db);
  construct_db(&pc_db);
  release_db(&hh_db);
  construct_db(&hh_db);
  insert_element(&pc_db.head, nullptr);
  hotsync_log_reset();
}

// Without memory for its tables, sorting a file's elements takes the slower
// way to the same order.
TEST_F(AllocationFailure, SortingWithoutItsTablesGivesTheSameOrder) {
  auto sorted_ids = [](int failing) {
    element* chain = nullptr;
    for (uint32_t i = 0; i < 200; ++i) {
      element* e = new_element();
      e->id = i;
      e->tm_t_rpt = static_cast<uint16_t>((i * 7919u) % 13u);
      e->next = chain;
      chain = e;
    }
    allocations_left = failing;
    element* first = sort_as_inserted(chain);
    allocations_left = 0;
    std::string ids;
    for (element* e = first; e; e = e->next)
      ids += std::to_string(e->id) + " ";
    free_element_nodes(first);
    return ids;
  };
  const std::string expected = sorted_ids(0);
  EXPECT_EQ(sorted_ids(1), expected);
  EXPECT_EQ(sorted_ids(2), expected);
  EXPECT_EQ(sorted_ids(3), expected);
}

TEST_F(AllocationFailure, DesktopLoad) {
  put_desktop(data_set(1, 40, 1));
  const std::string path = xml_path();
  test_db db;
  int results[2] = {0, 0};
  const int runs = each_allocation_failing(
      [&] {
        int loaded = load_db_from_pc(db.get(), path.c_str());
        results[loaded] += 1;
        if (!loaded) {
          EXPECT_EQ(db->head, nullptr);
        }
      },
      [&] {
        release_db(db.get());
        construct_db(db.get());
        hotsync_log_reset();
      });
  EXPECT_GT(runs, 40);  // an allocation per element at least
  EXPECT_GT(results[0], 0);
}

// A side that could not be read for want of memory must say so: the HotSync
// then stops rather than take the side for empty, and "too many categories"
// would send its user to mend a sound file.
TEST_F(AllocationFailure, ReadingADataSetSaysWhenMemoryRanOut) {
  put_desktop(data_set(1, 20, 1));
  put_handheld(data_set(1, 20, 1));
  for (const std::string& path : {xml_path(), pdb_path()}) {
    each_allocation_failing(
        [&] {
          try {
            const side_state side = read_side(path);
            if (!side.readable) {
              EXPECT_TRUE(side.out_of_memory) << side.problem;
            }
          } catch (const std::bad_alloc&) {
            // as plain a way to say it as the flag
          }
        },
        [] { hotsync_log_reset(); }, names_pdb(path) ? "read pdb" : "read xml");
  }
}

TEST_F(AllocationFailure, DesktopSave) {
  test_db db;
  load_text(db.get(), data_set(1, 40, 1));
  put_desktop(data_set(500, 3, 1));
  const std::string old_bytes = read_file(xml_path());
  const std::string tmp = dir.file("desk/elements.tmp"), xml = xml_path();
  each_allocation_failing(
      [&] {
        int result = save_xml(db.get(), tmp.c_str(), xml.c_str());
        if (result != kSaveXmlOk) {
          EXPECT_EQ(read_file(xml_path()), old_bytes);
        }
      },
      [&] { write_file(xml_path(), old_bytes); });
}

TEST_F(AllocationFailure, HandheldSaveAndLoad) {
  test_db db, old;
  load_text(db.get(), data_set(1, 40, 1));
  load_text(old.get(), data_set(100, 3, 1));
  // The records and their list, after the header with its dates.
  auto records = [&] { return read_file(pdb_path()).substr(78); };
  ASSERT_EQ(save_db_to_hh(db.get()), kHhSaveOk);
  const std::string new_records = records();
  ASSERT_EQ(save_db_to_hh(old.get()), kHhSaveOk);
  const std::string old_file = read_file(pdb_path());
  bool failed = false;
  each_allocation_failing([&] { failed = save_db_to_hh(db.get()) != kHhSaveOk; },
                          [&] {
                            hotsync_log_reset();
                            // The HotSync ends: a failed save leaves the old database.
                            sync_manager_reset();
                            sync_manager_use_folder(dir.file("hh"));
                            if (failed) {
                              EXPECT_EQ(read_file(pdb_path()), old_file);
                            } else {
                              EXPECT_EQ(records(), new_records);
                            }
                            write_file(pdb_path(), old_file);
                          },
                          "HandheldSave");
  ASSERT_EQ(save_db_to_hh(db.get()), kHhSaveOk);
  test_db back;
  each_allocation_failing(
      [&] {
        if (!load_db_from_hh(back.get())) {
          EXPECT_EQ(back->head, nullptr);
        }
      },
      [&] {
        release_db(back.get());
        construct_db(back.get());
      },
      "HandheldLoad");
}

TEST_F(AllocationFailure, Merge) {
  const std::string pc = data_set(1, 30, 1), hh = data_set(20, 30, 2);
  auto merge_failing = [&](int n) {
    empty_both();
    load_text(&pc_db, pc);
    load_text(&hh_db, hh);
    failures = 0;
    allocations_left = n;
    const int result = sync_dbs(0);
    allocations_left = 0;
    return result;
  };
  for (int n = 1; merge_failing(n) != kMergedWriteBoth || failures > 0; ++n) {
  }
  empty_both();
  const size_t baseline = heap_in_use();
  for (int n = 1;; ++n) {
    empty_both();
    load_text(&pc_db, pc);
    load_text(&hh_db, hh);
    failures = 0;
    allocations_left = n;
    const int result = sync_dbs(0);
    const bool failed = failures > 0;
    allocations_left = 0;
    EXPECT_TRUE(result == kMergedWriteBoth || result == kMergeFailed) << n;
    for (const element_db* db : {&pc_db, &hh_db}) {
      for (const element* e = db->head; e; e = e->next)
        EXPECT_LT(e->ctgr, db->ctgr_count);
    }
    empty_both();
    const size_t now = heap_in_use();
    ASSERT_EQ(now, baseline) << "allocation " << n << " of the merge failing";
    if (!failed) {
      record_figure("allocations Merge " + std::to_string(n - 1));
      break;
    }
  }
}

TEST_F(AllocationFailure, WholeHotSync) {
  const std::string pc = data_set(1, 12, 1), hh = data_set(8, 12, 2);
  auto fresh_sides = [&] {
    allocations_left = 0;
    empty_both();
    // The Sync Manager keeps the text of its last problem until the next.
    sync_manager_reset();
    sync_manager_use_folder(dir.file("hh"));
    put_desktop(pc);
    put_handheld(hh);
    hotsync_log_reset();
  };
  // A HotSync that memory did not stop writes what one without failures
  // writes: the records after the database's header with its dates.
  auto written = [&] { return read_file(xml_path()) + read_file(pdb_path()).substr(78); };
  sync_properties properties{0};
  fresh_sides();
  ASSERT_EQ(OpenConduit(nullptr, &properties), kOpenConduitDone);
  const std::string merged = written();
  fresh_sides();
  each_allocation_failing(
      [&] {
        const int32_t result = OpenConduit(nullptr, &properties);
        EXPECT_TRUE(result == kOpenConduitDone || result == kOpenConduitIncomplete) << result;
        allocations_left = 0;  // the comparison's own memory
        if (result == kOpenConduitDone) {
          EXPECT_EQ(written(), merged);
        }
      },
      fresh_sides);
}

}  // namespace

#endif
