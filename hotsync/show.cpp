#include "hotsync/show.h"

#include <cinttypes>
#include <cstdint>

namespace {

// Unix seconds as a calendar date (UTC), for orientation only. Counted here
// rather than by the C library, whose range differs between systems: every
// one prints the same date, and none for a year an int cannot hold.
void print_date(std::FILE* out, int64_t seconds) {
  const int64_t days = seconds / 86400 - (seconds % 86400 < 0) + 719468;  // from 0000-03-01
  const int64_t era = (days >= 0 ? days : days - 146096) / 146097;        // 400-year cycles
  const int64_t day_of_era = days - era * 146097;
  const int64_t year_of_era =
      (day_of_era - day_of_era / 1460 + day_of_era / 36524 - day_of_era / 146096) / 365;
  const int64_t day_of_year =
      day_of_era - (365 * year_of_era + year_of_era / 4 - year_of_era / 100);
  const int64_t march_month = (5 * day_of_year + 2) / 153;  // 0 for March
  const int64_t day = day_of_year - (153 * march_month + 2) / 5 + 1;
  const int64_t month = march_month < 10 ? march_month + 3 : march_month - 9;
  const int64_t year = year_of_era + era * 400 + (month <= 2);
  if (year - 1900 < INT32_MIN || year - 1900 > INT32_MAX) return;
  std::fprintf(out, "%04d-%02d-%02d", static_cast<int>(year), static_cast<int>(month),
               static_cast<int>(day));
}

// A text that may hold line ends: continuation lines are indented under the first.
void print_text(std::FILE* out, const char* label, const char* text) {
  std::fprintf(out, "  %s ", label);
  for (const char* p = text ? text : ""; *p; ++p) {
    std::fputc(*p, out);
    if (*p == '\n' && p[1]) std::fputs("     ", out);
  }
  std::fputc('\n', out);
}

}  // namespace

void show_data_set(std::FILE* out, const element_db* db) {
  std::fprintf(out, "time of start: %" PRId32 " (", db->tm_strt);
  print_date(out, db->tm_strt);
  std::fprintf(out, ")\n");

  std::fprintf(out, "categories: %" PRId32 "\n", db->ctgr_count);
  for (int32_t i = 0; i < db->ctgr_count; ++i) {
    const category* c = db->ctgrs[i];
    std::fprintf(out, "  %5" PRId32 "  %-24s bgcolor %10" PRIu32 " (0x%08" PRIX32 ")\n", i, c->name,
                 c->bgcolor, c->bgcolor);
  }

  int64_t count = 0;
  for (const element* e = db->head; e; e = e->next)
    ++count;
  std::fprintf(out, "elements: %" PRId64 "\n", count);
  for (const element* e = db->head; e; e = e->next) {
    std::fprintf(out, "\nelement %" PRIu32 " (created ", e->id);
    print_date(out, e->id);
    std::fprintf(out, ")\n");
    std::fprintf(out, "  tm_t_rpt %u  stm_t_rpt %u  l_ivl %u  rl_l_ivl %u  ivl %u  rp %u  gr %u\n",
                 e->tm_t_rpt, e->stm_t_rpt, e->l_ivl, e->rl_l_ivl, e->ivl, e->rp, e->gr);
    const char* name = e->ctgr < db->ctgr_count ? db->ctgrs[e->ctgr]->name : "(none)";
    std::fprintf(out, "  category %s (%u)\n", name, e->ctgr);
    print_text(out, "Q:", e->q);
    print_text(out, "A:", e->a);
  }
}
