#include "desktop/xml_reader.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <string>
#include <vector>

#include "hotsync/services/hotsync_log.h"
#include "platform/file_faults.h"
#include "tests/test_support.h"

namespace {

using ::testing::internal::CaptureStderr;
using ::testing::internal::GetCapturedStderr;

const std::string kRoot = "<quorvia core_version=\"10\" time_of_start=\"1000\">\n\n";

std::string item(uint32_t id, int t, const std::string& ctgr, const std::string& q,
                 const std::string& a) {
  return xml_item(id, t, ctgr, q, a);
}

class LoadDbFromPc : public ::testing::Test {
 protected:
  void SetUp() override {
    file_fault_reset();
    hotsync_log_reset();
    insert_element(&db->head, nullptr);
  }
  void TearDown() override { file_fault_reset(); }

  // Writes text with CR LF line ends (or as it is) and loads it.
  int load(const std::string& text, bool to_crlf = true) {
    write_file(path(), to_crlf ? crlf(text) : text);
    return load_db_from_pc(db.get(), path().c_str(), &report);
  }
  int load_body(const std::string& body) { return load(kRoot + body + "</quorvia>"); }
  std::string path() const { return dir.file("elements.xml"); }
  element* first() { return db->head; }
  std::string ctgr_name(const element* e) { return db->ctgrs[e->ctgr]->name; }

  scratch_dir dir;
  test_db db;
  pc_load_report report{};
};

// --- the header --------------------------------------------------------------

TEST_F(LoadDbFromPc, VersionsUpToTenOrNoneAreAccepted) {
  for (std::string attr : {" core_version=\"0\"", " core_version=\"10\"", ""}) {
    EXPECT_EQ(load("<quorvia" + attr + " time_of_start=\"77\">\n</quorvia>"), 1) << attr;
    EXPECT_EQ(db->tm_strt, 77);
  }
}

TEST_F(LoadDbFromPc, NewerVersionIsRefusedOnStandardError) {
  CaptureStderr();
  EXPECT_EQ(load("<quorvia core_version=\"11\" time_of_start=\"1\">\n</quorvia>"), 0);
  EXPECT_EQ(GetCapturedStderr(),
            "ERROR:\nyour 'Quorvia core version' = 10, while elements.xml file I am just reading "
            "was saved using 11 version...\nI am NOT prepared to this version! Please upgrade "
            "me...\n");
  EXPECT_EQ(report.status, kPcLoadNewerVersion);
  EXPECT_EQ(report.version, 11u);
  EXPECT_EQ(db->ctgr_count, 0);
}

TEST_F(LoadDbFromPc, CommentBeforeRootIsSkipped) {
  EXPECT_EQ(load("<!-- a comment\n<quorvia time_of_start=\"1\">\nstill -->\n"
                 "<quorvia time_of_start=\"7\">\n</quorvia>"),
            1);
  EXPECT_EQ(db->tm_strt, 7);
}

TEST_F(LoadDbFromPc, CommentAfterRootIsScannedLikeAnyLine) {
  EXPECT_EQ(load_body("<!--\n" + item(5, 1, "c", "in a comment", "a") + "-->\n"), 1);
  ASSERT_NE(first(), nullptr);
  EXPECT_STREQ(first()->q, "in a comment");
}

TEST_F(LoadDbFromPc, RootAttributesMaySpreadOverLines) {
  EXPECT_EQ(load("<quorvia\n core_version=\"9\"\n time_of_start=\"12\">\n</quorvia>"), 1);
  EXPECT_EQ(db->tm_strt, 12);
}

TEST_F(LoadDbFromPc, TimeOfStartBeforeCoreVersionIsNotSeen) {
  EXPECT_EQ(load("<quorvia time_of_start=\"3\" core_version=\"10\">\n</quorvia>"), 0);
  EXPECT_EQ(report.status, kPcLoadNoHeader);
  EXPECT_EQ(load("<quorvia time_of_start=\"3\" core_version=\"10\">\n time_of_start=\"4\"\n"
                 "</quorvia>"),
            1);
  EXPECT_EQ(db->tm_strt, 4);
}

TEST_F(LoadDbFromPc, HeaderOnTheLastLineWithoutLineEndFails) {
  EXPECT_EQ(load("<quorvia time_of_start=\"3\"></quorvia>"), 0);
  EXPECT_EQ(report.status, kPcLoadNoHeader);
}

TEST_F(LoadDbFromPc, MinusSignOfStartTimeIsSkipped) {
  EXPECT_EQ(load("<quorvia time_of_start=\"-5\">\n</quorvia>"), 1);
  EXPECT_EQ(db->tm_strt, 5);
}

// --- categories ----------------------------------------------------------------

TEST_F(LoadDbFromPc, ZeroOrMissingColourKeepsTheDefault) {
  EXPECT_EQ(
      load_body("<category name=\"a\" bgcolor=\"123\"/>\n<category name=\"b\" bgcolor=\"0\"/>\n"
                "<category name=\"c\"/>\n<category name=\"a\" bgcolor=\"0\"/>\n"),
      1);
  ASSERT_EQ(db->ctgr_count, 3);
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 123u);
  EXPECT_EQ(db->ctgrs[1]->bgcolor, 123u);
  EXPECT_EQ(db->ctgrs[2]->bgcolor, 123u);
}

TEST_F(LoadDbFromPc, CategoryLinesWithoutANameAreDropped) {
  EXPECT_EQ(load_body("<category name=\"\" bgcolor=\"1\"/> <item id=\"1\">\n"
                      "<category bgcolor=\"2\"/>\n<category name=\n<category name=\"\n"
                      "<category name=\"x\" bgcolor=\"9\"/>\n"),
            1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "x");
  EXPECT_EQ(db->head, nullptr);
}

TEST_F(LoadDbFromPc, NameWithoutClosingQuoteRunsToTheLineEnd) {
  EXPECT_EQ(load_body("<category bgcolor=\"5\" name=\"open ended\n"), 1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "open ended");
}

TEST_F(LoadDbFromPc, LongNameIsCutTo128ThenTo127) {
  std::string name(200, 'n');
  name[127] = 'L';
  EXPECT_EQ(
      load_body("<category name=\"" + name + "\" bgcolor=\"1\"/>\n" + item(1, 1, name, "q", "a")),
      1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_EQ(std::string(db->ctgrs[0]->name), name.substr(0, 127));
  EXPECT_EQ(first()->ctgr, 0);
}

TEST_F(LoadDbFromPc, CategoriesOfAnEarlierLoadAreReplaced) {
  find_or_add_ctgr(db.get(), "left over");
  EXPECT_EQ(load_body("<category name=\"new\" bgcolor=\"1\"/>\n"), 1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "new");
}

// --- items -----------------------------------------------------------------------

TEST_F(LoadDbFromPc, ItemReadsAllNineValues) {
  EXPECT_EQ(load_body("<category name=\"c\" bgcolor=\"1\"/>\n" +
                      item(1100000000, 10, "c", "dog", "Hund")),
            1);
  element* e = first();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->id, 1100000000u);
  EXPECT_EQ(e->tm_t_rpt, 10);
  EXPECT_EQ(e->stm_t_rpt, 10);
  EXPECT_EQ(e->l_ivl, 1);
  EXPECT_EQ(e->rl_l_ivl, 2);
  EXPECT_EQ(e->ivl, 3);
  EXPECT_EQ(e->rp, 4);
  EXPECT_EQ(e->gr, 5);
  EXPECT_STREQ(e->q, "dog");
  EXPECT_STREQ(e->a, "Hund");
  EXPECT_EQ(e->next, nullptr);
}

// An item line as the writer writes it is read in one pass; the same line with
// a blank before its ">" is searched attribute by attribute. Both give the
// same elements, or the same refusal.
TEST_F(LoadDbFromPc, WriterItemLinesReadAsTheSearchReadsThem) {
  const std::string values = " l_ivl=\"5\" rl_l_ivl=\"6\" ivl=\"7\" rp=\"8\" gr=\"9\"";
  for (const std::string& attrs :
       {"id=\"1\" tm_t_rpt=\"2\" stm_t_rpt=\"3\" ctgr=\"c\"" + values,
        "id=\"99999999999\" tm_t_rpt=\"70000\" stm_t_rpt=\"0012\" ctgr=\"\"" + values,
        "id=\"4\" tm_t_rpt=\"2\" stm_t_rpt=\"3\" ctgr=\"a l_ivl=\"1\"" + values,
        "id=\"5\" tm_t_rpt=\"2\" stm_t_rpt=\"3\" ctgr=\"a b l_ivl= c\"" + values,
        "id=\"6\" tm_t_rpt=\"2\" stm_t_rpt=\"3\" ctgr=\"</quorvia>\"" + values,
        "id=\"7\" tm_t_rpt=\"\" stm_t_rpt=\"3\" ctgr=\"c\"" + values,
        std::string("id=\"8\" tm_t_rpt=\"2\" stm_t_rpt=\"3\" ctgr=\"c\" gr=\"9\"")}) {
    std::string read[2];
    for (const char* end : {">", " >"}) {
      const int loaded = load_body("<category name=\"k\" bgcolor=\"1\"/>\n<item " + attrs + end +
                                   "\n<Q>q</Q>\n<A>a</A>\n</item>\n");
      std::string& got = read[end[0] == ' '];
      got = std::to_string(loaded) + " " + std::to_string(report.status);
      for (const element* e = first(); e; e = e->next) {
        got += " | " + std::to_string(e->id) + " " + ctgr_name(e) + " " + e->q + " " + e->a;
        for (uint16_t v : {e->tm_t_rpt, e->stm_t_rpt, e->l_ivl, e->rl_l_ivl, e->ivl, e->rp, e->gr})
          got += " " + std::to_string(v);
      }
      release_db(db.get());
      construct_db(db.get());
    }
    EXPECT_EQ(read[0], read[1]) << attrs;
  }
}

TEST_F(LoadDbFromPc, AttributesMaySpreadOverLines) {
  EXPECT_EQ(load_body("<item id=\"1\" tm_t_rpt=\"2\" stm_t_rpt=\"3\"\n ctgr=\"c\" l_ivl=\"4\"\n"
                      " rl_l_ivl=\"5\" ivl=\"6\" rp=\"7\" gr=\"8\">\n<Q>q</Q>\n<A>a</A>\n"
                      "</item>\n"),
            1);
  element* e = first();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->stm_t_rpt, 3);
  EXPECT_EQ(ctgr_name(e), "c");
  EXPECT_EQ(e->l_ivl, 4);
  EXPECT_EQ(e->gr, 8);
}

TEST_F(LoadDbFromPc, AttributesBeforeIdAreLost) {
  EXPECT_EQ(load_body("<item gr=\"5\" id=\"1\" tm_t_rpt=\"2\">\n<Q>q</Q>\n<A>a</A>\n</item>\n"), 1);
  ASSERT_NE(first(), nullptr);
  EXPECT_EQ(first()->gr, 0);
  EXPECT_EQ(first()->tm_t_rpt, 2);
}

TEST_F(LoadDbFromPc, NumbersSkipNonDigitsAndKeepLow16Bits) {
  EXPECT_EQ(load_body("<item id=\"x7\" tm_t_rpt=\"-5\" stm_t_rpt=\"70000\" ctgr=\"c\">\n"
                      "<Q>q</Q>\n<A>a</A>\n</item>\n"),
            1);
  ASSERT_NE(first(), nullptr);
  EXPECT_EQ(first()->id, 7u);
  EXPECT_EQ(first()->tm_t_rpt, 5);
  EXPECT_EQ(first()->stm_t_rpt, 70000 & 0xFFFF);
}

TEST_F(LoadDbFromPc, MissingValuesAndTextsAreZeroAndEmpty) {
  EXPECT_EQ(load_body("<item id=\"9\" ctgr=\"c\">\n</item>\n"), 1);
  element* e = first();
  ASSERT_NE(e, nullptr);
  EXPECT_EQ(e->tm_t_rpt, 0);
  EXPECT_EQ(e->rp, 0);
  EXPECT_STREQ(e->q, "");
  EXPECT_STREQ(e->a, "");
}

TEST_F(LoadDbFromPc, ElementsAreSortedByTimeToRepeat) {
  EXPECT_EQ(load_body(item(1, 30, "c", "q", "a") + item(2, 10, "c", "q", "a") +
                      item(3, 20, "c", "q", "a") + item(4, 40, "c", "q", "a")),
            1);
  EXPECT_EQ(ids_of(db.get()), "2 3 1 4");
}

TEST_F(LoadDbFromPc, ItemsAfterTheRootEndAreRead) {
  EXPECT_EQ(load(kRoot + item(1, 1, "c", "q", "a") + "</quorvia>\n" + item(2, 2, "d", "q", "a")),
            1);
  EXPECT_EQ(ids_of(db.get()), "1 2");
  EXPECT_EQ(db->ctgr_count, 2);
}

TEST_F(LoadDbFromPc, RootEndInsideAnItemDoesNotCount) {
  EXPECT_EQ(load(kRoot + "<item id=\"1\">\n</quorvia>\n</item>\n"), 0);
  EXPECT_EQ(report.status, kPcLoadNoRootEnd);
}

// --- categories of items -----------------------------------------------------

TEST_F(LoadDbFromPc, ItemsWithoutCategoriesGetRoot) {
  EXPECT_EQ(load_body("<item id=\"1\">\n<Q>q</Q>\n</item>\n<item id=\"2\">\n</item>\n"), 1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "root");
  EXPECT_EQ(db->ctgrs[0]->bgcolor, 0xFFFFFFFFu);
  EXPECT_EQ(first()->ctgr, 0);
}

TEST_F(LoadDbFromPc, EmptyCategoryValuesWithAnEmptyTableGetRoot) {
  EXPECT_EQ(load_body(item(1, 1, "", "q", "a")), 1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "root");
}

TEST_F(LoadDbFromPc, ItemsWithoutCategoryAfterCategoryLinesTakeTheFirst) {
  EXPECT_EQ(load_body("<category name=\"first\" bgcolor=\"1\"/>\n<item id=\"1\">\n</item>\n" +
                      item(2, 2, "", "q", "a")),
            1);
  ASSERT_EQ(db->ctgr_count, 1);
  EXPECT_STREQ(db->ctgrs[0]->name, "first");
  EXPECT_EQ(first()->ctgr, 0);
}

TEST_F(LoadDbFromPc, UnknownCategoryOfAnItemIsAdded) {
  EXPECT_EQ(load_body("<category name=\"a\" bgcolor=\"44\"/>\n" + item(1, 1, "b", "q", "a")), 1);
  ASSERT_EQ(db->ctgr_count, 2);
  EXPECT_EQ(ctgr_name(first()), "b");
  EXPECT_EQ(db->ctgrs[1]->bgcolor, 44u);
}

// --- questions and answers ------------------------------------------------------

TEST_F(LoadDbFromPc, QuestionAndAnswerOnOneLineSetTheQuestionOnly) {
  EXPECT_EQ(load_body("<item id=\"1\">\n<Q>q</Q><A>a</A>\n</item>\n"), 1);
  EXPECT_STREQ(first()->q, "q");
  EXPECT_STREQ(first()->a, "");
}

TEST_F(LoadDbFromPc, QuestionAfterAnotherTagIsNotTaken) {
  EXPECT_EQ(load_body("<item id=\"1\">\n<b><Q>q</Q>\n</item>\n"), 1);
  EXPECT_STREQ(first()->q, "");
}

TEST_F(LoadDbFromPc, QuestionMayFollowTheAttributesOnTheItemLine) {
  EXPECT_EQ(load_body("<item id=\"1\" gr=\"2\"><Q>same line</Q>\n<A>a</A>\n</item>\n"), 1);
  EXPECT_STREQ(first()->q, "same line");
  EXPECT_EQ(first()->gr, 2);
}

TEST_F(LoadDbFromPc, QuestionOfThreeLinesKeepsTwoLineFeeds) {
  EXPECT_EQ(load_body(item(1, 1, "c", "one\ntwo\nthree", "a")), 1);
  EXPECT_STREQ(first()->q, "one\ntwo\nthree");
}

TEST_F(LoadDbFromPc, CdataIsUnwrappedAndEntitiesKept) {
  EXPECT_EQ(load_body(item(1, 1, "c", "<![CDATA[1 < 2 & 3]]>", "&lt;b&gt;")), 1);
  EXPECT_STREQ(first()->q, "1 < 2 & 3");
  EXPECT_STREQ(first()->a, "&lt;b&gt;");
}

TEST_F(LoadDbFromPc, FirstCdataEndIsRemovedEvenWithoutAnOpening) {
  EXPECT_EQ(load_body(item(1, 1, "c", "a]]>b]]>c", "x<![ y CDATA z [w]]>v")), 1);
  EXPECT_STREQ(first()->q, "ab]]>c");
  EXPECT_STREQ(first()->a, "xwv");
}

TEST_F(LoadDbFromPc, LoneCarriageReturnsStay) {
  EXPECT_EQ(load(crlf(kRoot) + crlf(item(1, 1, "c", "a\rb", "x")) + "</quorvia>", false), 1);
  EXPECT_STREQ(first()->q, "a\rb");
}

TEST_F(LoadDbFromPc, CrCrLfComesBackAsCrLf) {
  EXPECT_EQ(load(crlf(kRoot) + crlf(item(1, 1, "c", "held\r\nCR LF", "a")) + "</quorvia>", false),
            1);
  EXPECT_STREQ(first()->q, "held\r\nCR LF");
}

TEST_F(LoadDbFromPc, MultiLineTextReachingTheWindowEndIsTooLong) {
  std::string line(99, 'x');
  std::string text;
  while (text.size() < 8300)
    text += line + "\n";
  EXPECT_EQ(load_body("<category name=\"kept\" bgcolor=\"1\"/>\n" + item(1, 1, "c", "q", "a") +
                      item(2, 2, "c", text, "a")),
            0);
  EXPECT_EQ(report.status, kPcLoadBadQuestion);
  EXPECT_EQ(db->head, nullptr);
  EXPECT_EQ(db->ctgr_count, 2);
}

TEST_F(LoadDbFromPc, MultiLineTextJustInsideTheWindowIsRead) {
  // 8191 bytes reach the closing tag: the window's last byte is the terminator.
  std::string text = std::string(4000, 'a') + "\n" + std::string(4186, 'b');
  ASSERT_EQ(text.size() + std::string("</Q>\n").size(), 8192u);
  EXPECT_EQ(load_body(item(1, 1, "c", text, "a")), 1);
  EXPECT_EQ(std::string(first()->q), text);
  EXPECT_EQ(load_body(item(1, 1, "c", text + "c", "a")), 0);
}

TEST_F(LoadDbFromPc, LongSingleLineTextIsRead) {
  std::string text(16000, 'q');
  EXPECT_EQ(load_body(item(1, 1, "c", text, "a")), 1);
  EXPECT_EQ(std::string(first()->q), text);
}

TEST_F(LoadDbFromPc, WindowEndsAtTheLineBuffer) {
  // The opening tag stands 15000 bytes into its line and the text goes on
  // past the line: what is left of the 16384-byte buffer bounds the window.
  std::string lead(15000, ' ');
  EXPECT_EQ(load_body("<item id=\"1\">\n" + lead + "<Q>" + std::string(2000, 'x') + "\nmore</Q>\n" +
                      "</item>\n"),
            0);
  EXPECT_EQ(report.status, kPcLoadBadQuestion);
}

TEST_F(LoadDbFromPc, LongLinesAreScannedInPieces) {
  // The second piece of this line starts with "<item ": it is scanned alone.
  std::string filler(16383, 'f');
  EXPECT_EQ(load_body(filler + "<item id=\"3\">\n<Q>q</Q>\n</item>\n"), 1);
  ASSERT_NE(first(), nullptr);
  EXPECT_EQ(first()->id, 3u);
}

TEST_F(LoadDbFromPc, ClosingTagOnTheLastLineWithoutLineEndFails) {
  EXPECT_EQ(load(kRoot + "<item id=\"1\">\n<Q>q</Q>"), 0);
  EXPECT_EQ(report.status, kPcLoadBadQuestion);
}

// --- damaged files: rejected, nothing leaked ---------------------------------------

TEST_F(LoadDbFromPc, CutOffFileLeavesNoElementsButKeepsCategories) {
  EXPECT_EQ(load(kRoot + "<category name=\"c\" bgcolor=\"1\"/>\n" + item(1, 1, "c", "q", "a") +
                 item(2, 2, "d", "q", "a")),
            0);
  EXPECT_EQ(report.status, kPcLoadNoRootEnd);
  EXPECT_EQ(db->head, nullptr);
  EXPECT_EQ(insert_hint, nullptr);
  EXPECT_EQ(db->ctgr_count, 2);
  EXPECT_EQ(db->tm_strt, 1000);
}

TEST_F(LoadDbFromPc, ItemWithoutIdIsRejected) {
  EXPECT_EQ(load_body(item(1, 1, "c", "q", "a") + "<item tm_t_rpt=\"4\">\n<Q>q</Q>\n</item>\n"), 0);
  EXPECT_EQ(report.status, kPcLoadItemWithoutId);
  EXPECT_EQ(db->head, nullptr);
  EXPECT_EQ(load_body("<item >\n<Q>orphan</Q>\n</item>\n"), 0);
  EXPECT_EQ(report.status, kPcLoadItemWithoutId);
  EXPECT_EQ(report.line, 4u);
}

TEST_F(LoadDbFromPc, CategoryValueWithoutClosingQuoteIsRejected) {
  EXPECT_EQ(load_body("<item id=\"1\" ctgr=\"open\n<Q>q</Q>\n</item>\n"), 0);
  EXPECT_EQ(report.status, kPcLoadUnclosedCategoryValue);
  EXPECT_EQ(load(kRoot + "<item id=\"1\" ctgr="), 0);
  EXPECT_EQ(report.status, kPcLoadUnclosedCategoryValue);
}

TEST_F(LoadDbFromPc, ItemNotClosedBeforeTheEndIsRejected) {
  EXPECT_EQ(load(kRoot + "</quorvia>\n<item id=\"1\">\n<Q>q</Q>\n"), 0);
  EXPECT_EQ(report.status, kPcLoadUnclosedItem);
}

TEST_F(LoadDbFromPc, MissingFileGivesZeroAndResetsCategories) {
  find_or_add_ctgr(db.get(), "old");
  EXPECT_EQ(load_db_from_pc(db.get(), dir.file("none.xml").c_str(), &report), 0);
  EXPECT_EQ(report.status, kPcLoadNoFile);
  EXPECT_EQ(report.error, ENOENT);
  EXPECT_EQ(db->ctgr_count, 0);
}

TEST_F(LoadDbFromPc, ReadErrorIsNotTakenForTheEnd) {
  std::string body;
  for (int i = 0; i < 2000; ++i)
    body += item(i, 1, "c", "question", "answer");
  write_file(path(), crlf(kRoot + body + "</quorvia>"));
  file_fault_arm(file_op::read, 2, EIO);
  EXPECT_EQ(load_db_from_pc(db.get(), path().c_str(), &report), 0);
  EXPECT_EQ(report.status, kPcLoadReadError);
  EXPECT_EQ(report.error, EIO);
  EXPECT_EQ(db->head, nullptr);
}

TEST_F(LoadDbFromPc, PathGoesToTheHotSyncLog) {
  load_body("");
  ASSERT_EQ(hotsync_log_entries().size(), 1u);
  EXPECT_EQ(hotsync_log_entries()[0].text, path());
  EXPECT_EQ(hotsync_log_entries()[0].activity, -1);
  EXPECT_EQ(hotsync_log_entries()[0].time_stamp, 0);
}

TEST(ReadANumber, EdgeCases) {
  EXPECT_EQ(read_a_number(nullptr), 0u);
  EXPECT_EQ(read_a_number("\"no digits\""), 0u);
  EXPECT_EQ(read_a_number("\"42\" x=\"7\""), 42u);
  EXPECT_EQ(read_a_number("4294967296"), 0u);  // wraps in 32 bits
  EXPECT_EQ(read_a_number("4294967295"), 4294967295u);
}

TEST(FindLeadingTag, OnlyTheFirstTagCounts) {
  char a[] = "  <Q>x</Q>";
  EXPECT_EQ(find_leading_tag(a, "<Q>"), a + 2);
  char b[] = "<b><Q>x</Q>";
  EXPECT_EQ(find_leading_tag(b, "<Q>"), nullptr);
  char c[] = "no tag";
  EXPECT_EQ(find_leading_tag(c, "<Q>"), nullptr);
}

}  // namespace

// Many categories named by many items: every item gets the category it names,
// however the names meet in the reader's lookups, and only the names that are
// new are added, in the order they first appear.
TEST(LoadDbFromPcCategories, ManyCategoriesAreFoundByName) {
  scratch_dir dir;
  std::string body;
  std::vector<std::string> named;
  for (int i = 0; i < 3000; ++i) {
    // Lengths around the lookup's limit, and names that differ in one byte.
    std::string name = "c" + std::to_string((i * 7919) % 1500) + std::string(i % 60, 'x');
    named.push_back(name);
    body += xml_item(static_cast<uint32_t>(i + 1), i, name, "q", "a");
  }
  write_file(dir.file("e.xml"), crlf(xml_file(1, body)));
  test_db db;
  insert_element(&db->head, nullptr);
  ASSERT_EQ(load_db_from_pc(db.get(), dir.file("e.xml").c_str()), 1);
  size_t i = 0;
  for (const element* e = db->head; e; e = e->next, ++i)
    ASSERT_EQ(db->ctgrs[e->ctgr]->name, named[e->id - 1]) << "item " << e->id;
  EXPECT_EQ(i, named.size());
  test_db expected;
  for (const std::string& name : named)
    find_or_add_ctgr(expected.get(), name.c_str());
  ASSERT_EQ(db->ctgr_count, expected->ctgr_count);
  for (int32_t c = 0; c < db->ctgr_count; ++c)
    EXPECT_STREQ(db->ctgrs[c]->name, expected->ctgrs[c]->name);
}
