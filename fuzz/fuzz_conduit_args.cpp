// The information and configuration entry points with any arguments, and the
// dialog driven by any keys: no crash, a refused request touches nothing, and
// the dialog leaves no picture behind.
#include <cstring>
#include <vector>

#include "conduit/action_dialog.h"
#include "conduit/conduit_api.h"
#include "conduit/conduit_info.h"
#include "conduit/module_state.h"
#include "fuzz/fuzz_target.h"
#include "platform/posix/dialog_front_end.h"
#include "platform/posix/resource_table.h"
#include "resources/resource_ids.h"

extern const resource_table conduit_resources;

namespace {

struct key_script {
  const uint8_t* at;
  const uint8_t* end;
};

bool next_input(const posix_dialog&, ui_event* event, void* context) {
  auto* script = static_cast<key_script*>(context);
  if (script->at >= script->end) return false;
  const uint8_t b = *script->at++;
  static const int kKeys[] = {kKeyEnter, kKeyEscape, kKeyF1,      kKeyUp,    kKeyDown, kKeyLeft,
                              kKeyRight, kKeyTab,    kKeyBackTab, kKeySpace, 's',      'd',
                              'h',       'n',        'a',         'x'};
  static const int kControls[] = {
      IDC_SYNC, IDC_PC_TO_HH,    IDC_HH_TO_PC,     IDC_DO_NOTHING,  IDC_SET_DEFAULT, IDOK,
      IDCANCEL, IDC_HELP_BUTTON, IDC_ACTION_GROUP, IDC_SYNC_BITMAP, IDC_NEXT_TEXT,   12345};
  if (b < 0x40) {
    *event = ui_event{ui_input::key, kKeys[b % 16]};
  } else if (b < 0xF0) {
    *event = ui_event{ui_input::click, kControls[b % 12]};
  } else {
    dialog_set_sys_color(COLOR_BTNFACE, static_cast<color_ref>(b) * 0x010101u);
    *event = ui_event{ui_input::system_colors_changed, 0};
  }
  return true;
}

void show_help(const char*, uint32_t, uintptr_t, void*) {}

int module_anchor;

void once() {
  static bool done = false;
  if (done) return;
  done = true;
  register_module(&module_anchor, "/opt/quorvia/libquorvia_conduit.so", &conduit_resources);
  g_module = &module_anchor;
}

// Bytes from the input, zero past its end.
std::vector<uint8_t> take(const uint8_t** at, const uint8_t* end, size_t n) {
  std::vector<uint8_t> out(n, 0);
  for (size_t i = 0; i < n && *at < end; ++i)
    out[i] = *(*at)++;
  return out;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  once();
  if (size < 8) return 0;
  const uint8_t* at = data + 8;
  const uint8_t* end = data + size;
  uint32_t size_value;
  std::memcpy(&size_value, data + 4, 4);
  switch (data[0] % 3) {
    case 0: {
      const uint32_t type = data[1] % 10;
      std::vector<uint8_t> args = take(&at, end, kInfoRequestSize);
      std::vector<uint8_t> out(1024, 0xEE);
      uint32_t size_in = data[3] % 2 ? size_value % 2048 : size_value;
      const uint32_t before = size_in;
      const int32_t result =
          GetConduitInfo(type, data[2] & 1 ? nullptr : args.data(),
                         data[2] & 2 ? nullptr : out.data(), data[2] & 4 ? nullptr : &size_in);
      if (result != 0) {
        FUZZ_CHECK(size_in == before);
        for (uint8_t b : out)
          FUZZ_CHECK(b == 0xEE);
      }
      if (result == 0 && type == 0) FUZZ_CHECK(size_in == sizeof kConduitName);
      return 0;
    }
    case 1: {
      std::vector<uint8_t> record = take(&at, end, kCfgRecordSize);
      if (data[1] % 4 != 0) record[0] = 1, record[1] = record[2] = record[3] = 0;
      const std::vector<uint8_t> before = record;
      uint32_t record_size = data[2] % 4 ? kCfgRecordSize : size_value;
      key_script script{at, end};
      dialog_front_end user{next_input, show_help, &script};
      dialog_set_front_end(&user);
      const int32_t result = CfgConduit(data[3] % 5 == 0 ? data[3] : 0, record.data(),
                                        data[2] == 0xFF ? nullptr : &record_size);
      dialog_set_front_end(nullptr);
      if (result != 0) FUZZ_CHECK(record == before);
      for (size_t i = 0; i < kCfgRecordSize; ++i) {
        if (i < kCfgChosenActionOffset) FUZZ_CHECK(record[i] == before[i]);
      }
      FUZZ_CHECK(dialog_live_bitmaps() == 0);
      return 0;
    }
    default: {
      std::vector<uint8_t> preference = take(&at, end, kPrefRecordMinSize);
      const std::vector<uint8_t> before = preference;
      key_script script{at, end};
      dialog_front_end user{next_input, show_help, &script};
      dialog_set_front_end(&user);
      const int32_t result = ConfigureConduit(preference.data());
      dialog_set_front_end(nullptr);
      FUZZ_CHECK(result == 0 || result == -1);
      if (result != 0) FUZZ_CHECK(preference == before);
      for (size_t i = 0; i < kPrefMakeDefaultOffset; ++i)
        FUZZ_CHECK(preference[i] == before[i]);
      FUZZ_CHECK(dialog_live_bitmaps() == 0);
      return 0;
    }
  }
}
