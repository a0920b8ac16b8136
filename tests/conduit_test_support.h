// A desktop data directory and a handheld folder in a scratch folder, with the
// registry pointing at the one and our Sync Manager serving the other: the
// world in which the conduit runs a HotSync.
#pragma once

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "model/element_db.h"
#include "tests/test_support.h"

class ConduitTest : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  std::string desk() const { return dir.file("desk/"); }
  std::string xml_path() const { return dir.file("desk/elements.xml"); }
  std::string pdb_path() const { return dir.file("hh/QVelements.pdb"); }

  // Puts elements.xml (LF line ends in text; CR LF on disk).
  void put_desktop(const std::string& text);
  // Puts QVelements holding the data set that text describes in elements.xml form.
  void put_handheld(const std::string& text);
  // Puts QVelements holding exactly this one record (the stream as bytes).
  void put_handheld_record(const std::vector<uint8_t>& record);
  void set_last_sync(uint32_t t);
  // Points the registry at a value, or at none when value is empty.
  void set_data_dir(const std::string& value);

  // Runs OpenConduit with the sync type; the log entries of the run are in log().
  int32_t sync(uint32_t sync_type);
  const std::vector<std::string>& log() const { return log_; }
  bool log_has(const std::string& part) const;

  // Reads a side back into db (constructed by the caller); false if unreadable.
  bool read_desktop(element_db* db);
  bool read_handheld(element_db* db);
  std::string desktop_ids();
  std::string handheld_ids();

  scratch_dir dir;

 private:
  std::vector<std::string> log_;
};

// Loads elements.xml-form text into db (which must be empty).
void load_text(element_db* db, const std::string& text);
