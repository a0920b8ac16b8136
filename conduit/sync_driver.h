// One HotSync in one direction: loads, merge or copy, writes.
#pragma once

#include <cstdint>

enum how_to_sync : int32_t { FULL = 0, PC2HH = 1, HH2PC = 2 };

// Registers with the Sync Manager, empties both data sets, runs the direction
// and unregisters. Returns 0, or 1 when the registration was refused.
int32_t run_sync(int32_t howToSync);

// Non-zero while daylight-saving time is in force in local time.
int is_dst_now();
