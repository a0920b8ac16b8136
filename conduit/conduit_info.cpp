#include "conduit/conduit_info.h"

#include <cstdlib>
#include <cstring>

#include "conduit/conduit_api.h"
#include "conduit/data_dir.h"
#include "handheld/hh_layout.h"
#include "util/byte_order.h"

namespace {

// Copies a string with its NUL; the bytes after it stay as they were.
void put_string(uint8_t* at, const char* text) {
  std::memcpy(at, text, std::strlen(text) + 1);
}

// The conduit record. A desktop path that cannot be had, or that would run
// into the name field, is written empty rather than cut or overlapping.
void write_conduit_record(uint8_t* out) {
  put_le32(out + kRecordCreatorOffset, kHhCreator);
  put_le32(out + kRecordNumberOffset, kRecordNumber);
  put_string(out + kRecordIdentifierOffset, kConduitIdentifier);
  char* path = get_xml_path();
  const bool fits = path && std::strlen(path) < kRecordNameOffset - kRecordPathOffset;
  put_string(out + kRecordPathOffset, fits ? path : "");
  std::free(path);
  put_string(out + kRecordNameOffset, kConduitName);
}

}  // namespace

extern "C" int32_t GetConduitInfo(uint32_t info_type, void* args, void* out, uint32_t* size) {
  if (!out) return ERR_NO_OUT_BUFFER;
  if (!size) return ERR_NO_OUT_SIZE;
  uint8_t* bytes = static_cast<uint8_t*>(out);
  const uint8_t* request = static_cast<const uint8_t*>(args);
  switch (info_type) {
    case kInfoTypeName: {
      if (!request) return ERR_NO_ARGS;
      if (get_le32(request) != kInfoRequestVersion || get_le32(request + 4) != kInfoRequestSize) {
        return ERR_BAD_ARGS;
      }
      const uint32_t needed = static_cast<uint32_t>(sizeof kConduitName);
      if (*size < needed) return ERR_BAD_OUT_SIZE;
      put_string(bytes, kConduitName);
      *size = needed;
      return 0;
    }
    case kInfoTypeMaxSize:
      *size = kInfoMaxSizeAnswer;
      return 0;
    case kInfoTypeDefaultAction:
      put_le32(bytes, kSyncTypeFast);
      return 0;
    case kInfoTypeConduitRecord:
      write_conduit_record(bytes);
      return 0;
    case kInfoTypeFlag:
      if (!request) return ERR_NO_ARGS;
      if (*size != 1) return ERR_BAD_OUT_SIZE;
      bytes[0] = 0;
      return 0;
    default:
      return info_type <= kLastInfoType ? 0 : ERR_BAD_INFO_TYPE;
  }
}

extern "C" int32_t GetConduitName(char* name) {
  if (name) put_string(reinterpret_cast<uint8_t*>(name), kConduitName);
  return 0;
}

extern "C" uint32_t GetConduitVersion() {
  return kConduitVersion;
}
