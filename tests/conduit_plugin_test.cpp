// The conduit as the HotSync Manager sees it: a plug-in loaded at run time.
#include <gtest/gtest.h>

#include <malloc.h>

#include <string>

#include "conduit/conduit_api.h"
#include "hotsync/services/hotsync_log.h"
#include "platform/library_loader.h"
#include "platform/posix/dialog_front_end.h"
#include "tests/conduit_test_support.h"

namespace {

class ConduitPlugin : public ConduitTest {
 protected:
  void SetUp() override {
    ConduitTest::SetUp();
    std::string why;
    library = library_open(QV_PLUGIN_PATH, &why);
    ASSERT_NE(library, nullptr) << why;
    open_conduit = reinterpret_cast<open_conduit_fn>(library_symbol(library, "OpenConduit"));
    ASSERT_NE(open_conduit, nullptr);
  }
  void TearDown() override {
    if (library) library_close(library);
    ConduitTest::TearDown();
  }
  int32_t plugin_sync(uint32_t type) {
    sync_properties properties{type};
    return open_conduit(nullptr, &properties);
  }

  using open_conduit_fn = int32_t (*)(void*, sync_properties*);
  library_handle library = nullptr;
  open_conduit_fn open_conduit = nullptr;
};

TEST_F(ConduitPlugin, ExportsItsEntryPointsOnly) {
  for (const char* inner :
       {"pc_db", "hh_db", "run_sync", "sync_dbs", "load_db_from_pc", "DllMain"}) {
    EXPECT_EQ(library_symbol(library, inner), nullptr) << inner;
  }
}

TEST_F(ConduitPlugin, HotSyncsInOneLoadedLibraryStartClean) {
  put_desktop(xml_file(1, xml_item(100, 1, "c", "desk", "a")));
  put_handheld(xml_file(1, xml_item(200, 2, "c", "hand", "a")));
  for (uint32_t type : {0u, 0u, 3u, 2u, 1u})
    ASSERT_EQ(plugin_sync(type), 0) << type;
  EXPECT_EQ(desktop_ids(), "100 200");
  EXPECT_EQ(handheld_ids(), "100 200");
}

// Heap in use, where the allocator can tell (not under a sanitizer's own).
size_t heap_in_use() {
#if defined(__SANITIZE_ADDRESS__)
  return 0;
#else
  return mallinfo2().uordblks;
#endif
}

TEST_F(ConduitPlugin, ThousandHotSyncsInOneLoadLeakNothing) {
  const std::string sets[] = {
      xml_file(1, xml_item(100, 1, "c", "desk", "a") + xml_item(101, 2, "d", "more", "b\nc")),
      xml_file(1, xml_item(200, 2, "e", "hand", "a", 9)), xml_file(1, "")};
  const uint32_t types[] = {0, 3, 0, 2, 1, 6};
  size_t after_warm_up = 0;
  for (int run = 0; run < 1000; ++run) {
    if (run % 7 == 0) put_desktop(sets[run % 3]);
    if (run % 11 == 0) put_handheld(sets[(run + 1) % 3]);
    ASSERT_EQ(plugin_sync(types[run % 6]), 0) << run;
    hotsync_log_reset();
    if (run == 99) after_warm_up = heap_in_use();
  }
  // The plug-in keeps its last data sets until the next HotSync: a small,
  // bounded amount, not growth.
  EXPECT_LE(heap_in_use(), after_warm_up + 16 * 1024);
  record_figure("long-run 1000 " + std::to_string(heap_in_use()) + " " +
                std::to_string(after_warm_up));
}

bool answer_ok(const posix_dialog&, ui_event* event, void* asked) {
  *static_cast<int*>(asked) += 1;
  *event = ui_event{ui_input::key, kKeyEnter};
  return true;
}

TEST_F(ConduitPlugin, ItsDialogComesFromItsOwnResources) {
  auto cfg = reinterpret_cast<int32_t (*)(uint32_t, void*, uint32_t*)>(
      library_symbol(library, "CfgConduit"));
  ASSERT_NE(cfg, nullptr);
  int asked = 0;
  dialog_front_end user{answer_ok, nullptr, &asked};
  dialog_set_front_end(&user);
  uint8_t record[352] = {1, 0, 0, 0, 0x60, 1};
  record[340] = 3;  // next action: desktop overwrites handheld
  uint32_t size = sizeof record;
  EXPECT_EQ(cfg(0, record, &size), 0);
  dialog_set_front_end(nullptr);
  EXPECT_EQ(asked, 1);
  EXPECT_EQ(record[344], 3);  // chosen as it opened
  EXPECT_EQ(record[348], 2);
  EXPECT_EQ(dialog_live_bitmaps(), 0);
}

}  // namespace
