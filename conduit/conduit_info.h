// What the conduit answers about itself.
#pragma once

#include <cstdint>

#include "conduit/conduit_api.h"

constexpr char kConduitName[] = "Quorvia Conduit";
constexpr char kConduitIdentifier[] = "quorviaconduit";
constexpr uint32_t kConduitVersion = 0x0101;

// The answer to info type 1, and the record number of info type 3.
constexpr uint32_t kInfoMaxSizeAnswer = 0x10000000;
constexpr uint32_t kRecordNumber = 2;
