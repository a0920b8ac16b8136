// The standard Palm database file (.pdb): how our Sync Manager keeps each
// handheld database on disk. Record databases only.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr size_t kPdbHeaderSize = 78;
constexpr size_t kPdbRecordEntrySize = 8;
constexpr size_t kPdbNameSize = 32;
// The largest record a database may hold.
constexpr size_t kPdbMaxRecordSize = 65535;
// The most records the header can count.
constexpr size_t kPdbMaxRecords = 65535;
// Seconds from 1904-01-01, the Palm epoch, to 1970-01-01.
constexpr uint32_t kPalmEpochOffset = 2082844800u;
constexpr uint16_t kPdbAttrResourceDb = 0x0001;

struct pdb_record {
  uint8_t attributes;          // attribute bits in the high nibble, category in the low
  uint32_t unique_id;          // 24 bits
  std::vector<uint8_t> bytes;  // a record written since the file was read
  // A record as the file holds it stays there, in the database's image or,
  // for a database opened with open_pdb_file, in the file itself.
  bool in_image = false;
  bool in_file = false;
  size_t image_offset = 0;
  size_t image_size = 0;
};

struct pdb_database {
  std::string name;  // at most 31 bytes
  uint16_t attributes = 0;
  uint16_t version = 0;
  uint32_t created = 0;  // seconds since 1904-01-01
  uint32_t modified = 0;
  uint32_t backed_up = 0;
  uint32_t mod_number = 0;
  uint32_t type = 0;
  uint32_t creator = 0;
  uint32_t unique_id_seed = 0;
  std::vector<uint8_t> app_info;  // kept as found, written back unchanged
  std::vector<uint8_t> sort_info;
  std::vector<pdb_record> records;
  std::vector<uint8_t> image;  // the file as read, which records may lie in
};

const uint8_t* pdb_record_data(const pdb_database& db, const pdb_record& r);
size_t pdb_record_size(const pdb_record& r);

// Parses a whole file's bytes. On failure returns false and says why.
bool parse_pdb(const uint8_t* data, size_t size, pdb_database* out, std::string* why);
// The same for a file image the database takes over, its records left in it.
bool parse_pdb_image(std::vector<uint8_t> image, pdb_database* out, std::string* why);
std::vector<uint8_t> serialize_pdb(const pdb_database& db);

enum pdb_file_result { kPdbFileOk = 0, kPdbFileMissing, kPdbFileIoError, kPdbFileDamaged };

// Something at path that is not a regular file (a folder, a FIFO, a device)
// is kPdbFileDamaged, never kPdbFileMissing, and is not waited on.
int read_pdb_file(const std::string& path, pdb_database* out, std::string* why);
// Reads the header and the record list only, checked as read_pdb_file checks
// them, and leaves the file open in *file for read_pdb_record. Records are in
// the file (in_file) until read.
int open_pdb_file(const std::string& path, pdb_database* out, intptr_t* file, std::string* why);
// Copies a record that is still in the file into out (room for its size).
int read_pdb_record(intptr_t file, const pdb_record& r, uint8_t* out, std::string* why);
// Writes through path + ".tmp" (made new, never through what was there),
// forced to disk, then renamed over path; on failure the temporary is gone and
// path untouched. Records in_file are copied from records_file, a block at a
// time.
int write_pdb_file(const std::string& path, const pdb_database& db, std::string* why,
                   intptr_t records_file = -1);
// Whether db can be written as a file at all: the header counts its records
// in 16 bits and the list gives each one's place in 32. Says why not.
bool pdb_fits_file(const pdb_database& db, std::string* why);
// Whether db can be completed in place in a file that holds its records, in
// their order and with nothing between them, from `from` to `end`: every
// record in that file, and the header, record list and blocks fitting before
// `from`.
bool pdb_fits_in_place(const pdb_database& db, uint64_t from, uint64_t end);
// Completes such a file (pdb_fits_in_place): the records move down to follow
// the header, the list and the blocks written before them, and the file is
// cut where they end. `reader` is a second handle on the file, for reading.
// kPdbFileOk, or kPdbFileIoError with why and the file to be given up.
int complete_pdb_in_place(intptr_t file, intptr_t reader, const pdb_database& db, uint64_t from,
                          std::string* why);

// The current time in seconds since 1904-01-01.
uint32_t palm_time_now();
