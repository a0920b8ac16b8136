// The conduit's entry points, as the HotSync Manager calls them, and the
// records it passes with them.
#pragma once

#include <cstdint>

#if defined(_WIN32)
#define QV_EXPORT
#else
#define QV_EXPORT __attribute__((visibility("default")))
#endif

// The HotSync Manager's properties of one sync; the conduit reads only the
// first field.
struct sync_properties {
  uint32_t sync_type;  // 0, 1: synchronise; 2: handheld overwrites desktop;
                       // 3: desktop overwrites handheld; 4 and above: nothing
};

// sync_type codes, which are also the HotSync actions of the dialog.
constexpr uint32_t kSyncTypeFast = 0;
constexpr uint32_t kSyncTypeSlow = 1;
constexpr uint32_t kSyncTypeHHToPC = 2;
constexpr uint32_t kSyncTypePCToHH = 3;
constexpr uint32_t kSyncTypeDoNothing = 6;

// Results of OpenConduit.
constexpr int32_t kOpenConduitDone = 0;
constexpr int32_t kOpenConduitRefused = 1;  // the Sync Manager refused the registration
// The HotSync was not carried through: a side could not be read or written,
// the data directory is not set, or memory ran out. The HotSync log says why;
// nothing that the next HotSync relies on was changed.
constexpr int32_t kOpenConduitIncomplete = 2;

// Where the conduit finds the desktop data: a string value in the current
// user's part of the registry naming the Quorvia data directory. A value
// without its separator still names the folder; an empty one is not set.
constexpr char kRegistryKeyPath[] = "Software\\Quorvia\\SETTINGS";
constexpr char kRegistryDataDirValue[] = "pathtodatadir";
// The room the conduit reads the value into, its terminator included (a
// longer value is too long, whatever a NUL in it says), and the longest
// data directory it takes, its separator included.
constexpr int kConduitDataDirValueRoom = 512;
constexpr int kConduitDataDirMaxLength = 499;
// The desktop file in the data directory, and the temporary the conduit
// writes before it puts it in its place.
constexpr char kConduitDesktopFile[] = "elements.xml";
constexpr char kConduitDesktopTmpFile[] = "elements.tmp";

// What a host may look for beside the conduit's results. The conduit keeps the
// time of its last complete HotSync per handheld user in this file of the
// data directory, replaced through the temporary beside it (a host that runs
// a HotSync on copies copies it too), and names a text it wrote changed to
// elements.xml in a HotSync log entry holding this phrase.
constexpr char kConduitSyncRecordFile[] = "conduit_last_sync.txt";
constexpr char kConduitSyncRecordTmpFile[] = "conduit_last_sync.tmp";
constexpr char kConduitUnholdableTextPhrase[] = "which elements.xml cannot hold";

// GetConduitInfo's info types.
constexpr uint32_t kInfoTypeName = 0;
constexpr uint32_t kInfoTypeMaxSize = 1;
constexpr uint32_t kInfoTypeDefaultAction = 2;
constexpr uint32_t kInfoTypeConduitRecord = 3;
constexpr uint32_t kInfoTypeFlag = 4;
constexpr uint32_t kLastInfoType = 6;
// The request record of info types 0 and 4: 80 bytes, of which the conduit
// reads the version (must be 1) and the size (must be 80), little-endian.
constexpr uint32_t kInfoRequestVersion = 1;
constexpr uint32_t kInfoRequestSize = 80;
// The conduit record of info type 3: fields at fixed offsets of the buffer.
constexpr uint32_t kRecordCreatorOffset = 0;
constexpr uint32_t kRecordNumberOffset = 4;
constexpr uint32_t kRecordIdentifierOffset = 8;
constexpr uint32_t kRecordPathOffset = 263;
constexpr uint32_t kRecordNameOffset = 550;

// The configuration record of CfgConduit: 352 bytes of the one kind and
// version the conduit knows, numbers 32-bit little-endian.
constexpr uint32_t kCfgRecordKind = 0;
constexpr uint32_t kCfgRecordVersion = 1;
constexpr uint32_t kCfgRecordSize = 352;
constexpr uint32_t kCfgVersionOffset = 0;
constexpr uint32_t kCfgSizeOffset = 4;
constexpr uint32_t kCfgShowCurrentOffset = 8;
constexpr uint32_t kCfgUserNameOffset = 16;
constexpr uint32_t kCfgUserNameSize = 64;
constexpr uint32_t kCfgDefaultActionOffset = 336;
constexpr uint32_t kCfgNextActionOffset = 340;
constexpr uint32_t kCfgChosenActionOffset = 344;
constexpr uint32_t kCfgMakeDefaultOffset = 348;
// The HotSync Manager's preference record of ConfigureConduit: two fields.
constexpr uint32_t kPrefMakeDefaultOffset = 516;
constexpr uint32_t kPrefSyncTypeOffset = 520;
constexpr uint32_t kPrefRecordMinSize = 524;
// make_default: the choice becomes the default, or holds for the next HotSync.
constexpr uint32_t kMakeDefault = 1;
constexpr uint32_t kNextHotSyncOnly = 2;

// Refusals of the information and configuration entry points.
constexpr int32_t ERR_BAD_INFO_TYPE = 4208;
constexpr int32_t ERR_NO_OUT_BUFFER = 4209;
constexpr int32_t ERR_BAD_OUT_SIZE = 4211;
constexpr int32_t ERR_NO_ARGS = 4212;
constexpr int32_t ERR_BAD_ARGS = 4213;
constexpr int32_t ERR_NO_OUT_SIZE = 4215;
constexpr int32_t ERR_NO_ARGS_SIZE = 4216;
constexpr int32_t ERR_BAD_CFG_TYPE = 4217;
constexpr int32_t ERR_BAD_ARGS_SIZE = 4218;
constexpr int32_t ERR_BAD_CFG_VERSION = 4219;

extern "C" {
// Runs one HotSync in the direction the properties ask for. Returns one of
// the results above (0 also for a sync type that does nothing).
QV_EXPORT int32_t OpenConduit(void* unused, sync_properties* properties);

// Answers the HotSync Manager's questions about the conduit. info_type 0: the
// name; 1: a size; 2: the default action; 3: the conduit record; 4: a flag;
// 5 and 6: nothing. args: the 80-byte request (types 0 and 4); size: in, the
// buffer's size; out, what was written (type 0) or the answer (type 1).
QV_EXPORT int32_t GetConduitInfo(uint32_t info_type, void* args, void* out, uint32_t* size);
// Copies the conduit's name with its NUL into name, unchecked. Returns 0.
QV_EXPORT int32_t GetConduitName(char* name);
QV_EXPORT uint32_t GetConduitVersion();

// Shows the action dialog for the HotSync Manager's preference record (the
// current action at offset 520). On OK writes the chosen action there and
// make_default (1 default, 2 next HotSync only) at 516 and returns 0; else -1.
QV_EXPORT int32_t ConfigureConduit(void* preference);
// Shows the action dialog with the user's current settings for a 352-byte
// configuration record (kind 0, version 1); on OK the dialog writes the chosen
// action and make_default into it. Returns 0 once shown, or a refusal code.
QV_EXPORT int32_t CfgConduit(uint32_t kind, void* record, uint32_t* size);
}
