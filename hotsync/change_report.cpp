#include "hotsync/change_report.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <exception>
#include <filesystem>
#include <new>
#include <utility>

#include "hotsync/data_set_file.h"
#include "hotsync/digest_buffers.h"
#include "hotsync/host_paths.h"
#include "hotsync/scoped_db.h"
#include "model/element_db.h"
#include "platform/file.h"
#include "platform/thread.h"

// Compiled in: the host needs no library of it at run time.
#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

constexpr uint64_t kDigestPrime = 1099511628211ull;

// The length of the well-formed UTF-8 sequence that starts at s[i], or 0
// when none does (a stray continuation byte, an overlong form, a surrogate,
// a code point above U+10FFFF, a sequence cut short).
size_t utf8_length(const std::string& s, size_t i) {
  const uint8_t c = static_cast<uint8_t>(s[i]);
  if (c < 0x80) return 1;
  size_t n = 0;
  uint8_t low = 0x80, high = 0xBF;  // the second byte's range
  if (c >= 0xC2 && c <= 0xDF) {
    n = 2;
  } else if (c >= 0xE0 && c <= 0xEF) {
    n = 3;
    if (c == 0xE0) low = 0xA0;
    if (c == 0xED) high = 0x9F;
  } else if (c >= 0xF0 && c <= 0xF4) {
    n = 4;
    if (c == 0xF0) low = 0x90;
    if (c == 0xF4) high = 0x8F;
  } else {
    return 0;
  }
  if (s.size() - i < n) return 0;
  for (size_t k = 1; k < n; ++k) {
    const uint8_t b = static_cast<uint8_t>(s[i + k]);
    if (b < (k == 1 ? low : 0x80) || b > (k == 1 ? high : 0xBF)) return 0;
  }
  return n;
}

}  // namespace

std::string json_string(const std::string& s) {
  std::string out = "\"";
  for (size_t i = 0; i < s.size();) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    const size_t n = utf8_length(s, i);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += static_cast<char>(c);
    } else if (c < 0x20 || n == 0) {
      char escaped[8];
      std::snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out.append(s, i, n);
      i += n;
      continue;
    }
    ++i;
  }
  return out + "\"";
}

std::string one_line(const char* text) {
  std::string s = text;
  size_t end = s.size();
  size_t lead = end;
  while (lead > 0 && (static_cast<uint8_t>(s[lead - 1]) & 0xC0) == 0x80)
    --lead;
  if (lead > 0 && static_cast<uint8_t>(s[lead - 1]) >= 0xC0) {
    const uint8_t first = static_cast<uint8_t>(s[lead - 1]);
    const size_t want = first >= 0xF0 ? 4 : first >= 0xE0 ? 3 : 2;
    if (end - (lead - 1) < want) s.resize(lead - 1);
  }
  std::replace(s.begin(), s.end(), '\n', ' ');
  std::replace(s.begin(), s.end(), '\r', ' ');
  return s;
}

uint64_t bytes_digest(const void* bytes, size_t size) {
  return XXH3_64bits(bytes, size);
}

uint64_t fnv_digest(const void* bytes, size_t size, uint64_t digest) {
  const uint8_t* p = static_cast<const uint8_t*>(bytes);
  for (size_t i = 0; i < size; ++i)
    digest = (digest ^ p[i]) * kDigestPrime;
  return digest;
}

uint64_t texts_digest(uint64_t question, uint64_t answer) {
  // The multiplication keeps a question and an answer that trade places apart.
  return (question * kDigestPrime) ^ answer;
}

uint64_t texts_digest(const element_digest& d) {
  return d.texts;
}

namespace {

// An element's digest but for its texts' and its place.
element_digest digest_without_texts(const element& e) {
  element_digest d{};
  d.id = e.id;
  const uint16_t values[7] = {e.tm_t_rpt, e.stm_t_rpt, e.l_ivl, e.rl_l_ivl, e.ivl, e.rp, e.gr};
  std::memcpy(d.schedule, values, sizeof values);
  d.category = e.ctgr;
  return d;
}

uint64_t text_digest(const char* text) {
  return bytes_digest(text ? text : "", text ? std::strlen(text) : 0);
}

uint64_t fnv_text_digest(const char* text) {
  return text ? fnv_digest(text, std::strlen(text)) : kFnvStart;
}

}  // namespace

element_digest digest_of(const element& e) {
  element_digest d = digest_without_texts(e);
  d.texts = texts_digest(text_digest(e.q), text_digest(e.a));
  return d;
}

namespace {

// What a side's reading gathers, element by element, in the reader's order.
struct side_gathering {
  bool with_starts;
  bool fnv_texts;
  std::vector<element_digest> digests;
  std::vector<question_start> starts;
  std::vector<uint64_t> fnv;
};

bool gather_digest(void* context, const element_db&, const element& e) {
  side_gathering* g = static_cast<side_gathering*>(context);
  try {
    // The texts are at hand, just read: digested now, not gathered to be
    // digested later.
    element_digest d = digest_of(e);
    d.place = static_cast<uint32_t>(g->digests.size());
    g->digests.push_back(d);
    if (g->fnv_texts) g->fnv.push_back(texts_digest(fnv_text_digest(e.q), fnv_text_digest(e.a)));
    if (g->with_starts) {
      g->starts.emplace_back();
      std::snprintf(g->starts.back().text, sizeof g->starts.back().text, "%s", e.q);
    }
  } catch (const std::bad_alloc&) {
    return false;
  }
  return true;
}

// In id order, equal ids by place. They come in place order, so a stable
// sort of small keys (id, index) by id, then one pass that moves each digest
// to its place, does it: a comparison sort moves the whole digests at every
// step, and took three times as long. The room for the keys and the ordered
// digests comes from `buffers` where it can, and the room let go of goes
// there. Without room for the keys, that sort in place.
void order_by_id(std::vector<element_digest>* digests, digest_buffers* buffers) {
  std::vector<element_digest>& all = *digests;
  const size_t n = all.size();
  if (n < 2) return;
  const ordering_turn turn(buffers);
  std::vector<uint64_t> keys = take_keys(buffers, n);
  std::vector<uint64_t> spare = take_keys(buffers, n);
  std::vector<element_digest> ordered = take_digests(buffers, n);
  try {
    // Fresh room for a quarter more, within the digests' own: the next
    // reading may hold more (a HotSync adds the other side's elements), and
    // room never touched costs no memory, only address space, which a 32-bit
    // process has little of.
    const size_t room = std::max(n, std::min(all.capacity(), n + n / 4));
    if (keys.capacity() < n) keys.reserve(room);
    if (spare.capacity() < n) spare.reserve(room);
    if (ordered.capacity() < n) ordered.reserve(room);
    keys.resize(n);
    spare.resize(n);
    for (size_t k = 0; k < n; ++k)
      keys[k] = uint64_t{all[k].id} << 32 | k;
    constexpr int kDigitBits = 11;
    constexpr uint64_t kDigits = uint64_t{1} << kDigitBits;
    for (int shift = 32; shift < 64; shift += kDigitBits) {
      size_t starts[kDigits] = {};
      for (const uint64_t key : keys)
        ++starts[(key >> shift) & (kDigits - 1)];
      if (starts[(keys[0] >> shift) & (kDigits - 1)] == n) continue;  // one digit for all
      size_t sum = 0;
      for (size_t& start : starts) {
        const size_t count = start;
        start = sum;
        sum += count;
      }
      for (const uint64_t key : keys)
        spare[starts[(key >> shift) & (kDigits - 1)]++] = key;
      keys.swap(spare);
    }
    for (size_t k = 0; k < n; ++k)
      ordered.push_back(all[static_cast<uint32_t>(keys[k])]);
    all.swap(ordered);
  } catch (const std::bad_alloc&) {
    std::sort(all.begin(), all.end(), [](const element_digest& x, const element_digest& y) {
      return x.id != y.id ? x.id < y.id : x.place < y.place;
    });
  }
  give_back(buffers, &keys);
  give_back(buffers, &spare);
  give_back(buffers, &ordered);
}

// Equal ids as the desktop's whole data set lists them: in the order that
// inserting the elements one after the other gives (model/insertion_order.h):
// by tm_t_rpt, equal keys as they came, except the second before the first.
void order_as_inserted(std::vector<element_digest>* digests) {
  auto before = [](const element_digest& x, const element_digest& y) {
    if (x.schedule[0] != y.schedule[0]) return x.schedule[0] < y.schedule[0];
    if (x.place + y.place == 1) return x.place == 1;  // the first two
    return x.place < y.place;
  };
  std::vector<element_digest>& all = *digests;
  for (size_t run = 0; run < all.size();) {
    size_t end = run + 1;
    while (end < all.size() && all[end].id == all[run].id)
      ++end;
    if (end - run > 1) {
      std::sort(all.begin() + static_cast<std::ptrdiff_t>(run),
                all.begin() + static_cast<std::ptrdiff_t>(end), before);
    }
    run = end;
  }
}

}  // namespace

side_state read_side(const std::string& path, bool with_starts, size_t expected, bool fnv_texts,
                     digest_buffers* buffers) {
  side_state side;
  std::error_code error;
  side.exists = std::filesystem::exists(fs_path(path), error);
  if (!side.exists) return side;
  scoped_db data;
  element_db& db = data.db;
  side_gathering got;
  got.with_starts = with_starts;
  got.fnv_texts = fnv_texts;
  if (expected == 0) {
    // Nothing to go by but the file: room for elements of a third of the
    // usual size or more, up to a few million (a larger side grows beyond).
    // Growing into it instead would take fresh memory for every size on the
    // way; room never used is never touched.
    constexpr uintmax_t kMostAhead = uintmax_t{1} << 23;
    const uintmax_t size = std::filesystem::file_size(fs_path(path), error);
    if (!error) {
      expected = static_cast<size_t>(std::min(size / (names_pdb(path) ? 80 : 128), kMostAhead));
    }
  }
  got.digests = take_digests(buffers, expected);
  try {
    got.digests.reserve(expected);
  } catch (const std::bad_alloc&) {
    // They grow as they come, then.
  }
  const element_sink sink{gather_digest, &got};
  if (!read_data_set(path, &db, &side.problem, &sink, &side.out_of_memory)) {
    give_back(buffers, &got.digests);
    return side;
  }
  side.readable = true;
  side.tm_strt = db.tm_strt;
  for (int32_t c = 0; c < db.ctgr_count; ++c)
    side.categories.push_back(db.ctgrs[c]->name);
  release_db(&db);
  // In id order; equal ids as the reader's data set lists them: the
  // handheld's as stored.
  order_by_id(&got.digests, buffers);
  if (!names_pdb(path)) order_as_inserted(&got.digests);
  if (with_starts) {
    side.starts.resize(got.digests.size());
    for (size_t k = 0; k < side.starts.size(); ++k)
      side.starts[k] = got.starts[got.digests[k].place];
  }
  side.elements = std::move(got.digests);
  side.fnv_texts = std::move(got.fnv);
  return side;
}

namespace {

struct side_job {
  const std::string* path;
  bool with_starts;
  size_t expected;
  bool fnv_texts;
  side_state* side;
  std::exception_ptr failure = nullptr;
};

void read_side_job(void* arg) {
  side_job* job = static_cast<side_job*>(arg);
  try {
    *job->side = read_side(*job->path, job->with_starts, job->expected, job->fnv_texts);
  } catch (...) {
    job->failure = std::current_exception();  // for the caller, as if read there
  }
}

}  // namespace

void read_both_sides(const std::string& desktop_file, const std::string& pdb, bool with_starts,
                     size_t expected, bool fnv_texts, side_state* desktop, side_state* handheld) {
  side_job job{&desktop_file, with_starts, expected, fnv_texts, desktop};
  os_thread thread;
  const bool beside = thread_start(&thread, read_side_job, &job) == 0;
  if (!beside) read_side_job(&job);  // one after the other, then
  try {
    *handheld = read_side(pdb, with_starts, expected, fnv_texts);
  } catch (...) {
    if (beside) thread_join(&thread);
    throw;
  }
  if (beside) thread_join(&thread);
  if (job.failure) std::rethrow_exception(job.failure);
}

namespace {

uint64_t version_at(const std::string& path) {
  file_info info{};
  file_info_at(path.c_str(), true, &info);
  return info.version;
}

}  // namespace

void side_reading::run(void* self) {
  side_reading* r = static_cast<side_reading*>(self);
  try {
    r->side_ = read_side(r->path_, r->with_starts_, r->expected_, false, r->buffers_);
  } catch (...) {
    r->failure_ = std::current_exception();  // for take_if_unchanged, as if read there
  }
}

void side_reading::start_reading() {
  if (running_) return;
  version_ = version_at(path_);
  running_ = thread_start(&thread_, run, this) == 0;
}

side_reading::~side_reading() {
  if (running_) thread_join(&thread_);
}

side_state side_reading::take_if_unchanged() {
  if (running_) {
    thread_join(&thread_);
    running_ = false;
    if (failure_) std::rethrow_exception(failure_);
    if (version_at(path_) == version_) return std::move(side_);
  }
  return read_side(path_, with_starts_, expected_, false, buffers_);
}

namespace {

struct place_visit {
  const std::vector<uint32_t>* places;
  const element_visitor* visit;
  uint32_t place;  // of the element the reader hands on next
  size_t k;        // the next of places to see
};

bool visit_if_wanted(void* context, const element_db& db, const element& e) {
  place_visit* v = static_cast<place_visit*>(context);
  if (v->k < v->places->size() && (*v->places)[v->k] == v->place) {
    try {
      (*v->visit)(v->k, db, e);
    } catch (const std::bad_alloc&) {
      return false;
    }
    ++v->k;
  }
  ++v->place;
  return true;
}

}  // namespace

bool read_elements_at(const std::string& path, const std::vector<uint32_t>& places,
                      const element_visitor& visit, std::string* why) {
  scoped_db data;
  place_visit v{&places, &visit, 0, 0};
  const element_sink sink{visit_if_wanted, &v};
  const bool read = read_data_set(path, &data.db, why, &sink);
  if (read && v.k < places.size()) *why = path + ": it holds fewer elements than it did";
  return read && v.k == places.size();
}

side_changes compare_sides(const std::string& name, const std::string& path,
                           const side_state& before, const side_state& after) {
  side_changes out;
  out.name = name;
  out.path = path;
  out.readable_after = after.readable || !after.exists;
  out.before = static_cast<int64_t>(before.elements.size());
  out.after = static_cast<int64_t>(after.elements.size());
  static const std::string kNone;
  auto category_of = [](const side_state& s, const element_digest& d) -> const std::string& {
    return d.category < s.categories.size() ? s.categories[d.category] : kNone;
  };
  auto note = [&](const side_state& side, size_t k, const std::string& what) {
    out.elements.push_back(element_change{side.elements[k].id, one_line(side.start_of(k)), what});
  };
  size_t i = 0, j = 0;
  const auto& b = before.elements;
  const auto& a = after.elements;
  while (i < b.size() || j < a.size()) {
    if (j == a.size() || (i < b.size() && b[i].id < a[j].id)) {
      ++out.deleted;
      note(before, i++, "deleted");
    } else if (i == b.size() || a[j].id < b[i].id) {
      ++out.added;
      note(after, j++, "added");
    } else {
      const element_digest& x = b[i++];
      const element_digest& y = a[j++];
      std::string what;
      if (x.texts != y.texts) {
        ++out.texts;
        what += "texts";
      }
      if (std::memcmp(x.schedule, y.schedule, sizeof x.schedule) != 0) {
        ++out.schedule;
        what += what.empty() ? "schedule" : ", schedule";
      }
      if (category_of(before, x) != category_of(after, y)) {
        ++out.category;
        what += what.empty() ? "category" : ", category";
      }
      if (!what.empty()) {
        ++out.updated;
        note(after, j - 1, what);
      }
    }
  }
  return out;
}

void predict_replacement(uint32_t sync_type, const side_state& desktop, const side_state& handheld,
                         side_changes* desktop_changes, side_changes* handheld_changes) {
  const bool pc_ok = desktop.readable && !desktop.elements.empty();
  const bool hh_ok = handheld.readable && !handheld.elements.empty();
  switch (sync_type) {
    case 0:
    case 1:
      if (desktop.exists && !desktop.readable) return;  // nothing is written then
      if (handheld.exists && !handheld.readable) return;
      if (pc_ok && hh_ok) {
        if (desktop.tm_strt == handheld.tm_strt) return;
        side_changes* older_wins =
            desktop.tm_strt < handheld.tm_strt ? handheld_changes : desktop_changes;
        older_wins->replaced_because = "different start times: the side that started first wins";
      } else if (pc_ok) {
        handheld_changes->replaced_because = "first HotSync: the handheld had no elements";
      } else if (hh_ok) {
        desktop_changes->replaced_because = "first HotSync: the desktop had no elements";
      }
      return;
    case 2:
      if (hh_ok) desktop_changes->replaced_because = "one-way copy from the handheld";
      return;
    case 3:
      if (pc_ok) handheld_changes->replaced_because = "one-way copy from the desktop";
      return;
    default:
      return;
  }
}

std::string report_text(const std::vector<side_changes>& sides, bool verbose) {
  std::string out;
  char line[512];
  for (const side_changes& s : sides) {
    std::snprintf(line, sizeof line,
                  "%-8s  %lld added, %lld updated (texts %lld, schedule %lld, category %lld), "
                  "%lld deleted; %lld -> %lld elements",
                  s.name.c_str(), static_cast<long long>(s.added),
                  static_cast<long long>(s.updated), static_cast<long long>(s.texts),
                  static_cast<long long>(s.schedule), static_cast<long long>(s.category),
                  static_cast<long long>(s.deleted), static_cast<long long>(s.before),
                  static_cast<long long>(s.after));
    out += line;
    if (!s.replaced_because.empty()) out += "; replaced as a whole (" + s.replaced_because + ")";
    if (!s.readable_after) out += "; cannot be read after the HotSync";
    out += "\n";
    if (s.texts_not_held > 0) {
      const bool one = s.texts_not_held == 1;
      std::snprintf(line, sizeof line,
                    "%-8s  %lld %s written that elements.xml cannot hold: %s back changed "
                    "(see HotSync.log)\n",
                    s.name.c_str(), static_cast<long long>(s.texts_not_held),
                    one ? "text was" : "texts were", one ? "it reads" : "they read");
      out += line;
    }
    if (!verbose) continue;
    for (const element_change& e : s.elements) {
      const bool updated = e.what != "added" && e.what != "deleted";
      const std::string what = updated ? "updated: " + e.what : e.what;
      std::snprintf(line, sizeof line, "  %10u  %-34s %s\n", e.id, what.c_str(),
                    e.question_start.c_str());
      out += line;
    }
  }
  return out;
}

std::string report_json(const std::vector<side_changes>& sides, bool dry_run, bool verbose,
                        const std::string& more) {
  std::string out = "{\"dry_run\": ";
  out += dry_run ? "true" : "false";
  bool any = false;
  for (const side_changes& s : sides)
    any = any || s.changed();
  out += ", \"changed\": ";
  out += any ? "true" : "false";
  out += ", \"sides\": [";
  for (size_t i = 0; i < sides.size(); ++i) {
    const side_changes& s = sides[i];
    if (i) out += ", ";
    out += "{\"side\": " + json_string(s.name) + ", \"path\": " + json_string(s.path);
    out += ", \"elements_before\": " + std::to_string(s.before);
    out += ", \"elements_after\": " + std::to_string(s.after);
    out += ", \"added\": " + std::to_string(s.added);
    out += ", \"updated\": " + std::to_string(s.updated);
    out += ", \"updated_texts\": " + std::to_string(s.texts);
    out += ", \"updated_schedule\": " + std::to_string(s.schedule);
    out += ", \"updated_category\": " + std::to_string(s.category);
    out += ", \"deleted\": " + std::to_string(s.deleted);
    out += ", \"texts_elements_xml_cannot_hold\": " + std::to_string(s.texts_not_held);
    out += ", \"replaced\": ";
    out += s.replaced_because.empty() ? "null" : json_string(s.replaced_because);
    if (!verbose) {
      out += "}";
      continue;
    }
    out += ", \"elements\": [";
    for (size_t k = 0; k < s.elements.size(); ++k) {
      const element_change& e = s.elements[k];
      if (k) out += ", ";
      out += "{\"id\": " + std::to_string(e.id) + ", \"change\": " + json_string(e.what) +
             ", \"question\": " + json_string(e.question_start) + "}";
    }
    out += "]}";
  }
  return out + "]" + more + "}\n";
}
