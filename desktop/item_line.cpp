#include "desktop/item_line.h"

#include <cstring>

namespace {

// Moves *p past text when the line, which ends at end, continues with it.
template <size_t N>
bool skip(const char** p, const char* end, const char (&text)[N]) {
  if (static_cast<size_t>(end - *p) < N - 1 || std::memcmp(*p, text, N - 1) != 0) return false;
  *p += N - 1;
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

// name_eq and the number after it, kept to 16 bits.
template <size_t N>
bool value(const char** p, const char* end, const char (&name_eq)[N], uint16_t* kept) {
  uint32_t v = 0;
  if (!skip(p, end, name_eq) || !number(p, &v)) return false;
  *kept = static_cast<uint16_t>(v);
  return true;
}

}  // namespace

bool read_item_line(char* line, size_t length, item_line* out) {
  item_line got;
  const char* p = line;
  const char* const end = line + length;
  uint16_t* n = got.numbers;
  if (!skip(&p, end, "<item id=\"") || !number(&p, &got.id) ||
      !value(&p, end, "\" tm_t_rpt=\"", &n[0]) || !value(&p, end, "\" stm_t_rpt=\"", &n[1]) ||
      !skip(&p, end, "\" ctgr=\""))
    return false;
  const char* name = p;
  for (; *p != '"'; ++p) {
    if (*p == '\0' || *p == '<') return false;
  }
  const char* close = p;
  if (!value(&p, end, "\" l_ivl=\"", &n[2]) || !value(&p, end, "\" rl_l_ivl=\"", &n[3]) ||
      !value(&p, end, "\" ivl=\"", &n[4]) || !value(&p, end, "\" rp=\"", &n[5]) ||
      !value(&p, end, "\" gr=\"", &n[6]) || !skip(&p, end, "\">\n") || p != end)
    return false;
  got.ctgr = line + (name - line);
  line[close - line] = '\0';
  *out = got;
  return true;
}
