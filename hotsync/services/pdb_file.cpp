#include "hotsync/services/pdb_file.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <ctime>

#include "platform/file.h"
#include "platform/file_replacement.h"
#include "util/byte_order.h"

uint32_t palm_time_now() {
  return static_cast<uint32_t>(static_cast<uint64_t>(std::time(nullptr)) + kPalmEpochOffset);
}

namespace {

bool fail(std::string* why, const std::string& text) {
  *why = text;
  return false;
}

// The end of the block that starts at offset: the next larger start among the
// others, or the end of the file.
size_t block_end(size_t offset, const std::vector<size_t>& starts, size_t size) {
  size_t end = size;
  for (size_t s : starts) {
    if (s > offset && s < end) end = s;
  }
  return end;
}

// Opens path for reading. Something there that is not a regular file is a
// database that cannot be read, never a missing one: a side that looks absent
// would be overwritten by the other.
int open_existing(const std::string& path, os_file* f, std::string* why) {
  const int error = file_open_read(path.c_str(), f);
  if (error == 0) return kPdbFileOk;
  if (error == ENOENT) return kPdbFileMissing;
  if (error == kFileNotRegular || error == EISDIR) {
    *why = file_error_text(kFileNotRegular);
    if (error != kFileNotRegular) *why = *why + " (" + file_error_text(error) + ")";
    return kPdbFileDamaged;
  }
  *why = file_error_text(error);
  return kPdbFileIoError;
}

}  // namespace

const uint8_t* pdb_record_data(const pdb_database& db, const pdb_record& r) {
  return r.in_image ? db.image.data() + r.image_offset : r.bytes.data();
}

size_t pdb_record_size(const pdb_record& r) {
  return r.in_image || r.in_file ? r.image_size : r.bytes.size();
}

bool parse_pdb(const uint8_t* data, size_t size, pdb_database* out, std::string* why) {
  return parse_pdb_image(std::vector<uint8_t>(data, data + size), out, why);
}

namespace {

// The header, the record list and the application and sort blocks of a file
// of `size` bytes whose first `have` bytes are in data (at least the header
// and the list). Records are left where the file has them.
bool parse_layout(const uint8_t* data, size_t have, size_t size, pdb_database* db,
                  std::vector<size_t>* block_starts, std::string* why) {
  if (have < kPdbHeaderSize) return fail(why, "shorter than a database header (78 bytes)");
  size_t name_len = 0;
  while (name_len < kPdbNameSize && data[name_len] != 0)
    ++name_len;
  if (name_len == kPdbNameSize) return fail(why, "its name is not terminated");
  db->name.assign(reinterpret_cast<const char*>(data), name_len);
  db->attributes = get_be16(data + 32);
  db->version = get_be16(data + 34);
  db->created = get_be32(data + 36);
  db->modified = get_be32(data + 40);
  db->backed_up = get_be32(data + 44);
  db->mod_number = get_be32(data + 48);
  const uint32_t app_info = get_be32(data + 52);
  const uint32_t sort_info = get_be32(data + 56);
  db->type = get_be32(data + 60);
  db->creator = get_be32(data + 64);
  db->unique_id_seed = get_be32(data + 68);
  const uint32_t next_list = get_be32(data + 72);
  const size_t count = get_be16(data + 76);
  if (db->attributes & kPdbAttrResourceDb) return fail(why, "a resource database, not records");
  if (next_list != 0) return fail(why, "its record list continues elsewhere (not supported)");
  const size_t data_start = kPdbHeaderSize + count * kPdbRecordEntrySize;
  if (data_start > size) return fail(why, "its record list runs past the end of the file");
  if (data_start > have) return fail(why, "its record list could not be read");

  std::vector<size_t>& starts = *block_starts;
  for (size_t i = 0; i < count; ++i)
    starts.push_back(get_be32(data + kPdbHeaderSize + i * 8));
  if (app_info) starts.push_back(app_info);
  if (sort_info) starts.push_back(sort_info);
  size_t previous = data_start;
  for (size_t i = 0; i < count; ++i) {
    if (starts[i] < previous || starts[i] > size) {
      return fail(why, "record " + std::to_string(i) + " lies outside the file or out of order");
    }
    previous = starts[i];
  }
  for (uint32_t block : {app_info, sort_info}) {
    if (block && (block < data_start || block > size || (count > 0 && block > starts[0]))) {
      return fail(why, "its application or sort block lies outside the file");
    }
  }
  for (size_t i = 0; i < count; ++i) {
    const uint8_t* entry = data + kPdbHeaderSize + i * kPdbRecordEntrySize;
    size_t end = i + 1 < count ? starts[i + 1] : size;
    if (end - starts[i] > kPdbMaxRecordSize) {
      return fail(why, "record " + std::to_string(i) + " is larger than 65535 bytes");
    }
    pdb_record r;
    r.attributes = entry[4];
    r.unique_id = get_be24(entry + 5);
    r.image_offset = starts[i];
    r.image_size = end - starts[i];
    db->records.push_back(std::move(r));
  }
  return true;
}

// Where the application and sort blocks lie: from their start to the next
// block or the end of the file.
struct block_span {
  size_t offset = 0, size = 0;
};
block_span block_of(const uint8_t* header, int at, const std::vector<size_t>& starts, size_t size) {
  const uint32_t start = get_be32(header + at);
  if (!start) return {};
  return {start, block_end(start, starts, size) - start};
}

}  // namespace

bool parse_pdb_image(std::vector<uint8_t> image, pdb_database* out, std::string* why) {
  pdb_database db;
  std::vector<size_t> starts;
  if (!parse_layout(image.data(), image.size(), image.size(), &db, &starts, why)) return false;
  for (int at : {52, 56}) {
    block_span b = block_of(image.data(), at, starts, image.size());
    (at == 52 ? db.app_info : db.sort_info)
        .assign(image.data() + b.offset, image.data() + b.offset + b.size);
  }
  for (pdb_record& r : db.records)
    r.in_image = true;
  db.image = std::move(image);
  *out = std::move(db);
  return true;
}

namespace {

// The header and the record list of db, for records laid out after them in
// order; the 2 bytes of padding that follow the list included.
std::vector<uint8_t> header_of(const pdb_database& db) {
  const size_t count = db.records.size();
  const size_t data_start = kPdbHeaderSize + count * kPdbRecordEntrySize + 2;
  std::vector<uint8_t> out(data_start, 0);
  uint8_t* p = out.data();
  for (size_t i = 0; i < db.name.size() && i < kPdbNameSize - 1; ++i)
    p[i] = db.name[i];
  put_be16(p + 32, db.attributes);
  put_be16(p + 34, db.version);
  put_be32(p + 36, db.created);
  put_be32(p + 40, db.modified);
  put_be32(p + 44, db.backed_up);
  put_be32(p + 48, db.mod_number);
  size_t at = data_start;
  if (!db.app_info.empty()) {
    put_be32(p + 52, static_cast<uint32_t>(at));
    at += db.app_info.size();
  }
  if (!db.sort_info.empty()) {
    put_be32(p + 56, static_cast<uint32_t>(at));
    at += db.sort_info.size();
  }
  put_be32(p + 60, db.type);
  put_be32(p + 64, db.creator);
  put_be32(p + 68, db.unique_id_seed);
  put_be16(p + 76, static_cast<uint16_t>(count));
  for (size_t i = 0; i < count; ++i) {
    uint8_t* entry = p + kPdbHeaderSize + i * kPdbRecordEntrySize;
    put_be32(entry, static_cast<uint32_t>(at));
    entry[4] = db.records[i].attributes;
    put_be24(entry + 5, db.records[i].unique_id);
    at += pdb_record_size(db.records[i]);
  }
  return out;
}

}  // namespace

std::vector<uint8_t> serialize_pdb(const pdb_database& db) {
  std::vector<uint8_t> out = header_of(db);
  out.insert(out.end(), db.app_info.begin(), db.app_info.end());
  out.insert(out.end(), db.sort_info.begin(), db.sort_info.end());
  for (const pdb_record& r : db.records) {
    const uint8_t* data = pdb_record_data(db, r);
    out.insert(out.end(), data, data + pdb_record_size(r));
  }
  return out;
}

int read_pdb_file(const std::string& path, pdb_database* out, std::string* why) {
  os_file f;
  if (int result = open_existing(path, &f, why)) return result;
  // Read into memory of the file's size: no growing and copying on the way.
  std::vector<uint8_t> bytes;
  uint64_t expected = 0;
  int error = file_size(f, &expected);
  if (error == 0 && expected > SIZE_MAX / 2) error = EFBIG;
  if (error == 0) bytes.resize(static_cast<size_t>(expected));
  size_t have = 0;
  while (error == 0) {
    if (have == bytes.size()) bytes.resize(bytes.size() + (1 << 16));  // it grew meanwhile
    size_t got = 0;
    error = file_read(f, bytes.data() + have, bytes.size() - have, &got);
    if (got == 0) break;
    have += got;
  }
  file_close(f);
  if (error != 0) {
    *why = file_error_text(error);
    return kPdbFileIoError;
  }
  bytes.resize(have);
  return parse_pdb_image(std::move(bytes), out, why) ? kPdbFileOk : kPdbFileDamaged;
}

namespace {

// Reads exactly n bytes at offset, or says why not.
int read_exactly(os_file f, uint64_t offset, uint8_t* out, size_t n, std::string* why) {
  size_t have = 0;
  while (have < n) {
    size_t got = 0;
    int error = file_read_at(f, offset + have, out + have, n - have, &got);
    if (error != 0) {
      *why = file_error_text(error);
      return kPdbFileIoError;
    }
    if (got == 0) {
      *why = "the file ended early";
      return kPdbFileDamaged;
    }
    have += got;
  }
  return kPdbFileOk;
}

}  // namespace

int open_pdb_file(const std::string& path, pdb_database* out, intptr_t* file, std::string* why) {
  os_file f;
  if (int result = open_existing(path, &f, why)) return result;
  uint64_t size = 0;
  int error = file_size(f, &size);
  if (error != 0) {
    file_close(f);
    *why = file_error_text(error);
    return kPdbFileIoError;
  }
  // The header first, then the record list it announces.
  std::vector<uint8_t> head(kPdbHeaderSize);
  int result = read_exactly(f, 0, head.data(), size < kPdbHeaderSize ? size : head.size(), why);
  pdb_database db;
  std::vector<size_t> starts;
  if (result == kPdbFileOk && size >= kPdbHeaderSize) {
    const size_t count = get_be16(head.data() + 76);
    const size_t list_end = kPdbHeaderSize + count * kPdbRecordEntrySize;
    if (list_end <= size) {
      head.resize(list_end);
      result = read_exactly(f, kPdbHeaderSize, head.data() + kPdbHeaderSize,
                            list_end - kPdbHeaderSize, why);
    }
  }
  if (result == kPdbFileOk && !parse_layout(head.data(), size < kPdbHeaderSize ? size : head.size(),
                                            size, &db, &starts, why)) {
    result = kPdbFileDamaged;
  }
  for (int at : {52, 56}) {
    if (result != kPdbFileOk) break;
    block_span b = block_of(head.data(), at, starts, size);
    std::vector<uint8_t>& block = at == 52 ? db.app_info : db.sort_info;
    block.resize(b.size);
    result = read_exactly(f, b.offset, block.data(), b.size, why);
  }
  if (result != kPdbFileOk) {
    file_close(f);
    return result;
  }
  for (pdb_record& r : db.records)
    r.in_file = true;
  *out = std::move(db);
  *file = f;
  return kPdbFileOk;
}

int read_pdb_record(intptr_t file, const pdb_record& r, uint8_t* out, std::string* why) {
  return read_exactly(file, r.image_offset, out, r.image_size, why);
}

namespace {

// Copies n bytes at offset of from to the end of to: inside the system where
// it can, the rest through a buffer.
int copy_span(os_file from, uint64_t offset, size_t n, os_file to, std::vector<uint8_t>* buffer,
              std::string* why) {
  // What the system's copy left, failing or not, the buffer copies, and its
  // reads and writes tell which file failed.
  uint64_t copied = 0;
  file_copy_range(from, offset, n, to, &copied);
  offset += copied;
  n -= static_cast<size_t>(copied);
  if (n > 0 && buffer->empty()) buffer->resize(1 << 20);
  while (n > 0) {
    const size_t step = n < buffer->size() ? n : buffer->size();
    int result = read_exactly(from, offset, buffer->data(), step, why);
    if (result != kPdbFileOk) return result;
    int error = file_write(to, buffer->data(), step);
    if (error != 0) {
      *why = file_error_text(error);
      return kPdbFileIoError;
    }
    offset += step;
    n -= step;
  }
  return kPdbFileOk;
}

int write_body(os_file to, const pdb_database& db, intptr_t records_file, std::string* why) {
  const std::vector<uint8_t> header = header_of(db);
  for (const std::vector<uint8_t>* block : {&header, &db.app_info, &db.sort_info}) {
    if (block->empty()) continue;
    if (int error = file_write(to, block->data(), block->size())) {
      *why = file_error_text(error);
      return kPdbFileIoError;
    }
  }
  std::vector<uint8_t> buffer;
  for (size_t i = 0; i < db.records.size();) {
    const pdb_record& r = db.records[i++];
    if (!r.in_file) {
      const size_t size = pdb_record_size(r);
      int error = size ? file_write(to, pdb_record_data(db, r), size) : 0;
      if (error != 0) {
        *why = file_error_text(error);
        return kPdbFileIoError;
      }
      continue;
    }
    // Records that lie one after the other in the file go in one copy.
    uint64_t offset = r.image_offset;
    size_t run = r.image_size;
    while (i < db.records.size() && db.records[i].in_file &&
           db.records[i].image_offset == offset + run) {
      run += db.records[i++].image_size;
    }
    int result = copy_span(records_file, offset, run, to, &buffer, why);
    if (result != kPdbFileOk) return result;
  }
  return kPdbFileOk;
}

}  // namespace

int write_pdb_file(const std::string& path, const pdb_database& db, std::string* why,
                   intptr_t records_file) {
  const std::string tmp = path + ".tmp";
  file_replacement r;
  int error = file_replacement_begin(&r, tmp.c_str());
  if (error != 0) {
    *why = file_error_text(error);
    return kPdbFileIoError;
  }
  int result = write_body(r.file, db, records_file, why);
  if (result == kPdbFileOk) error = file_replacement_commit(&r, path.c_str());
  if (error != 0) {
    *why = file_error_text(error);
    result = kPdbFileIoError;
  }
  if (result != kPdbFileOk) file_replacement_abandon(&r);
  return result;
}

namespace {

// What comes before the records: the header, the record list with its two
// bytes of padding, and the blocks.
uint64_t head_size(const pdb_database& db) {
  return kPdbHeaderSize + uint64_t{db.records.size()} * kPdbRecordEntrySize + 2 +
         db.app_info.size() + db.sort_info.size();
}

}  // namespace

bool pdb_fits_file(const pdb_database& db, std::string* why) {
  if (db.records.size() > kPdbMaxRecords) {
    return fail(why, "more than 65,535 records, which a database cannot hold");
  }
  uint64_t end = head_size(db);
  for (const pdb_record& r : db.records)
    end += pdb_record_size(r);
  if (end > UINT32_MAX) return fail(why, "over 4 GB, more than a database's record list can reach");
  return true;
}

bool pdb_fits_in_place(const pdb_database& db, uint64_t from, uint64_t end) {
  if (head_size(db) > from) return false;
  uint64_t at = from;
  for (const pdb_record& r : db.records) {
    if (!r.in_file || r.image_offset != at) return false;
    at += r.image_size;
  }
  return at == end;
}

int complete_pdb_in_place(intptr_t file, intptr_t reader, const pdb_database& db, uint64_t from,
                          std::string* why) {
  std::vector<uint8_t> head = header_of(db);
  head.insert(head.end(), db.app_info.begin(), db.app_info.end());
  head.insert(head.end(), db.sort_info.begin(), db.sort_info.end());
  uint64_t size = 0;
  for (const pdb_record& r : db.records)
    size += r.image_size;
  // Front to back: each step is read whole before it is written over, and
  // what it overwrites lies before what is still to be read.
  std::vector<uint8_t> step(size < (1u << 20) ? static_cast<size_t>(size) : 1u << 20);
  for (uint64_t done = 0; done < size && from != head.size();) {
    const size_t n = static_cast<size_t>(size - done < step.size() ? size - done : step.size());
    if (read_exactly(reader, from + done, step.data(), n, why) != kPdbFileOk) {
      return kPdbFileIoError;
    }
    if (int error = file_write_at(file, head.size() + done, step.data(), n)) {
      *why = file_error_text(error);
      return kPdbFileIoError;
    }
    done += n;
  }
  int error = file_write_at(file, 0, head.data(), head.size());
  if (error == 0) error = file_set_size(file, head.size() + size);
  if (error != 0) {
    *why = file_error_text(error);
    return kPdbFileIoError;
  }
  return kPdbFileOk;
}
