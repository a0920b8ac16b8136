#include "conduit/conduit_info.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "conduit/conduit_api.h"
#include "tests/conduit_test_support.h"

namespace {

class GetConduitInfoTest : public ConduitTest {
 protected:
  // An info request with this version and size; the rest as the HotSync Manager leaves it.
  std::vector<uint8_t> request(uint32_t version = 1, uint32_t request_size = 80) {
    std::vector<uint8_t> r(80, 0x5A);
    std::memcpy(r.data(), &version, 4);
    std::memcpy(r.data() + 4, &request_size, 4);
    return r;
  }
  std::vector<uint8_t> out = std::vector<uint8_t>(700, 0xEE);
  uint32_t size = 700;
  bool out_untouched() const {
    for (uint8_t b : out) {
      if (b != 0xEE) return false;
    }
    return true;
  }
};

TEST_F(GetConduitInfoTest, NullBufferAndSizeAreCheckedBeforeTheType) {
  auto r = request();
  EXPECT_EQ(GetConduitInfo(9, r.data(), nullptr, &size), ERR_NO_OUT_BUFFER);
  EXPECT_EQ(GetConduitInfo(0, r.data(), nullptr, &size), ERR_NO_OUT_BUFFER);
  EXPECT_EQ(GetConduitInfo(9, r.data(), out.data(), nullptr), ERR_NO_OUT_SIZE);
  EXPECT_EQ(GetConduitInfo(9, r.data(), out.data(), &size), ERR_BAD_INFO_TYPE);
  EXPECT_EQ(GetConduitInfo(7, nullptr, out.data(), &size), ERR_BAD_INFO_TYPE);
  EXPECT_TRUE(out_untouched());
  EXPECT_EQ(size, 700u);
}

TEST_F(GetConduitInfoTest, NameNeedsRoomForItsNul) {
  auto r = request();
  const uint32_t length = static_cast<uint32_t>(std::strlen(kConduitName));
  size = length;
  EXPECT_EQ(GetConduitInfo(0, r.data(), out.data(), &size), ERR_BAD_OUT_SIZE);
  EXPECT_TRUE(out_untouched());
  EXPECT_EQ(size, length);
  size = length + 1;
  EXPECT_EQ(GetConduitInfo(0, r.data(), out.data(), &size), 0);
  EXPECT_STREQ(reinterpret_cast<char*>(out.data()), "Quorvia Conduit");
  EXPECT_EQ(out[length + 1], 0xEE);
  EXPECT_EQ(size, length + 1);
}

TEST_F(GetConduitInfoTest, NameRequestIsCheckedInOrder) {
  EXPECT_EQ(GetConduitInfo(0, nullptr, out.data(), &size), ERR_NO_ARGS);
  auto v2 = request(2);
  EXPECT_EQ(GetConduitInfo(0, v2.data(), out.data(), &size), ERR_BAD_ARGS);
  auto small = request(1, 79);
  size = 1;  // also too small: the request is checked first
  EXPECT_EQ(GetConduitInfo(0, small.data(), out.data(), &size), ERR_BAD_ARGS);
  EXPECT_TRUE(out_untouched());
}

TEST_F(GetConduitInfoTest, TypeOneAnswersInTheSizeOnly) {
  EXPECT_EQ(GetConduitInfo(1, nullptr, out.data(), &size), 0);
  EXPECT_EQ(size, 268435456u);
  EXPECT_TRUE(out_untouched());
}

TEST_F(GetConduitInfoTest, TypeTwoWritesTheSyncAction) {
  EXPECT_EQ(GetConduitInfo(2, nullptr, out.data(), &size), 0);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 5),
            std::vector<uint8_t>({0, 0, 0, 0, 0xEE}));
}

TEST_F(GetConduitInfoTest, TypeThreeWritesTheConduitRecordLeavingTheGaps) {
  EXPECT_EQ(GetConduitInfo(3, nullptr, out.data(), &size), 0);
  EXPECT_EQ(size, 700u);
  EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + 8),
            std::vector<uint8_t>({0x45, 0x56, 0x44, 0x4E, 2, 0, 0, 0}));
  EXPECT_STREQ(reinterpret_cast<char*>(out.data() + 8), "quorviaconduit");
  EXPECT_EQ(out[8 + 15], 0xEE);
  EXPECT_EQ(std::string(reinterpret_cast<char*>(out.data() + 263)), xml_path());
  EXPECT_EQ(out[263 + xml_path().size() + 1], 0xEE);
  EXPECT_STREQ(reinterpret_cast<char*>(out.data() + 550), "Quorvia Conduit");
  EXPECT_EQ(out[550 + 16], 0xEE);
}

TEST_F(GetConduitInfoTest, TypeThreeWithoutADataDirectoryWritesAnEmptyPath) {
  set_data_dir("");
  EXPECT_EQ(GetConduitInfo(3, nullptr, out.data(), &size), 0);
  EXPECT_EQ(out[263], 0);
  EXPECT_EQ(out[264], 0xEE);
  set_data_dir("/" + std::string(280, 'd') + "/");  // fits the registry, not the record
  EXPECT_EQ(GetConduitInfo(3, nullptr, out.data(), &size), 0);
  EXPECT_EQ(out[263], 0);
  EXPECT_STREQ(reinterpret_cast<char*>(out.data() + 550), "Quorvia Conduit");
}

TEST_F(GetConduitInfoTest, TypeFourWantsASizeOfOne) {
  auto r = request();
  EXPECT_EQ(GetConduitInfo(4, nullptr, out.data(), &size), ERR_NO_ARGS);
  size = 2;
  EXPECT_EQ(GetConduitInfo(4, r.data(), out.data(), &size), ERR_BAD_OUT_SIZE);
  EXPECT_TRUE(out_untouched());
  size = 1;
  EXPECT_EQ(GetConduitInfo(4, r.data(), out.data(), &size), 0);
  EXPECT_EQ(out[0], 0);
  EXPECT_EQ(out[1], 0xEE);
}

TEST_F(GetConduitInfoTest, TypesFiveAndSixAnswerWithNothing) {
  for (uint32_t type : {5u, 6u}) {
    EXPECT_EQ(GetConduitInfo(type, nullptr, out.data(), &size), 0);
    EXPECT_TRUE(out_untouched());
    EXPECT_EQ(size, 700u);
  }
}

TEST(GetConduitName, CopiesTheNameAndVersionIs257) {
  char name[32];
  std::memset(name, 'x', sizeof name);
  EXPECT_EQ(GetConduitName(name), 0);
  EXPECT_STREQ(name, "Quorvia Conduit");
  EXPECT_EQ(name[16], 'x');
  EXPECT_EQ(GetConduitVersion(), 257u);
}

}  // namespace
