#include "hotsync/backups.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdio>
#include <string>

#include "tests/test_support.h"

namespace {

// A file put in a side's place between its second name and the noting of its
// version is the one the HotSync reads and overwrites: the backup must hold
// it, not the file it replaced.
TEST(Backups, AFilePutInASidesPlaceAfterItsSecondNameIsCopied) {
  scratch_dir dir;
  ::mkdir(dir.file("hh").c_str(), 0700);
  const std::string side = dir.file("elements.xml");
  write_file(side, "the side as it was");
  backup_info made;
  std::string why;
  ASSERT_TRUE(begin_backup(dir.file("hh"), side, "test", &made, &why, {true, false})) << why;
  ASSERT_EQ(made.desktop_kept, kept_as::second_name);

  write_file(dir.file("other.xml"), "put in its place");
  ASSERT_EQ(std::rename(dir.file("other.xml").c_str(), side.c_str()), 0);
  check_second_names(dir.file("hh"), side, &made);
  ASSERT_TRUE(copy_backup_sides(dir.file("hh"), side, &made, &why)) << why;
  EXPECT_EQ(read_file(backup_side_file(made, true)), "put in its place");
  write_file(side, "the side after the HotSync");
  EXPECT_EQ(read_file(backup_side_file(made, true)), "put in its place");
}

}  // namespace
