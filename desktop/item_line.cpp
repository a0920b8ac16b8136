#include "desktop/item_line.h"

namespace {

// Moves *p past text when the line continues with it.
bool skip(const char** p, const char* text) {
  const char* at = *p;
  for (; *text; ++text, ++at) {
    if (*at != *text) return false;
  }
  *p = at;
  return true;
}

// The digits at *p, in the scanner's wrapping 32-bit arithmetic; at least one.
bool number(const char** p, uint32_t* value) {
  const char* at = *p;
  if (*at < '0' || *at > '9') return false;
  uint32_t v = 0;
  for (; *at >= '0' && *at <= '9'; ++at)
    v = v * 10u + static_cast<uint32_t>(*at - '0');
  *value = v;
  *p = at;
  return true;
}

}  // namespace

bool read_item_line(char* line, item_line* out) {
  static const char* const kBefore[] = {"\" tm_t_rpt=\"", "\" stm_t_rpt=\""};
  static const char* const kAfter[] = {"\" l_ivl=\"", "\" rl_l_ivl=\"", "\" ivl=\"", "\" rp=\"",
                                       "\" gr=\""};
  item_line got;
  const char* p = line;
  uint32_t v = 0;
  if (!skip(&p, "<item id=\"") || !number(&p, &got.id)) return false;
  int n = 0;
  for (const char* name_eq : kBefore) {
    if (!skip(&p, name_eq) || !number(&p, &v)) return false;
    got.numbers[n++] = static_cast<uint16_t>(v);
  }
  if (!skip(&p, "\" ctgr=\"")) return false;
  const char* name = p;
  for (; *p != '"'; ++p) {
    if (*p == '\0' || *p == '<') return false;
  }
  const char* close = p;
  for (const char* name_eq : kAfter) {
    if (!skip(&p, name_eq) || !number(&p, &v)) return false;
    got.numbers[n++] = static_cast<uint16_t>(v);
  }
  if (!skip(&p, "\">\n") || *p != '\0') return false;
  got.ctgr = line + (name - line);
  line[close - line] = '\0';
  *out = got;
  return true;
}
