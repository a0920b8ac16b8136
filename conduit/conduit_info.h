// What the conduit answers about itself.
#pragma once

#include <cstdint>

constexpr char kConduitName[] = "Quorvia Conduit";
constexpr char kConduitIdentifier[] = "quorviaconduit";
constexpr uint32_t kConduitVersion = 0x0101;

// Result codes of the information and configuration entry points.
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

// The argument record of info types 0 and 4: 80 bytes, of which the conduit
// reads the version (must be 1) and the size (must be 80), little-endian.
constexpr uint32_t kInfoRequestVersion = 1;
constexpr uint32_t kInfoRequestSize = 80;

// The conduit record of info type 3: fixed offsets in the caller's buffer.
constexpr uint32_t kInfoTypeName = 0;
constexpr uint32_t kInfoTypeMaxSize = 1;
constexpr uint32_t kInfoTypeDefaultAction = 2;
constexpr uint32_t kInfoTypeConduitRecord = 3;
constexpr uint32_t kInfoTypeFlag = 4;
constexpr uint32_t kLastInfoType = 6;
constexpr uint32_t kInfoMaxSizeAnswer = 0x10000000;
constexpr uint32_t kRecordCreatorOffset = 0;
constexpr uint32_t kRecordNumberOffset = 4;
constexpr uint32_t kRecordIdentifierOffset = 8;
constexpr uint32_t kRecordPathOffset = 263;
constexpr uint32_t kRecordNameOffset = 550;
constexpr uint32_t kRecordNumber = 2;
