// What a HotSync changed: both sides read before and after the run, compared
// element by element (by id). Printed for people, as JSON for scripts, and
// kept in HotSync.log.
#pragma once

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <string>
#include <vector>

#include "platform/thread.h"

struct digest_buffers;
struct element;
struct element_db;

// Digests are the same on every platform, so that one kept in a file
// compares with one made on another machine: XXH3 (64 bits), eight bytes a
// step. Bases of format 2 kept FNV-1a, a byte a step.
uint64_t bytes_digest(const void* bytes, size_t size);
constexpr uint64_t kFnvStart = 14695981039346656037ull;
uint64_t fnv_digest(const void* bytes, size_t size, uint64_t digest = kFnvStart);

// One element as the report compares it: its values, its category by name and
// one digest of both its texts (texts_digest, as the base keeps them). A few
// bytes each, as a side holds a million of them from before the HotSync to
// after it: 32.
struct element_digest {
  uint64_t texts;
  uint32_t id;
  uint32_t place;        // where it came in its file, counted in elements from 0
  uint16_t category;     // index into side_state::categories
  uint16_t schedule[7];  // tm_t_rpt, stm_t_rpt, l_ivl, rl_l_ivl, ivl, rp, gr
};
static_assert(sizeof(element_digest) == 32, "no padding: a side holds a million");

// The first 40 bytes of a question, as a listing shows it.
struct question_start {
  char text[41];
};

// One side's data set as a file holds it.
struct side_state {
  bool exists = false;
  bool readable = false;
  std::string problem;         // why it could not be read
  bool out_of_memory = false;  // ... because the reading ran out: the file may well be whole
  int32_t tm_strt = 0;
  std::vector<std::string> categories;
  // By id; equal ids in the order the reader's data set lists them.
  std::vector<element_digest> elements;
  // Beside elements, when the side was read for a listing of each element
  // (--verbose); else empty.
  std::vector<question_start> starts;
  // By place, when the side was read for a base of format 2: its texts
  // digests as that base keeps them; else empty.
  std::vector<uint64_t> fnv_texts;
  const char* start_of(size_t k) const { return k < starts.size() ? starts[k].text : ""; }
};

// Both texts of an element as one number, as the base of the last HotSync
// keeps them.
uint64_t texts_digest(const element_digest& d);
uint64_t texts_digest(uint64_t question, uint64_t answer);

// An element as the report compares it, its place left 0.
element_digest digest_of(const element& e);

// Reads a side: elements.xml format, or a .pdb file holding QVelements. Each
// element is digested as the reader reads it and none is held, so a side
// costs its digests only. with_starts: the start of each question too.
// expected: about how many elements it holds, when known, so that the
// digests take their memory once rather than growing into it. fnv_texts:
// the texts digests a base of format 2 compares with too.
// buffers: room that earlier readings let go of, to take first (may be null).
side_state read_side(const std::string& path, bool with_starts = false, size_t expected = 0,
                     bool fnv_texts = false, digest_buffers* buffers = nullptr);

// Reads both sides at once, the desktop on a second thread; the rest as for
// read_side, what a reading threw (no memory) thrown here.
void read_both_sides(const std::string& desktop_file, const std::string& pdb, bool with_starts,
                     size_t expected, bool fnv_texts, side_state* desktop, side_state* handheld);

// A side read on a second thread while the caller goes on: start_reading
// notes the file's version and starts; the side is taken once the version is
// still the one read (take_if_unchanged), else read again; what the reading
// threw (no memory) is thrown there. The thread is joined by
// take_if_unchanged or the destructor.
class side_reading {
 public:
  side_reading(std::string path, bool with_starts, size_t expected,
               digest_buffers* buffers = nullptr)
      : path_(std::move(path)), with_starts_(with_starts), expected_(expected), buffers_(buffers) {}
  ~side_reading();
  side_reading(const side_reading&) = delete;
  side_reading& operator=(const side_reading&) = delete;
  void start_reading();
  // About how many elements it holds, when known only after construction.
  void expect(size_t elements) { expected_ = elements; }
  // The side as it is now: the one read beside when the file is unchanged
  // since, else read now.
  side_state take_if_unchanged();

 private:
  static void run(void* self);
  std::string path_;
  bool with_starts_;
  size_t expected_;
  digest_buffers* buffers_;
  bool running_ = false;
  uint64_t version_ = 0;
  os_thread thread_{};
  side_state side_;
  std::exception_ptr failure_ = nullptr;  // what the reading threw
};

// Reads a side again for the elements at `places` (ascending), whole:
// visit(k, db, e) sees the element at places[k] with the data set's
// categories, valid during the call. False with *why when the side cannot
// be read or holds fewer elements.
using element_visitor = std::function<void(size_t k, const element_db& db, const element& e)>;
bool read_elements_at(const std::string& path, const std::vector<uint32_t>& places,
                      const element_visitor& visit, std::string* why);

struct element_change {
  uint32_t id;
  std::string question_start;
  std::string what;  // "added", "deleted", or the fields: "texts", "schedule", "category"
};

struct side_changes {
  std::string name;  // "desktop" or "handheld"
  std::string path;
  bool readable_after = true;
  std::string replaced_because;   // non-empty when the whole side was written over
  int64_t before = 0, after = 0;  // element counts
  int64_t added = 0, deleted = 0, updated = 0;
  int64_t texts = 0, schedule = 0, category = 0;  // updated elements, by what changed
  // Texts the conduit wrote although elements.xml cannot hold them, so that
  // they read back changed (the desktop side only; HotSync.log names each).
  int64_t texts_not_held = 0;
  std::vector<element_change> elements;
  bool changed() const { return added || deleted || updated; }
};

side_changes compare_sides(const std::string& name, const std::string& path,
                           const side_state& before, const side_state& after);

// Why a whole side is written over in a HotSync of sync_type, judged from
// both sides as they were before it; empty for each side that is merged.
void predict_replacement(uint32_t sync_type, const side_state& desktop, const side_state& handheld,
                         side_changes* desktop_changes, side_changes* handheld_changes);

// The report as text and as JSON; verbose: each element too. JSON strings
// keep valid UTF-8 as it is and give each byte of anything else as \u00XX.
std::string report_text(const std::vector<side_changes>& sides, bool verbose);
// more: further members of the report's object, each with its leading ", ".
std::string report_json(const std::vector<side_changes>& sides, bool dry_run, bool verbose,
                        const std::string& more = "");

// A JSON string of s, as the report writes them.
std::string json_string(const std::string& s);
// The start of a question on one line, for a listing: line ends as spaces,
// no character cut in two at its end.
std::string one_line(const char* text);
