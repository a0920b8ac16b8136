// The layout of the handheld database QVelements: one byte stream (header,
// categories, elements) cut into records. Written down once.
#pragma once

#include <cstdint>

constexpr char kHhDbName[] = "QVelements";
constexpr int32_t kHhCardNo = 0;
constexpr uint32_t kHhCreator = 0x4E445645;  // the four bytes N D V E
constexpr uint32_t kHhType = 0x44415441;     // 'DATA'
constexpr uint8_t kHhOpenMode = 0xF0;        // read, write, exclusive, secret records

// The format version the writer puts in the stream's header; the reader does
// not check it.
constexpr uint16_t kHhCoreVersion = 11;

// The writer's record buffer. A unit is appended only while the record then
// stays below this size, so no record reaches it: records hold at most
// kHhRecordCapacity - 1 bytes, and so does any single unit.
constexpr uint32_t kHhRecordCapacity = 64720;
// The reader's record buffer: the largest record it accepts.
constexpr uint32_t kHhReadBufferSize = 65535;

// Fixed part of an element: id, the eight 16-bit values; then the two text
// lengths as one unit.
constexpr uint32_t kHhElementFixedSize = 20;
constexpr uint32_t kHhLengthsUnitSize = 4;

// The reserve of each fixed element field: the fixed bytes that follow it,
// which must fit into the same record. Index 0 is the id, 1 to 8 the eight
// 16-bit values in stored order.
constexpr uint32_t kHhFieldReserve[9] = {16, 14, 12, 10, 8, 6, 4, 2, 0};

// A stored category name is read into a buffer of this many bytes plus the
// terminator; longer names keep their first bytes.
constexpr uint32_t kHhNameBufferSize = 135;
