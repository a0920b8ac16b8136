#include "desktop/xml_writer.h"

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "desktop/crlf_writer.h"
#include "desktop/decimal_format.h"
#include "desktop/xml_format.h"
#include "platform/file_faults.h"
#include "tests/test_support.h"

namespace {

class SaveXml : public ::testing::Test {
 protected:
  void SetUp() override {
    file_fault_reset();
    insert_element(&db->head, nullptr);
  }
  void TearDown() override { file_fault_reset(); }

  int save() { return save_xml(db.get(), tmp_path().c_str(), xml_path().c_str()); }
  std::string xml_path() const { return dir.file("elements.xml"); }
  std::string tmp_path() const { return dir.file("elements.tmp"); }
  std::string written() const { return read_file(xml_path()); }

  scratch_dir dir;
  test_db db;
};

const std::string kRootLine = "<quorvia core_version=\"10\" time_of_start=\"0\">\n\n";

TEST(XmlHeader, Has45LinesWithLegendAlignedAtColumn13) {
  std::string header = kXmlHeader;
  std::vector<std::string> lines;
  size_t start = 0;
  for (size_t lf; (lf = header.find('\n', start)) != std::string::npos; start = lf + 1) {
    lines.push_back(header.substr(start, lf - start));
  }
  ASSERT_EQ(lines.size(), 45u);
  EXPECT_EQ(start, header.size());
  EXPECT_EQ(lines[0], "<?xml version=\"1.0\" encoding=\"UTF-8\"?>");
  EXPECT_EQ(lines[15], "\t\tl_l_ivl CDATA #REQUIRED");
  EXPECT_EQ(lines[16], "\t\trl_ivl CDATA #REQUIRED");
  for (int i = 31; i <= 41; ++i)
    EXPECT_EQ(lines[i].find('='), 12u) << lines[i];
  EXPECT_EQ(lines[42], "-->");
  EXPECT_EQ(lines[43], "");
  EXPECT_EQ(lines[44], "");
}

TEST_F(SaveXml, EmptyDataSetIsHeaderRootAndBlankLines) {
  ASSERT_EQ(save(), kSaveXmlOk);
  EXPECT_EQ(written(), crlf(std::string(kXmlHeader) + kRootLine + "\n\n" + "</quorvia>"));
  EXPECT_FALSE(exists(tmp_path()));
}

TEST_F(SaveXml, ItemBlockAndCategoryLinesExactly) {
  db->tm_strt = -5;
  find_or_add_ctgr(db.get(), "Words");
  find_or_add_ctgr(db.get(), "Maths");
  db->ctgrs[1]->bgcolor = 16711680;
  element* e = add_element(db.get(), 4294967295u, 65535, "dog", "Hund", 1);
  e->stm_t_rpt = 7;
  e->l_ivl = 1;
  e->rl_l_ivl = 2;
  e->ivl = 3;
  e->rp = 4;
  e->gr = 5;
  ASSERT_EQ(save(), kSaveXmlOk);
  std::string body =
      "<quorvia core_version=\"10\" time_of_start=\"-5\">\n\n"
      "<category name=\"Words\" bgcolor=\"4294967295\"/>\n"
      "<category name=\"Maths\" bgcolor=\"16711680\"/>\n"
      "\n\n"
      "<item id=\"4294967295\" tm_t_rpt=\"65535\" stm_t_rpt=\"7\" ctgr=\"Maths\" l_ivl=\"1\" "
      "rl_l_ivl=\"2\" ivl=\"3\" rp=\"4\" gr=\"5\">\n"
      "<Q>dog</Q>\n"
      "<A>Hund</A>\n</item>\n\n"
      "</quorvia>";
  EXPECT_EQ(written(), crlf(std::string(kXmlHeader) + body));
}

TEST_F(SaveXml, CdataOnlyForLessThanOrAmpersandEachTextOnItsOwn) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 1, 1, "a > b \"quoted\" ]]>", "x < y");
  add_element(db.get(), 2, 2, "fish & chips", "");
  ASSERT_EQ(save(), kSaveXmlOk);
  std::string file = written();
  EXPECT_NE(file.find("<Q>a > b \"quoted\" ]]></Q>\r\n<A><![CDATA[x < y]]></A>\r\n"),
            std::string::npos);
  EXPECT_NE(file.find("<Q><![CDATA[fish & chips]]></Q>\r\n<A></A>\r\n</item>"), std::string::npos);
}

TEST_F(SaveXml, LineEndsInsideTextsBecomeCrLf) {
  find_or_add_ctgr(db.get(), "c");
  add_element(db.get(), 1, 1, "two\nlines", "held\r\nCR LF");
  ASSERT_EQ(save(), kSaveXmlOk);
  std::string file = written();
  EXPECT_NE(file.find("<Q>two\r\nlines</Q>\r\n"), std::string::npos);
  EXPECT_NE(file.find("<A>held\r\r\nCR LF</A>\r\n"), std::string::npos);
}

// Texts are searched many bytes at a time: a marked byte is found wherever it
// stands, in a full step, in the last partial one, or in a text too short for one.
TEST_F(SaveXml, MarkedBytesFoundAtEveryPlaceOfTextsOfEveryLength) {
  find_or_add_ctgr(db.get(), "c");
  struct written_text {
    std::string text, expected;
  };
  std::vector<written_text> texts;
  uint32_t id = 1;
  for (size_t length = 1; length <= 40; ++length) {
    for (size_t at = 0; at < length; ++at) {
      for (char mark : {'<', '&', '\n', '>'}) {
        std::string text(length, 'x');
        text[at] = mark;
        std::string body = mark == '\n' ? text.substr(0, at) + "\r\n" + text.substr(at + 1) : text;
        if (mark == '<' || mark == '&') body = "<![CDATA[" + body + "]]>";
        texts.push_back({text, "<Q>" + body + "</Q>\r\n<A>" + body + "</A>"});
        add_element(db.get(), id, static_cast<uint16_t>(id), text.c_str(), text.c_str());
        ++id;  // as the key as well: the file keeps the order of adding
      }
    }
  }
  ASSERT_EQ(save(), kSaveXmlOk);
  const std::string file = written();
  size_t from = 0;
  for (const written_text& t : texts) {
    const size_t found = file.find(t.expected, from);
    ASSERT_NE(found, std::string::npos) << t.text;
    from = found + t.expected.size();
  }
}

// Texts larger than the writer's buffer are written through it in pieces, a
// line feed as CR LF wherever it falls.
TEST_F(SaveXml, TextsLargerThanTheBufferWholeAndConverted) {
  find_or_add_ctgr(db.get(), "c");
  std::string big(3 << 20, 'x');
  for (size_t at = 1000; at < big.size(); at += 250000)
    big[at] = '\n';
  const std::string marked = "&" + big;
  add_element(db.get(), 1, 1, big.c_str(), marked.c_str());
  add_element(db.get(), 2, 2, "after", "them");
  ASSERT_EQ(save(), kSaveXmlOk);
  std::string converted;
  for (char c : big)
    converted += c == '\n' ? std::string("\r\n") : std::string(1, c);
  const std::string expected = "<Q>" + converted + "</Q>\r\n<A><![CDATA[&" + converted +
                               "]]></A>\r\n</item>\r\n\r\n<item id=\"2\"";
  EXPECT_NE(written().find(expected), std::string::npos);
}

TEST_F(SaveXml, QuotedCategoryNameIsStrippedByItsFirstItem) {
  find_or_add_ctgr(db.get(), "plain");
  db->ctgrs[0]->name[0] = '"';  // a quote that find_or_add_ctgr would not have kept
  find_or_add_ctgr(db.get(), "unused");
  db->ctgrs[1]->name[0] = '"';
  add_element(db.get(), 1, 1, "q", "a", 0);
  ASSERT_EQ(save(), kSaveXmlOk);
  std::string file = written();
  EXPECT_NE(file.find("<category name=\"\"lain\" bgcolor"), std::string::npos);
  EXPECT_NE(file.find("ctgr=\"lain\""), std::string::npos);
  EXPECT_STREQ(db->ctgrs[0]->name, "lain");
  EXPECT_STREQ(db->ctgrs[1]->name, "\"nused");
}

TEST_F(SaveXml, ReplacesAnExistingFile) {
  write_file(xml_path(), "old");
  ASSERT_EQ(save(), kSaveXmlOk);
  EXPECT_EQ(written().substr(0, 5), "<?xml");
  EXPECT_FALSE(exists(tmp_path()));
}

TEST_F(SaveXml, UnwritableFolderGivesOneAndChangesNothing) {
  std::string missing = dir.file("no/such/dir/elements.tmp");
  EXPECT_EQ(save_xml(db.get(), missing.c_str(), xml_path().c_str()), kSaveXmlCannotOpen);
  EXPECT_FALSE(exists(xml_path()));
}

TEST_F(SaveXml, WriteFailureGivesFiveAndKeepsOldFile) {
  write_file(xml_path(), "old");
  file_fault_arm(file_op::write, 1, ENOSPC);
  EXPECT_EQ(save(), kSaveXmlWriteFailed);
  EXPECT_EQ(written(), "old");
  EXPECT_TRUE(exists(tmp_path()));
  EXPECT_EQ(file_fault_calls(file_op::close), 1);
}

TEST_F(SaveXml, WriteFailureOnAFullDeviceGivesFive) {
  for (int i = 0; i < 3000; ++i)
    add_element(db.get(), i, 1, "question text", "answer text");
  find_or_add_ctgr(db.get(), "c");
  file_fault_arm(file_op::write, 1, ENOSPC);
  EXPECT_EQ(save(), kSaveXmlWriteFailed);
  EXPECT_FALSE(exists(xml_path()));
}

TEST_F(SaveXml, SyncOrCloseFailureGivesTwoAndKeepsOldFile) {
  for (file_op op : {file_op::sync, file_op::close}) {
    write_file(xml_path(), "old");
    file_fault_arm(op, 1, EIO);
    EXPECT_EQ(save(), kSaveXmlCannotClose);
    EXPECT_EQ(written(), "old");
    EXPECT_TRUE(exists(tmp_path()));
  }
}

TEST_F(SaveXml, RenameFailureGivesFourAndKeepsOldFile) {
  write_file(xml_path(), "old");
  file_fault_arm(file_op::replace, 1, EIO);
  EXPECT_EQ(save(), kSaveXmlCannotRename);
  EXPECT_EQ(written(), "old");
  EXPECT_EQ(read_file(tmp_path()).substr(0, 5), "<?xml");
}

TEST_F(SaveXml, RenameOntoAFolderGivesFour) {
  std::string folder = dir.file("elements.xml");
  ASSERT_EQ(mkdir(folder.c_str(), 0755), 0);
  write_file(folder + "/keep", "x");
  EXPECT_EQ(save(), kSaveXmlCannotRename);
  EXPECT_EQ(read_file(folder + "/keep"), "x");
}

TEST_F(SaveXml, CategoryIndexOutsideTheTableWritesNothing) {
  find_or_add_ctgr(db.get(), "only");
  add_element(db.get(), 1, 1, "q", "a", 1);
  write_file(xml_path(), "old");
  EXPECT_EQ(save(), kSaveXmlBadCategory);
  EXPECT_EQ(written(), "old");
  EXPECT_FALSE(exists(tmp_path()));
}

}  // namespace

TEST(FormatU32, EveryLengthOfNumber) {
  for (uint32_t v : {0u, 7u, 9u, 10u, 99u, 100u, 101u, 999u, 1000u, 9999u, 65535u, 999999999u,
                     1000000000u, 1041379200u, 4294967295u}) {
    char out[10];
    EXPECT_EQ(std::string(out, format_u32(out, v)), std::to_string(v));
  }
}
