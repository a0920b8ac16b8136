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

// What a host may look for beside the conduit's results. The conduit keeps the
// time of its last complete HotSync per handheld user in this file of the
// Quorvia data directory (a host that runs a HotSync on copies copies it too),
// and names a text it wrote changed to elements.xml in a HotSync log entry
// holding this phrase.
constexpr char kConduitSyncRecordFile[] = "conduit_last_sync.txt";
constexpr char kConduitUnholdableTextPhrase[] = "which elements.xml cannot hold";

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
