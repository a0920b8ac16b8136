#include <cinttypes>
#include <cstdio>
#include <cstring>

#include "conduit/conduit_api.h"
#include "hotsync/conduit_commands.h"
#include "hotsync/conduit_plugin.h"
#include "util/byte_order.h"

namespace {

// A string of the record, read no further than its field.
std::string field(const uint8_t* record, uint32_t offset, uint32_t size) {
  const char* text = reinterpret_cast<const char*>(record + offset);
  return std::string(text, strnlen(text, size));
}

}  // namespace

int run_info(const session_options& options, std::string* why) {
  host_setup setup;
  if (!setup.prepare(options, why)) return -1;
  conduit_plugin conduit;
  if (!load_conduit(options.conduit, &conduit, why)) return -1;

  char name[256] = {};
  conduit.GetConduitName(name);
  const uint32_t version = conduit.GetConduitVersion();
  std::printf("name:        %s\n", name);
  std::printf("version:     %" PRIu32 " (0x%04" PRIX32 ", %" PRIu32 ".%" PRIu32 ")\n", version,
              version, version >> 8, version & 0xFF);

  uint8_t request[kInfoRequestSize] = {};
  request[0] = kInfoRequestVersion;
  request[4] = kInfoRequestSize;
  char info_name[256] = {};
  uint32_t size = sizeof info_name;
  if (conduit.GetConduitInfo(kInfoTypeName, request, info_name, &size) == 0) {
    std::printf("info name:   %s\n", info_name);
  }
  uint32_t default_action = 0;
  size = sizeof default_action;
  if (conduit.GetConduitInfo(kInfoTypeDefaultAction, nullptr, &default_action, &size) == 0) {
    std::printf("default:     %" PRIu32 "\n", default_action);
  }

  uint8_t record[1024];
  std::memset(record, 0, sizeof record);
  size = sizeof record;
  int32_t result = conduit.GetConduitInfo(kInfoTypeConduitRecord, nullptr, record, &size);
  if (result != 0) {
    *why = "the conduit refused its conduit record (" + std::to_string(result) + ")";
    return -1;
  }
  const uint32_t creator = get_le32(record + kRecordCreatorOffset);
  const char four[5] = {static_cast<char>(creator >> 24), static_cast<char>(creator >> 16),
                        static_cast<char>(creator >> 8), static_cast<char>(creator), 0};
  std::printf("creator:     %s (0x%08" PRIX32 ")\n", four, creator);
  std::printf("number:      %" PRIu32 "\n", get_le32(record + kRecordNumberOffset));
  std::printf(
      "identifier:  %s\n",
      field(record, kRecordIdentifierOffset, kRecordPathOffset - kRecordIdentifierOffset).c_str());
  const std::string path = field(record, kRecordPathOffset, kRecordNameOffset - kRecordPathOffset);
  std::printf("desktop:     %s\n", path.empty() ? "(the data directory is not set)" : path.c_str());
  std::printf("record name: %s\n",
              field(record, kRecordNameOffset, sizeof record - kRecordNameOffset).c_str());
  return std::fflush(stdout) == 0 ? 0 : -1;
}
