#include "hotsync/sync_base.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <unordered_map>

#include "platform/file.h"
#include "platform/file_replacement.h"
#include "util/byte_order.h"

#define XXH_INLINE_ALL
#include <xxhash.h>

namespace {

constexpr char kMagic[] = "QVBASE";
constexpr size_t kMagicSize = sizeof kMagic - 1;
constexpr uint16_t kFormatVersion = 3;
constexpr uint16_t kFnvFormatVersion = 2;
constexpr size_t kHeaderSize = kMagicSize + 2 + 4 + 4 + 4;
constexpr size_t kElementSize = 4 + 8 + 7 * 2 + 4 + 1;
constexpr size_t kFileDigestSize = 8;

// The base file's header, when it belongs to the HotSync at last_sync and
// the file's size to the counts it gives: a file put there by something else
// is not read further.
struct base_header {
  uint16_t version;
  uint32_t categories, elements;
  uint64_t size;  // of the whole file
};
bool read_base_header(os_file f, uint32_t last_sync, base_header* h) {
  uint8_t head[kHeaderSize] = {};
  size_t got = 0;
  if (file_size(f, &h->size) != 0 || file_read_at(f, 0, head, sizeof head, &got) != 0 ||
      got != sizeof head || std::memcmp(head, kMagic, kMagicSize) != 0) {
    return false;
  }
  h->version = get_be16(head + kMagicSize);
  h->categories = get_be32(head + kMagicSize + 6);
  h->elements = get_be32(head + kMagicSize + 10);
  const uint64_t fixed = kHeaderSize + uint64_t{h->elements} * kElementSize + kFileDigestSize;
  // Only the categories elements use are kept: no more of them than elements.
  return (h->version == kFormatVersion || h->version == kFnvFormatVersion) &&
         get_be32(head + kMagicSize + 2) == last_sync && h->categories <= h->elements &&
         h->size >= fixed + uint64_t{h->categories} * 2 &&
         h->size <= fixed + uint64_t{h->categories} * (2 + UINT16_MAX);
}

// The digest of a base file's bytes, taken as they come: bytes_digest's, or
// FNV-1a's for format 2.
class file_digest {
 public:
  explicit file_digest(bool fnv) : fnv_(fnv) { XXH3_64bits_reset(&xxh3_); }
  void add(const void* bytes, size_t n) {
    if (fnv_) {
      fnv_value_ = fnv_digest(bytes, n, fnv_value_);
    } else {
      XXH3_64bits_update(&xxh3_, bytes, n);
    }
  }
  uint64_t value() const { return fnv_ ? fnv_value_ : XXH3_64bits_digest(&xxh3_); }

 private:
  bool fnv_;
  uint64_t fnv_value_ = kFnvStart;
  XXH3_state_t xxh3_;
};

// Reads the file's bytes before its digest a megabyte at a time, digesting
// them as they come, so that a large base is not had twice in memory.
class base_file_reader {
 public:
  static constexpr size_t kBuffer = size_t{1} << 20;
  base_file_reader(os_file f, const base_header& h)
      : file_(f), unread_(h.size - kFileDigestSize), digest_(h.version == kFnvFormatVersion) {
    buffer_.resize(kBuffer);
  }
  // The next n bytes (at most kBuffer), or null when there are fewer.
  const uint8_t* take(size_t n) {
    if (filled_ - used_ < n && !fill(n)) return nullptr;
    const uint8_t* at = buffer_.data() + used_;
    used_ += n;
    return at;
  }
  // Takes every byte: whether the digest after them is theirs.
  bool sound_throughout() {
    for (used_ = filled_; unread_ > 0; used_ = filled_) {
      if (!fill(1)) return false;
    }
    return whole_and_sound();
  }
  // Whether every byte was taken and the digest after them is theirs.
  bool whole_and_sound() {
    uint8_t kept[kFileDigestSize];
    size_t got = 0;
    if (unread_ != 0 || used_ != filled_ ||
        file_read_at(file_, offset_, kept, sizeof kept, &got) != 0 || got != sizeof kept) {
      return false;
    }
    return get_be64(kept) == digest_.value();
  }

 private:
  bool fill(size_t n) {
    std::memmove(buffer_.data(), buffer_.data() + used_, filled_ - used_);
    filled_ -= used_;
    used_ = 0;
    while (filled_ < n && unread_ > 0) {
      size_t got = 0;
      const size_t want = static_cast<size_t>(std::min<uint64_t>(kBuffer - filled_, unread_));
      if (file_read_at(file_, offset_, buffer_.data() + filled_, want, &got) != 0 || got == 0) {
        return false;
      }
      offset_ += got;
      digest_.add(buffer_.data() + filled_, got);
      filled_ += got;
      unread_ -= got;
    }
    return filled_ >= n;
  }
  os_file file_;
  uint64_t offset_ = 0;
  uint64_t unread_;  // of the bytes before the digest
  file_digest digest_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0, filled_ = 0;
};

bool same_values(const base_element& a, const base_element& b) {
  return a.texts == b.texts && a.category == b.category &&
         std::memcmp(a.schedule, b.schedule, sizeof a.schedule) == 0;
}

bool read_base(os_file f, uint32_t last_sync, sync_base* base) {
  base_header h;
  if (!read_base_header(f, last_sync, &h)) return false;
  // Checked whole before anything is made of what it says: a damaged or
  // sparse file whose header promises much costs no memory.
  if (!base_file_reader(f, h).sound_throughout()) return false;
  base_file_reader in(f, h);
  if (!in.take(kHeaderSize)) return false;
  base->categories.reserve(h.categories);
  for (uint32_t c = 0; c < h.categories; ++c) {
    const uint8_t* at = in.take(2);
    const uint16_t length = at ? get_be16(at) : 0;
    const uint8_t* name = at ? in.take(length) : nullptr;  // `at` may be gone then
    if (!name) return false;
    base->categories.emplace_back(reinterpret_cast<const char*>(name), length);
  }
  base->elements.resize(h.elements);
  for (uint32_t k = 0; k < h.elements; ++k) {
    const uint8_t* p = in.take(kElementSize);
    if (!p) return false;
    base_element& e = base->elements[k];
    e.id = get_be32(p);
    e.texts = get_be64(p + 4);
    for (int v = 0; v < 7; ++v)
      e.schedule[v] = get_be16(p + 12 + 2 * v);
    e.category = get_be32(p + 26);
    e.flags = p[30];
    if (e.category >= h.categories || (k > 0 && e.id <= base->elements[k - 1].id)) return false;
  }
  base->fnv_texts = h.version == kFnvFormatVersion;
  return in.whole_and_sound();
}

}  // namespace

sync_base read_sync_base(const std::string& handheld, uint32_t last_sync) {
  sync_base base;
  os_file f = kNoFile;
  if (file_open_read((handheld + "/" + kSyncBaseFile).c_str(), &f) != 0) return base;
  bool known = false;
  try {
    known = read_base(f, last_sync, &base);
  } catch (const std::bad_alloc&) {
    // No memory for it: no knowledge, as for a damaged one.
  }
  file_close(f);
  if (!known) return sync_base{};
  base.known = true;
  return base;
}

namespace {

// The base as it is written: a megabyte at a time, digested on the way, so
// that a base of a million elements is not first had whole in memory.
class base_file_writer {
 public:
  static constexpr size_t kBuffer = size_t{1} << 20;
  explicit base_file_writer(file_replacement* out) : out_(out) { buffer_.resize(kBuffer); }
  // Room for n bytes (at most kBuffer) at the end of what is written.
  uint8_t* room(size_t n) {
    if (used_ + n > buffer_.size()) flush();
    uint8_t* at = buffer_.data() + used_;
    used_ += n;
    return at;
  }
  // Writes the digest of every byte before it; 0 or the system's error.
  int finish() {
    flush();
    put_be64(room(kFileDigestSize), digest_.value());
    flush();
    return error_;
  }

 private:
  void flush() {
    if (used_ == 0) return;
    digest_.add(buffer_.data(), used_);
    if (error_ == 0) error_ = file_replacement_write(out_, buffer_.data(), used_);
    used_ = 0;
  }
  file_replacement* out_;
  file_digest digest_{false};
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  int error_ = 0;
};

// The base of both sides as a HotSync left them, each id once in ascending
// order: the desktop's version, or the handheld's where the two differ. Made
// as it is written, from the sides' digests, rather than had whole first.
class base_merge {
 public:
  base_merge(const side_state& desktop, const side_state& handheld) : sides_{&desktop, &handheld} {
    // Categories are numbered as the desktop's elements first use them, then
    // the handheld's.
    for (int side : {0, 1}) {
      to_base_[side].assign(sides_[side]->categories.size(), -1);
      const std::vector<element_digest>& all = sides_[side]->elements;
      for (size_t k = 0; k < all.size(); k = next_id(all, k))
        category_index(side, all[k]);
    }
    walk([this](const element_digest*, const element_digest*) { ++size_; });
  }
  const std::vector<std::string>& categories() const { return categories_; }
  size_t size() const { return size_; }

  // Calls put(e) for each element of the base in ascending id.
  template <typename Put>
  void each(Put put) {
    walk([this, &put](const element_digest* on_desktop, const element_digest* on_handheld) {
      if (!on_handheld) {
        put(base_of(0, *on_desktop, kBaseSidesDiffered));
      } else if (!on_desktop) {
        put(base_of(1, *on_handheld, kBaseSidesDiffered));
      } else {
        const base_element d = base_of(0, *on_desktop, 0);
        const base_element h = base_of(1, *on_handheld, kBaseSidesDiffered);
        put(same_values(d, h) ? d : h);
      }
    });
  }

 private:
  // Calls visit(d, h) for each id either side holds, in ascending order, with
  // each side's element of it or null. Of equal ids a side holds, the first
  // counts (the one its merge takes).
  template <typename Visit>
  void walk(Visit visit) const {
    const std::vector<element_digest>& desktop = sides_[0]->elements;
    const std::vector<element_digest>& handheld = sides_[1]->elements;
    size_t i = 0, k = 0;
    while (i < desktop.size() || k < handheld.size()) {
      const bool on_desktop =
          i < desktop.size() && (k == handheld.size() || desktop[i].id <= handheld[k].id);
      const bool on_handheld =
          k < handheld.size() && (i == desktop.size() || handheld[k].id <= desktop[i].id);
      visit(on_desktop ? &desktop[i] : nullptr, on_handheld ? &handheld[k] : nullptr);
      if (on_desktop) i = next_id(desktop, i);
      if (on_handheld) k = next_id(handheld, k);
    }
  }
  static size_t next_id(const std::vector<element_digest>& all, size_t k) {
    const uint32_t id = all[k].id;
    while (++k < all.size() && all[k].id == id) {
    }
    return k;
  }
  // The base's index of the category of d on `side`, added when new: only the
  // categories elements use are kept.
  uint32_t category_index(int side, const element_digest& d) {
    std::vector<int64_t>& to_base = to_base_[side];
    if (d.category < to_base.size() && to_base[d.category] >= 0) {
      return static_cast<uint32_t>(to_base[d.category]);
    }
    const std::vector<std::string>& names = sides_[side]->categories;
    const std::string name = d.category < names.size() ? names[d.category] : "";
    const auto found =
        names_.emplace(name, static_cast<uint32_t>(categories_.size())).first->second;
    if (found == categories_.size()) categories_.push_back(name);
    if (d.category < to_base.size()) to_base[d.category] = found;
    return found;
  }
  base_element base_of(int side, const element_digest& d, uint8_t flags) {
    base_element e{};
    e.id = d.id;
    std::memcpy(e.schedule, d.schedule, sizeof e.schedule);
    e.flags = flags;
    e.category = category_index(side, d);
    e.texts = texts_digest(d);
    return e;
  }

  const side_state* sides_[2];
  std::vector<std::string> categories_;
  std::unordered_map<std::string, uint32_t> names_;
  std::vector<int64_t> to_base_[2];  // per side's category; -1: not looked up yet
  size_t size_ = 0;
};

}  // namespace

int write_sync_base(const std::string& handheld, uint32_t last_sync, const side_state& desktop,
                    const side_state& handheld_side) {
  const std::string path = handheld + "/" + kSyncBaseFile, tmp = path + ".tmp";
  file_replacement out;
  int error = file_replacement_begin(&out, tmp.c_str());
  if (error != 0) return error;
  try {
    base_merge base(desktop, handheld_side);
    base_file_writer w(&out);
    uint8_t* p = w.room(kHeaderSize);
    std::memcpy(p, kMagic, kMagicSize);
    p += kMagicSize;
    put_be16(p, kFormatVersion);
    put_be32(p + 2, last_sync);
    put_be32(p + 6, static_cast<uint32_t>(base.categories().size()));
    put_be32(p + 10, static_cast<uint32_t>(base.size()));
    for (const std::string& name : base.categories()) {
      const uint16_t length = static_cast<uint16_t>(std::min<size_t>(name.size(), UINT16_MAX));
      put_be16(w.room(2), length);
      std::memcpy(w.room(length), name.data(), length);
    }
    base.each([&w](const base_element& e) {
      uint8_t* at = w.room(kElementSize);
      put_be32(at, e.id);
      put_be64(at + 4, e.texts);
      at += 12;
      for (uint16_t value : e.schedule) {
        put_be16(at, value);
        at += 2;
      }
      put_be32(at, e.category);
      at[4] = e.flags;
    });
    error = w.finish();
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  if (error == 0) error = file_replacement_commit(&out, path.c_str());
  if (error != 0) file_replacement_abandon(&out);
  return error;
}
