// Small helpers the tests share: scratch folders, whole-file reads and writes,
// and a data set that cleans up after itself.
#pragma once

#include <string>

#include "model/element_db.h"

// A fresh folder under the system's temporary directory, removed with its
// contents when the object goes.
class scratch_dir {
 public:
  scratch_dir();
  ~scratch_dir();
  scratch_dir(const scratch_dir&) = delete;
  scratch_dir& operator=(const scratch_dir&) = delete;
  const std::string& path() const { return path_; }
  std::string file(const std::string& name) const { return path_ + "/" + name; }

 private:
  std::string path_;
};

void write_file(const std::string& path, const std::string& bytes);
std::string read_file(const std::string& path);
bool exists(const std::string& path);

// LF to CR LF, as the writer puts line ends on disk.
std::string crlf(const std::string& text);

struct test_db {
  element_db db;
  test_db() { construct_db(&db); }
  ~test_db() { release_db(&db); }
  test_db(const test_db&) = delete;
  test_db& operator=(const test_db&) = delete;
  element_db* operator->() { return &db; }
  element_db* get() { return &db; }
};

// Adds an element to the list the way the reader does, with copies of q and a.
element* add_element(element_db* db, uint32_t id, uint16_t tm_t_rpt, const char* q, const char* a,
                     uint16_t ctgr = 0);

// An item block of elements.xml as the writer lays it out (LF line ends).
std::string xml_item(uint32_t id, int tm_t_rpt, const std::string& ctgr, const std::string& q,
                     const std::string& a, int rp = 4);
// A whole elements.xml text (LF line ends) with this start time and body.
std::string xml_file(int32_t tm_strt, const std::string& body);

// Adds a line to the figures of the reliability report, when one is being
// made (QV_RELIABILITY_DIR names its folder).
void record_figure(const std::string& line);

// The elements' ids in list order.
std::string ids_of(const element_db* db);
// The elements' tm_t_rpt values in list order, e.g. "3 7 7".
std::string keys_of(const element* head);
