#include "hotsync/conflicts.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <unordered_map>

#include "hotsync/backups.h"
#include "hotsync/data_set_file.h"
#include "hotsync/host_paths.h"
#include "hotsync/scoped_db.h"
#include "model/element_db.h"
#include "platform/file.h"
#include "platform/thread.h"

namespace fs = std::filesystem;

namespace {

constexpr char kConflictsFolder[] = "conflicts";
constexpr char kConflictFileEnd[] = ".xml";
constexpr char kConflictPdbEnd[] = ".pdb";
static_assert(sizeof kConflictFileEnd == sizeof kConflictPdbEnd, "listing takes four bytes off");
constexpr size_t kRp = 5;  // rp's place in element_digest::schedule

// Walks elements in id order (a side's, the base's), the first of each id
// only: the merge takes no part in the others.
template <class T>
struct id_cursor {
  const std::vector<T>& all;
  size_t at = 0;
  // The first element of `id`, or null; ids below it are passed for good.
  const T* find(uint32_t id) {
    while (at < all.size() && all[at].id < id)
      ++at;
    return at < all.size() && all[at].id == id ? &all[at] : nullptr;
  }
  size_t place() const { return at; }
};

std::string category_of(const side_state& side, const element_digest& d) {
  return d.category < side.categories.size() ? side.categories[d.category] : std::string();
}

bool same_texts_and_schedule(const element_digest& a, const element_digest& b) {
  return a.texts == b.texts && std::memcmp(a.schedule, b.schedule, sizeof a.schedule) == 0;
}

// Compares one side's elements with the base, categories by name.
class base_view {
 public:
  base_view(const sync_base& base, const side_state& side)
      : base_{base.elements}, fnv_texts_{base.fnv_texts ? &side.fnv_texts : nullptr} {
    std::unordered_map<std::string, uint32_t> index;
    for (uint32_t c = 0; c < base.categories.size(); ++c)
      index.emplace(base.categories[c], c);
    auto find = [&](const std::string& name) {
      const auto it = index.find(name);
      return it == index.end() ? int64_t{-1} : int64_t{it->second};
    };
    for (const std::string& name : side.categories)
      to_base_.push_back(find(name));
    unnamed_ = find("");
  }
  // The base's element of `id`, or null.
  const base_element* find(uint32_t id) { return base_.find(id); }
  bool changed(const element_digest& d, const base_element& b) const {
    const uint64_t texts = fnv_texts_ ? (*fnv_texts_)[d.place] : texts_digest(d);
    if ((b.flags & kBaseSidesDiffered) != 0 || texts != b.texts ||
        std::memcmp(d.schedule, b.schedule, sizeof d.schedule) != 0) {
      return true;
    }
    return (d.category < to_base_.size() ? to_base_[d.category] : unnamed_) != int64_t{b.category};
  }

 private:
  id_cursor<base_element> base_;
  const std::vector<uint64_t>* fnv_texts_;  // by place, for a base of format 2
  std::vector<int64_t> to_base_;            // by the side's category index; -1: not in the base
  int64_t unnamed_ = -1;
};

kept_element keep(const element_db& db, const element& e, const element_digest& d) {
  kept_element k;
  k.digest = d;
  if (e.ctgr < db.ctgr_count) {
    k.category = db.ctgrs[e.ctgr]->name;
    k.bgcolor = db.ctgrs[e.ctgr]->bgcolor;
  }
  k.question = e.q ? e.q : "";
  std::snprintf(k.start.text, sizeof k.start.text, "%s", k.question.c_str());
  k.answer = e.a ? e.a : "";
  return k;
}

bool same_as_kept(const side_state& side, const element_digest& d, const kept_element& v) {
  return same_texts_and_schedule(d, v.digest) && category_of(side, d) == v.category;
}

bool usable(const side_state& side) {
  return side.readable && !side.elements.empty();
}

const char* side_name(bool desktop) {
  return desktop ? "desktop" : "handheld";
}

std::string rp_text(const kept_element& v) {
  return std::to_string(v.digest.schedule[kRp]);
}

// Why the merge came out as it did for c, by the field that decided it.
std::string why(const conflict& c, const side_changes& desktop, const side_changes& handheld) {
  const bool d = c.desktop_kept(), h = c.handheld_kept();
  if (d && h) {
    if (c.on_desktop && c.on_handheld &&
        c.desktop.digest.schedule[kRp] == c.handheld.digest.schedule[kRp]) {
      return "both reviewed " + rp_text(c.desktop) + " times: the merge copies neither";
    }
    return "";
  }
  if (!d && !h) return "neither version is on either side now";
  const bool desktop_won = d;
  const kept_element& winner = desktop_won ? c.desktop : c.handheld;
  const kept_element& loser = desktop_won ? c.handheld : c.desktop;
  const bool winner_there = desktop_won ? c.on_desktop : c.on_handheld;
  const bool loser_there = desktop_won ? c.on_handheld : c.on_desktop;
  const side_changes& losing_side = desktop_won ? handheld : desktop;
  if (!losing_side.replaced_because.empty()) return losing_side.replaced_because;
  if (!winner_there) {
    return std::string("deleted on the ") + side_name(desktop_won) + " since the last HotSync";
  }
  if (!loser_there) return "the merge took it for new and copied it back";
  if (winner.digest.schedule[kRp] > loser.digest.schedule[kRp]) {
    return "reviewed " + rp_text(winner) + " times against " + rp_text(loser);
  }
  return "";
}

std::string count_of(size_t n, const char* one, const char* many) {
  return std::to_string(n) + " " + (n == 1 ? one : many);
}

std::string with_why(const std::string& text, const std::string& reason) {
  return reason.empty() ? text : text + " (" + reason + ")";
}

// A version that was on its side and is on none now.
bool dropped(const conflict& c, bool desktop) {
  return desktop ? c.on_desktop && !c.desktop_kept() : c.on_handheld && !c.handheld_kept();
}

// The question a listing shows for c: of the side's own version, or the
// other's when the side had deleted it.
const char* question_of(const conflict& c, bool desktop) {
  const bool own = desktop ? c.on_desktop : c.on_handheld;
  return (own == desktop ? c.desktop : c.handheld).start.text;
}

std::string listing_row(uint32_t id, const std::string& what, const char* question) {
  char line[512];
  std::snprintf(line, sizeof line, "  %10u  %-34s %s\n", id, what.c_str(),
                one_line(question).c_str());
  return line;
}

}  // namespace

namespace {

// The versions of one side's conflicts, read back whole from where the
// digests say they are.
struct versions_job {
  const std::string* path;
  bool desktop;
  std::vector<std::pair<uint32_t, size_t>> wanted;  // place, conflict; ascending place
  std::vector<conflict>* conflicts;
  std::string problem;
};

void read_versions(void* arg) {
  versions_job* job = static_cast<versions_job*>(arg);
  if (job->wanted.empty()) return;
  std::vector<uint32_t> places;
  for (const auto& w : job->wanted)
    places.push_back(w.first);
  std::string why;
  bool same = true;
  const bool read = read_elements_at(
      *job->path, places,
      [&](size_t k, const element_db& db, const element& e) {
        conflict& c = (*job->conflicts)[job->wanted[k].second];
        kept_element& v = job->desktop ? c.desktop : c.handheld;
        element_digest now = digest_of(e);
        now.place = v.digest.place;
        same = same && now.id == v.digest.id && now.category == v.digest.category &&
               same_texts_and_schedule(now, v.digest);
        v = keep(db, e, v.digest);
      },
      &why);
  if (!read) {
    job->problem = why;
  } else if (!same) {
    job->problem = *job->path + ": it changed while it was read; try again";
  }
}

}  // namespace

size_t expected_elements(const sync_base& base) {
  // Sides hold about what the last HotSync left them.
  return base.known ? base.elements.size() + base.elements.size() / 8 + 1024 : 0;
}

sides_before read_sides_before(const std::string& desktop_file, const std::string& pdb,
                               const sync_base& base, bool with_starts) {
  sides_before out;
  read_both_sides(desktop_file, pdb, with_starts, expected_elements(base),
                  base.known && base.fnv_texts, &out.desktop, &out.handheld);
  find_conflicts(desktop_file, pdb, base, &out);
  return out;
}

void find_conflicts(const std::string& desktop_file, const std::string& pdb, const sync_base& base,
                    sides_before* sides) {
  sides_before& out = *sides;
  // Conflicts are found in the digests; only their versions are then read
  // back whole, both sides at once.
  versions_job on_desktop_side{&desktop_file, true, {}, &out.conflicts, ""};
  versions_job on_handheld_side{&pdb, false, {}, &out.conflicts, ""};
  if (base.known && usable(out.desktop) && usable(out.handheld)) {
    base_view on_desktop(base, out.desktop), on_handheld(base, out.handheld);
    id_cursor<element_digest> desktop{out.desktop.elements}, handheld{out.handheld.elements};
    for (const base_element& b : base.elements) {
      const element_digest* d = desktop.find(b.id);
      const element_digest* h = handheld.find(b.id);
      const bool d_changed = d && on_desktop.changed(*d, b);
      const bool h_changed = h && on_handheld.changed(*h, b);
      const bool in_conflict =
          d && h ? d_changed && h_changed &&
                       !(same_texts_and_schedule(*d, *h) &&
                         category_of(out.desktop, *d) == category_of(out.handheld, *h))
                 : d_changed || h_changed;
      if (!in_conflict) continue;
      conflict c;
      c.id = b.id;
      if (d) {
        c.on_desktop = true;
        c.desktop.digest = *d;
        on_desktop_side.wanted.emplace_back(d->place, out.conflicts.size());
      }
      if (h) {
        c.on_handheld = true;
        c.handheld.digest = *h;
        on_handheld_side.wanted.emplace_back(h->place, out.conflicts.size());
      }
      out.conflicts.push_back(std::move(c));
    }
  }
  std::sort(on_desktop_side.wanted.begin(), on_desktop_side.wanted.end());
  std::sort(on_handheld_side.wanted.begin(), on_handheld_side.wanted.end());
  os_thread thread;
  const bool beside = !on_desktop_side.wanted.empty() && !on_handheld_side.wanted.empty() &&
                      thread_start(&thread, read_versions, &on_desktop_side) == 0;
  if (!beside) read_versions(&on_desktop_side);
  read_versions(&on_handheld_side);
  if (beside) thread_join(&thread);
  out.problem =
      !on_desktop_side.problem.empty() ? on_desktop_side.problem : on_handheld_side.problem;
}

void see_after(std::vector<conflict>* conflicts, bool desktop, const side_state& after) {
  const bool unreadable = after.exists && !after.readable;
  id_cursor<element_digest> cursor{after.elements};
  for (conflict& c : *conflicts) {
    conflict::holding& holds = desktop ? c.desktop_after : c.handheld_after;
    if (unreadable) {
      holds = conflict::kSomethingElse;
      c.present_after = true;  // for all we know
      continue;
    }
    const element_digest* a = cursor.find(c.id);
    if (!a) {
      holds = conflict::kNone;
      continue;
    }
    c.present_after = true;
    const bool is_desktops = c.on_desktop && same_as_kept(after, *a, c.desktop);
    const bool is_handhelds = c.on_handheld && same_as_kept(after, *a, c.handheld);
    c.desktop_found = c.desktop_found || is_desktops;
    c.handheld_found = c.handheld_found || is_handhelds;
    holds = (desktop ? is_desktops : is_handhelds)   ? conflict::kOwn
            : (desktop ? is_handhelds : is_desktops) ? conflict::kOther
                                                     : conflict::kSomethingElse;
  }
}

bool any_version_dropped(const std::vector<conflict>& conflicts) {
  for (const conflict& c : conflicts) {
    if (dropped(c, true) || dropped(c, false)) return true;
  }
  return false;
}

std::string conflicts_text(const std::vector<conflict>& conflicts, const side_changes& desktop,
                           const side_changes& handheld, const conflicts_kept& kept, bool verbose) {
  std::string out;
  std::string where;
  if (!kept.file.empty()) {
    where = "; the other versions are in " + kept.file;
  } else if (!kept.problem.empty()) {
    where = "; the other versions could not be kept: " + kept.problem;
  } else if (kept.dry_run && any_version_dropped(conflicts)) {
    where = "; a HotSync would keep the other versions in conflicts/";
  }
  char head[16];
  for (const bool d : {true, false}) {
    // The conflicts that cost this side its version: taken over by the
    // other's, deleted with the element, or neither.
    std::vector<const conflict*> taken, deleted, other;
    for (const conflict& c : conflicts) {
      if (d ? c.desktop_kept() : c.handheld_kept()) continue;
      const conflict::holding holds = d ? c.desktop_after : c.handheld_after;
      (holds == conflict::kOther  ? taken
       : holds == conflict::kNone ? deleted
                                  : other)
          .push_back(&c);
    }
    const size_t n = taken.size() + deleted.size() + other.size();
    if (n == 0) continue;
    std::vector<std::string> parts;
    if (!taken.empty()) {
      parts.push_back("the " + std::string(side_name(!d)) + "'s version kept for " +
                      std::to_string(taken.size()));
      if (taken.size() == 1)
        parts.back() = with_why(parts.back(), why(*taken[0], desktop, handheld));
    }
    if (!deleted.empty()) {
      parts.push_back(
          count_of(deleted.size(), "changed element deleted", "changed elements deleted"));
    }
    if (!other.empty()) parts.push_back(std::to_string(other.size()) + " overwritten");
    std::snprintf(head, sizeof head, "%-8s  ", side_name(d));
    out += head + count_of(n, "conflict: ", "conflicts: ");
    for (size_t i = 0; i < parts.size(); ++i)
      out += (i ? ", " : "") + parts[i];
    out += where + "\n";
    if (!verbose) continue;
    for (const auto* group : {&taken, &deleted, &other}) {
      for (const conflict* c : *group) {
        const std::string what = group == &taken
                                     ? "the " + std::string(side_name(!d)) + "'s version kept"
                                 : group == &deleted ? std::string("changed here, deleted")
                                                     : std::string("overwritten");
        out += listing_row(c->id, with_why("conflict: " + what, why(*c, desktop, handheld)),
                           question_of(*c, d));
      }
    }
  }
  if (!kept.completed) return out;
  std::vector<const conflict*> apart;
  for (const conflict& c : conflicts) {
    if (c.desktop_kept() && c.handheld_kept()) apart.push_back(&c);
  }
  if (apart.empty()) return out;
  std::snprintf(head, sizeof head, "%-8s  ", "both");
  std::string line = count_of(apart.size(), "conflict", "conflicts") +
                     " left apart: each side keeps its own version";
  if (apart.size() == 1) line = with_why(line, why(*apart[0], desktop, handheld));
  out += head + line + "\n";
  if (verbose) {
    for (const conflict* c : apart)
      out += listing_row(c->id, with_why("conflict: left apart", why(*c, desktop, handheld)),
                         question_of(*c, true));
  }
  return out;
}

std::string conflicts_json(const std::vector<conflict>& conflicts, const side_changes& desktop,
                           const side_changes& handheld, const conflicts_kept& kept) {
  std::string out = ", \"conflicts\": {\"found\": " + std::to_string(conflicts.size());
  out += ", \"file\": ";
  out += kept.file.empty() ? "null" : json_string(kept.file);
  out += ", \"elements\": [";
  for (size_t i = 0; i < conflicts.size(); ++i) {
    const conflict& c = conflicts[i];
    const bool d = c.desktop_kept(), h = c.handheld_kept();
    out += i ? ", " : "";
    out += "{\"id\": " + std::to_string(c.id);
    out += ", \"question\": " + json_string(one_line(question_of(c, true)));
    out += ", \"desktop\": \"" + std::string(c.on_desktop ? "changed" : "deleted") + "\"";
    out += ", \"handheld\": \"" + std::string(c.on_handheld ? "changed" : "deleted") + "\"";
    out += ", \"kept\": \"" +
           std::string(d && h ? "both"
                       : d    ? "desktop"
                       : h    ? "handheld"
                              : "none") +
           "\"";
    const std::string reason = why(c, desktop, handheld);
    out += ", \"why\": " + (reason.empty() ? std::string("null") : json_string(reason)) + "}";
  }
  return out + "]}";
}

bool conflicts_folder_usable(const std::string& handheld, std::string* why) {
  return own_folder_usable(handheld + "/" + kConflictsFolder, "conflicts", why);
}

namespace {

// The dropped versions as a data set of their own, or with `every` each
// version either side held, the desktop's version of an element before the
// handheld's. False when memory runs out.
bool conflict_versions(const std::vector<conflict>& conflicts, bool every, element_db* db) {
  element** tail = &db->head;
  for (const conflict& c : conflicts) {
    for (const bool d : {true, false}) {
      if (every ? !(d ? c.on_desktop : c.on_handheld) : !dropped(c, d)) continue;
      const kept_element& v = d ? c.desktop : c.handheld;
      element* e = new_element();
      if (!e) return false;
      *tail = e;
      tail = &e->next;
      ++db->el_count;
      e->id = v.digest.id;
      const uint16_t* s = v.digest.schedule;
      e->tm_t_rpt = s[0];
      e->stm_t_rpt = s[1];
      e->l_ivl = s[2];
      e->rl_l_ivl = s[3];
      e->ivl = s[4];
      e->rp = s[5];
      e->gr = s[6];
      e->q = copy_text(v.question.c_str());
      e->a = copy_text(v.answer.c_str());
      const int32_t before = db->ctgr_count;
      const int32_t index = find_or_add_ctgr(db, v.category.c_str());
      if (!e->q || !e->a || index < 0) return false;
      if (db->ctgr_count > before) db->ctgrs[index]->bgcolor = v.bgcolor;
      e->ctgr = static_cast<uint16_t>(index);
    }
  }
  return db->ctgr_count > 0 || add_root_ctgr(db);
}

// Removes the oldest conflict files beyond `keep`, never the one named
// `kept`; with no keep at all, none (as no backup is removed then).
void prune_conflict_files(const std::string& handheld, int keep, const std::string& kept) {
  if (keep <= 0) return;
  std::vector<conflict_file> others;
  std::string ignored;  // what cannot be listed is not removed
  if (!list_conflict_files(handheld, &others, &ignored)) return;
  others.erase(std::remove_if(others.begin(), others.end(),
                              [&](const conflict_file& f) { return f.id == kept; }),
               others.end());
  const size_t room = static_cast<size_t>(keep) - 1;
  for (size_t i = 0; others.size() - i > room; ++i)
    file_remove(others[i].path.c_str());
}

// Temporaries of a conflict file that a HotSync cut short left: the lock on
// the handheld folder says no other is being written.
void remove_stale_temporaries(const std::string& folder) {
  std::error_code error;
  const fs::directory_iterator end;
  for (fs::directory_iterator it(fs_path(folder), error); !error && it != end;
       it.increment(error)) {
    const std::string name = path_text(it->path().filename());
    const fs::path end = it->path().extension();
    const bool tmp = end == ".tmp" || end == ".records";
    std::error_code unusable;
    if (tmp && !it->is_directory(unusable)) file_remove(path_text(it->path()).c_str());
  }
}

// Writes the versions to conflicts/NAME.xml, or to NAME.pdb when
// elements.xml cannot hold one of their texts whole: the handheld's format
// holds any, and show and convert read both. *file: the one written; the
// other is removed. "" or why not.
std::string write_versions(const std::string& handheld, const std::string& name, int32_t tm_strt,
                           const std::vector<conflict>& conflicts, bool every, std::string* file) {
  scoped_db data;
  element_db& db = data.db;
  db.tm_strt = tm_strt;
  std::string why;
  if (!conflict_versions(conflicts, every, &db)) {
    why = "out of memory";
  } else {
    const bool xml = xml_holds_whole(db);
    const std::string stem = std::string(kConflictsFolder) + "/" + name;
    const std::string chosen = stem + (xml ? kConflictFileEnd : kConflictPdbEnd);
    const std::string other = stem + (xml ? kConflictPdbEnd : kConflictFileEnd);
    // A text too long even for the handheld's records goes to elements.xml as
    // it is: its bytes are kept, though the reader gives it back cut.
    std::string written = chosen;
    bool ok = write_data_set(handheld + "/" + chosen, &db, &why);
    if (!ok && !xml) {
      std::string ignored;
      written = other;
      ok = write_data_set(handheld + "/" + other, &db, &ignored);
    }
    if (ok) {
      *file = written;
      why.clear();
      file_remove((handheld + "/" + (written == chosen ? other : chosen)).c_str());
    } else if (why.empty()) {
      why = "it cannot be written";
    }
  }
  return why;
}

}  // namespace

void keep_conflicting_versions(const std::string& handheld, const std::string& id, int32_t tm_strt,
                               const std::vector<conflict>& conflicts, conflicts_kept* kept) {
  const std::string folder = handheld + "/" + kConflictsFolder;
  if (!conflicts_folder_usable(handheld, &kept->problem)) return;
  std::error_code error;
  fs::create_directory(fs_path(folder), error);
  if (error) {
    kept->problem = "cannot make " + folder + ": " + error.message();
    return;
  }
  // A file of the same second (a clock set back) is never written over; the
  // next free -N follows the id's own, so that the name stays one an id has.
  remove_stale_temporaries(folder);
  int64_t time = 0;
  int n = 1;
  const std::string stem = time_of_id(id, &time, &n) ? id.substr(0, kTimeIdLength) : id;
  std::string name = id;
  while (file_exists((folder + "/" + name + kConflictFileEnd).c_str()) ||
         file_exists((folder + "/" + name + kConflictPdbEnd).c_str())) {
    name = stem + "-" + std::to_string(++n);
  }
  kept->problem = write_versions(handheld, name, tm_strt, conflicts, true, &kept->file);
}

void keep_dropped_versions(const std::string& handheld, int32_t tm_strt,
                           const std::vector<conflict>& conflicts, int keep, conflicts_kept* kept) {
  if (kept->file.empty()) return;
  const std::string path = handheld + "/" + kept->file;
  if (!any_version_dropped(conflicts)) {
    file_remove(path.c_str());
    kept->file.clear();
    return;
  }
  // Narrowed to what was dropped; when that fails the file keeps every
  // version, the dropped ones among them.
  const std::string name = path_text(fs_path(kept->file).stem());
  write_versions(handheld, name, tm_strt, conflicts, false, &kept->file);
  prune_conflict_files(handheld, keep, name);
}

bool list_conflict_files(const std::string& handheld, std::vector<conflict_file>* all,
                         std::string* why) {
  all->clear();
  if (!conflicts_folder_usable(handheld, why)) return false;
  const std::string folder = handheld + "/" + kConflictsFolder;
  std::vector<std::pair<int, conflict_file>> found;  // by N, for the order
  std::error_code error;
  const fs::directory_iterator end;
  for (fs::directory_iterator it(fs_path(folder), error); !error && it != end;
       it.increment(error)) {
    std::error_code unusable;
    const std::string name = path_text(it->path().filename());
    // Both ends are four bytes: .xml, or .pdb for texts elements.xml cannot hold.
    const size_t stem = name.size() - std::min(name.size(), std::strlen(kConflictFileEnd));
    conflict_file f;
    int n = 0;
    if (it->is_symlink(unusable) || !it->is_regular_file(unusable) ||
        (name.compare(stem, std::string::npos, kConflictFileEnd) != 0 &&
         name.compare(stem, std::string::npos, kConflictPdbEnd) != 0) ||
        !time_of_id(name.substr(0, stem), &f.time, &n)) {
      continue;  // not one hotsync wrote: a temporary, a file put there
    }
    f.id = name.substr(0, stem);
    f.path = path_text(it->path());
    found.emplace_back(n, f);
  }
  if (error && error != std::errc::no_such_file_or_directory) {
    *why = "cannot list " + folder + ": " + error.message();
    return false;
  }
  std::sort(found.begin(), found.end(), [](const auto& a, const auto& b) {
    return a.second.time != b.second.time ? a.second.time < b.second.time : a.first < b.first;
  });
  for (auto& entry : found)
    all->push_back(std::move(entry.second));
  return true;
}
