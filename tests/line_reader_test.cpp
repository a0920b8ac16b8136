#include "desktop/line_reader.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "tests/test_support.h"

namespace {

// Reads the whole file in pieces of at most size-1 bytes.
std::vector<std::string> pieces_of(const std::string& bytes, size_t size, bool* eof_after_last) {
  scratch_dir dir;
  write_file(dir.file("f"), bytes);
  os_file f;
  EXPECT_EQ(file_open_read(dir.file("f").c_str(), &f), 0);
  static line_reader r;
  line_reader_start(&r, f);
  std::vector<std::string> out;
  std::string buf(size, '\0');
  while (size_t n = read_line(&r, buf.data(), size)) {
    out.emplace_back(buf.data(), n);
    *eof_after_last = r.eof;
  }
  file_close(f);
  return out;
}

TEST(LineReader, DropsOnlyCrBeforeLf) {
  bool eof = false;
  auto lines = pieces_of("a\r\nb\rc\r\n\r\r\nd", 100, &eof);
  ASSERT_EQ(lines.size(), 4u);
  EXPECT_EQ(lines[0], "a\n");
  EXPECT_EQ(lines[1], "b\rc\n");
  EXPECT_EQ(lines[2], "\r\n");
  EXPECT_EQ(lines[3], "d");
  EXPECT_TRUE(eof);
}

TEST(LineReader, CrLfSplitByTheReadBufferIsStillOneLineEnd) {
  std::string first(sizeof(line_reader::buf) - 1, 'x');
  bool eof = false;
  auto lines = pieces_of(first + "\r\nnext\r\n", 1 << 17, &eof);
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], first + "\n");
  EXPECT_EQ(lines[1], "next\n");
  EXPECT_FALSE(eof);  // the last line ended: no read has run into the end yet
}

TEST(LineReader, CrAtTheVeryEndIsKept) {
  bool eof = false;
  auto lines = pieces_of("end\r", 100, &eof);
  ASSERT_EQ(lines.size(), 1u);
  EXPECT_EQ(lines[0], "end\r");
  EXPECT_TRUE(eof);
}

TEST(LineReader, LongLineComesInPiecesAfterTranslation) {
  // Translation comes first: "ab\r\n" is three bytes, so a piece of three
  // holds the whole line.
  bool eof = false;
  auto lines = pieces_of("ab\r\nabcd\r\n", 4, &eof);
  ASSERT_EQ(lines.size(), 3u);
  EXPECT_EQ(lines[0], "ab\n");
  EXPECT_EQ(lines[1], "abc");
  EXPECT_EQ(lines[2], "d\n");
}

}  // namespace
