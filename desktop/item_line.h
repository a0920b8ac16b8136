// The line that opens an item, as the writer writes it, read in one pass:
//
//   <item id="N" tm_t_rpt="N" stm_t_rpt="N" ctgr="NAME" l_ivl="N" rl_l_ivl="N" ivl="N" rp="N"
//   gr="N">
//
// Nearly every item line of a file looks so. On such a line the scanner's
// search for each attribute in turn finds exactly these values, so reading
// them at once gives the same element; every other line is left to it.
#pragma once

#include <cstddef>
#include <cstdint>

struct item_line {
  uint32_t id;
  // tm_t_rpt, stm_t_rpt, l_ivl, rl_l_ivl, ivl, rp, gr: the numbers after the
  // id in their order, each cut to 16 bits.
  uint16_t numbers[7];
  char* ctgr;  // the category's name, terminated in the line; empty for ""
};

// Whether line (a whole line of length bytes, its line feed included, then
// its terminator) is such a line, with no "<" in its category's name (the
// scanner would look for tags there). Only then is *out filled and the
// name's closing quote replaced by a terminator.
bool read_item_line(char* line, size_t length, item_line* out);
