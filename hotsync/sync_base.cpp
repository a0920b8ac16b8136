#include "hotsync/sync_base.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>

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

// The whole file at path, or false when there is none that can be read.
// The base file's bytes, when its header belongs to the HotSync at
// last_sync and its size to the counts the header gives: a file put there
// by something else is not read into memory whole.
bool read_base_file(const std::string& path, uint32_t last_sync, std::vector<uint8_t>* bytes) {
  os_file f = kNoFile;
  if (file_open_read(path.c_str(), &f) != 0) return false;
  uint64_t size = 0;
  uint8_t head[kHeaderSize] = {};
  size_t got = 0;
  int error = file_size(f, &size);
  if (error == 0) error = file_read_at(f, 0, head, sizeof head, &got);
  const uint16_t version = get_be16(head + kMagicSize);
  if (error == 0 && got == sizeof head && std::memcmp(head, kMagic, kMagicSize) == 0 &&
      (version == kFormatVersion || version == kFnvFormatVersion) &&
      get_be32(head + kMagicSize + 2) == last_sync) {
    const uint64_t categories = get_be32(head + kMagicSize + 6);
    const uint64_t elements = get_be32(head + kMagicSize + 10);
    const uint64_t fixed = kHeaderSize + elements * kElementSize + kFileDigestSize;
    // Only the categories elements use are kept: no more of them than elements.
    if (categories > elements || size < fixed + categories * 2 ||
        size > fixed + categories * (2 + UINT16_MAX) || size > SIZE_MAX / 2) {
      error = EINVAL;
    }
  } else if (error == 0) {
    error = EINVAL;
  }
  if (error == 0) bytes->resize(static_cast<size_t>(size));
  size_t at = 0;
  while (error == 0 && at < bytes->size()) {
    error = file_read(f, bytes->data() + at, bytes->size() - at, &got);
    if (got == 0) break;
    at += got;
  }
  file_close(f);
  return error == 0 && at == bytes->size();
}

// Takes numbers off the front of a buffer; a buffer that runs out stays
// empty-handed and says so in ok.
struct byte_reader {
  const uint8_t* p;
  size_t left;
  bool ok = true;
  const uint8_t* take(size_t n) {
    if (!ok || left < n) {
      ok = false;
      static const uint8_t kZeros[8] = {};
      return kZeros;
    }
    const uint8_t* at = p;
    p += n;
    left -= n;
    return at;
  }
  uint16_t u16() { return get_be16(take(2)); }
  uint32_t u32() { return get_be32(take(4)); }
  uint64_t u64() { return get_be64(take(8)); }
};

bool same_values(const base_element& a, const base_element& b) {
  return a.texts == b.texts && a.category == b.category &&
         std::memcmp(a.schedule, b.schedule, sizeof a.schedule) == 0;
}

}  // namespace

sync_base read_sync_base(const std::string& handheld, uint32_t last_sync) {
  sync_base base;
  std::vector<uint8_t> bytes;
  try {
    if (!read_base_file(handheld + "/" + kSyncBaseFile, last_sync, &bytes)) return base;
  } catch (const std::bad_alloc&) {
    return base;  // no memory for it: no knowledge, as for a damaged one
  }
  if (bytes.size() < kHeaderSize + kFileDigestSize) return base;
  const size_t body = bytes.size() - kFileDigestSize;
  byte_reader in{bytes.data(), body};
  if (std::memcmp(in.take(kMagicSize), kMagic, kMagicSize) != 0) return base;
  const uint16_t version = in.u16();
  if (version != kFormatVersion && version != kFnvFormatVersion) return base;
  const uint64_t digest =
      version == kFormatVersion ? bytes_digest(bytes.data(), body) : fnv_digest(bytes.data(), body);
  if (digest != get_be64(bytes.data() + body) || in.u32() != last_sync) return base;
  const uint32_t categories = in.u32(), elements = in.u32();
  if (categories > in.left / 2) return base;
  base.categories.reserve(categories);
  for (uint32_t c = 0; c < categories && in.ok; ++c) {
    const uint16_t length = in.u16();
    const uint8_t* name = in.take(length);
    if (in.ok) base.categories.emplace_back(reinterpret_cast<const char*>(name), length);
  }
  if (!in.ok || in.left != static_cast<uint64_t>(elements) * kElementSize) {
    base.categories.clear();
    return base;
  }
  base.elements.resize(elements);
  for (uint32_t k = 0; k < elements; ++k) {
    base_element& e = base.elements[k];
    e.id = in.u32();
    e.texts = in.u64();
    for (uint16_t& value : e.schedule)
      value = in.u16();
    e.category = in.u32();
    e.flags = *in.take(1);
    if (e.category >= categories || (k > 0 && e.id <= base.elements[k - 1].id)) {
      return sync_base{};
    }
  }
  base.known = true;
  base.fnv_texts = version == kFnvFormatVersion;
  return base;
}

uint32_t base_builder::category_index(const side_state& side, const element_digest& d) {
  if (d.category < side_to_base_.size() && side_to_base_[d.category] >= 0) {
    return static_cast<uint32_t>(side_to_base_[d.category]);
  }
  const std::string name = d.category < side.categories.size() ? side.categories[d.category] : "";
  const auto found =
      names_.emplace(name, static_cast<uint32_t>(base_.categories.size())).first->second;
  if (found == base_.categories.size()) base_.categories.push_back(name);
  if (d.category < side_to_base_.size()) side_to_base_[d.category] = found;
  return found;
}

base_element base_builder::base_of(const side_state& side, const element_digest& d) {
  base_element e{};
  e.id = d.id;
  std::memcpy(e.schedule, d.schedule, sizeof e.schedule);
  e.category = category_index(side, d);
  e.texts = texts_digest(d);
  return e;
}

void base_builder::take_desktop(const side_state& desktop) {
  side_to_base_.assign(desktop.categories.size(), -1);
  base_.elements.reserve(desktop.elements.size());
  for (size_t k = 0; k < desktop.elements.size(); ++k) {
    const element_digest& d = desktop.elements[k];
    // The merge takes the first element of an id and leaves the others alone.
    if (k > 0 && desktop.elements[k - 1].id == d.id) continue;
    base_.elements.push_back(base_of(desktop, d));
  }
}

void base_builder::take_handheld(const side_state& handheld) {
  side_to_base_.assign(handheld.categories.size(), -1);
  std::vector<base_element>& all = base_.elements;
  std::vector<base_element> only_handheld;
  size_t i = 0;
  for (size_t k = 0; k < handheld.elements.size(); ++k) {
    const element_digest& d = handheld.elements[k];
    if (k > 0 && handheld.elements[k - 1].id == d.id) continue;
    base_element e = base_of(handheld, d);
    for (; i < all.size() && all[i].id < d.id; ++i)
      all[i].flags |= kBaseSidesDiffered;  // on the desktop only
    if (i < all.size() && all[i].id == d.id) {
      if (!same_values(all[i], e)) {
        e.flags = kBaseSidesDiffered;
        all[i] = e;
      }
      ++i;
    } else {
      e.flags = kBaseSidesDiffered;
      only_handheld.push_back(e);
    }
  }
  for (; i < all.size(); ++i)
    all[i].flags |= kBaseSidesDiffered;
  if (only_handheld.empty()) return;
  const size_t middle = all.size();
  all.insert(all.end(), only_handheld.begin(), only_handheld.end());
  std::inplace_merge(all.begin(), all.begin() + static_cast<std::ptrdiff_t>(middle), all.end(),
                     [](const base_element& a, const base_element& b) { return a.id < b.id; });
}

namespace {

// The base as it is written: a megabyte at a time, digested on the way, so
// that a base of a million elements is not first had whole in memory.
class base_file_writer {
 public:
  static constexpr size_t kBuffer = size_t{1} << 20;
  explicit base_file_writer(file_replacement* out) : out_(out) {
    XXH3_64bits_reset(&digest_);
    buffer_.resize(kBuffer);
  }
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
    put_be64(room(kFileDigestSize), XXH3_64bits_digest(&digest_));
    flush();
    return error_;
  }

 private:
  void flush() {
    if (used_ == 0) return;
    XXH3_64bits_update(&digest_, buffer_.data(), used_);
    if (error_ == 0) error_ = file_replacement_write(out_, buffer_.data(), used_);
    used_ = 0;
  }
  file_replacement* out_;
  XXH3_state_t digest_;
  std::vector<uint8_t> buffer_;
  size_t used_ = 0;
  int error_ = 0;
};

}  // namespace

int write_sync_base(const std::string& handheld, uint32_t last_sync, const sync_base& base) {
  const std::string path = handheld + "/" + kSyncBaseFile, tmp = path + ".tmp";
  file_replacement out;
  int error = file_replacement_begin(&out, tmp.c_str());
  if (error != 0) return error;
  try {
    base_file_writer w(&out);
    uint8_t* p = w.room(kHeaderSize);
    std::memcpy(p, kMagic, kMagicSize);
    p += kMagicSize;
    put_be16(p, kFormatVersion);
    put_be32(p + 2, last_sync);
    put_be32(p + 6, static_cast<uint32_t>(base.categories.size()));
    put_be32(p + 10, static_cast<uint32_t>(base.elements.size()));
    for (const std::string& name : base.categories) {
      const uint16_t length = static_cast<uint16_t>(std::min<size_t>(name.size(), UINT16_MAX));
      put_be16(w.room(2), length);
      std::memcpy(w.room(length), name.data(), length);
    }
    for (const base_element& e : base.elements) {
      p = w.room(kElementSize);
      put_be32(p, e.id);
      put_be64(p + 4, e.texts);
      p += 12;
      for (uint16_t value : e.schedule) {
        put_be16(p, value);
        p += 2;
      }
      put_be32(p, e.category);
      p[4] = e.flags;
    }
    error = w.finish();
  } catch (const std::bad_alloc&) {
    error = ENOMEM;
  }
  if (error == 0) error = file_replacement_commit(&out, path.c_str());
  if (error != 0) file_replacement_abandon(&out);
  return error;
}
