// Profile files: the behaviour rect files rely on, for every implementation
// present (our own everywhere, the profile API on Windows), and on Windows
// both implementations on the same odd files.
#include "platform/profile_file.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

namespace {

using platform::ProfileFiles;

// The names list with '|' for each zero, up to two characters past the
// result ('#' where nothing was stored); the result goes to *result.
std::string Names(const ProfileFiles& files, const std::string& path, uint32_t size,
                  uint32_t* result = nullptr) {
  std::string buffer(size + 8, '#');
  const uint32_t got = files.GetSectionNames(buffer.data(), size, path.c_str());
  if (result) *result = got;
  EXPECT_EQ(buffer.substr(size), std::string(8, '#')) << "wrote past the buffer";
  std::string shown;
  for (uint32_t i = 0; i < size && i < got + 2; ++i) shown += buffer[i] ? buffer[i] : '|';
  return shown;
}

std::vector<const ProfileFiles*> Implementations() {
  std::vector<const ProfileFiles*> all = {&platform::PortableProfileFiles()};
  if (&platform::SystemProfileFiles() != all[0]) all.push_back(&platform::SystemProfileFiles());
  return all;
}

class ProfileFileTest : public ::testing::TestWithParam<const ProfileFiles*> {
 protected:
  const ProfileFiles& files() const { return *GetParam(); }
  test::TempFolder folder_;
};

TEST_P(ProfileFileTest, WritesCrLfLinesReplacesInPlaceAndSkipsUnchangedValues) {
  const std::string path = folder_.File("a.rect");
  ASSERT_TRUE(files().WriteString("[(0,0)-(719,575)]", "present", "0", path.c_str()));
  ASSERT_TRUE(files().WriteString("[(100,100)-(299,199)]", "present", "1", path.c_str()));
  ASSERT_TRUE(files().WriteString("[(0,0)-(719,575)]", "PRESENT", "1", path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path),
            "[[(0,0)-(719,575)]]\r\npresent=1\r\n[[(100,100)-(299,199)]]\r\npresent=1\r\n");
  test::WriteFileBytes(path, "[s]\n  present = 1  \n");
  ASSERT_TRUE(files().WriteString("s", "present", "1", path.c_str()));
  EXPECT_EQ(test::ReadFileBytes(path), "[s]\n  present = 1  \n") << "value already there";
  EXPECT_FALSE(files().WriteString("s", "k", "v", folder_.File("missing/a.ini").c_str()));
}

TEST_P(ProfileFileTest, SectionNamesKeepBracketsAndOrderAndAreCutToTheBuffer) {
  const std::string path = folder_.File("names.ini");
  test::WriteFileBytes(path,
                       "key=before any header\r\n[[(1,1)-(5,5)] ]\r\n  [ [(2,2)-(5,5)]]\r\n"
                       "[[(3,3)-(5,5)]]tail\r\n[]\r\n[no closing bracket\r\n[[(1,1)-(5,5)]]\r\n"
                       "[x]\ry=1\r[last]");
  EXPECT_EQ(Names(files(), path, 4096),
            "[(1,1)-(5,5)]|[(2,2)-(5,5)]|[(3,3)-(5,5)]|[(1,1)-(5,5)]|x|last||#");
  test::WriteFileBytes(path, "\xEF\xBB\xBF[x]\r\n");
  EXPECT_EQ(Names(files(), path, 64), "x||#") << "a UTF-8 byte-order mark";

  test::WriteFileBytes(path, "[[(0,0)-(5,9)]]");  // 15 bytes, a 13-character name
  uint32_t got = 0;
  EXPECT_EQ(Names(files(), path, 15, &got), "[(0,0)-(5,9)]|#");
  EXPECT_EQ(got, 13u) << "did not fit: size - 2";
  EXPECT_EQ(Names(files(), path, 14, &got), "[(0,0)-(5,9)|#");
  EXPECT_EQ(Names(files(), path, 16, &got), "[(0,0)-(5,9)]||#");
  EXPECT_EQ(got, 14u) << "fits, and is still size - 2";
  EXPECT_EQ(Names(files(), path, 2, &got), "|#");
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(Names(files(), folder_.File("missing.ini"), 64, &got), "|#");
  EXPECT_EQ(got, 0u);
}

TEST_P(ProfileFileTest, IntegersAreReadAsTheSystemReadsThem) {
  const std::string path = folder_.File("int.ini");
  const std::pair<const char*, uint32_t> cases[] = {
      {"present=0", 0},
      {"present=7", 7},
      {"present=", 1},
      {"present", 1},
      {"present=0x10", 16},
      {"present=0X10", 0},
      {"present=\"0\"", 0},
      {"present=\"\"", 1},
      {"present='0'", 0},
      {"present=-2", ~1u},
      {"present=abc", 0},
      {"present=1e", 1},
      {"present=\"", 0},
      {"present=0b1", 1},
      {"present=0o7", 7},
      {"present=4294967296", 0},
      {" PRESENT = 5", 5},
      {"present=99999999999", 1215752191u},
      {"present=000000000000000000000000000000001", 0},  // 29 characters count
      {"present=\"00000000000000000000000000001\"", 0},  // the cut takes a digit
  };
  for (const auto& [line, value] : cases) {
    test::WriteFileBytes(path, std::string("[s]\r\n") + line + "\r\n");
    EXPECT_EQ(files().GetInt("s", "present", 1, path.c_str()), value) << line;
  }
  test::WriteFileBytes(path, "[A]\r\nother=1\r\n[a]\r\npresent=0\r\n[b]\r\npresent=3\r\n");
  EXPECT_EQ(files().GetInt("a", "present", 1, path.c_str()), 1u) << "only the first [a] counts";
  EXPECT_EQ(files().GetInt(" b ", "present", -5, path.c_str()), 3u);
  EXPECT_EQ(files().GetInt("c", "present", -5, path.c_str()), 0xFFFFFFFBu);
}

INSTANTIATE_TEST_SUITE_P(, ProfileFileTest, ::testing::ValuesIn(Implementations()),
                         [](const auto& info) {
                           return std::string(info.param == Implementations()[0] ? "Own"
                                                                                 : "System");
                         });

// Windows: our reader and writer against the profile API on odd files.
const std::string kOddFiles[] = {
    "",
    "[[(0,0)-(719,575)]]\r\npresent=0\r\n[[(100,100)-(299,199)]]\r\npresent=1\r\n",
    "[[(0,0)-(5,9)]]\n",
    "; comment\n\nfoo=bar\n  [sec one] x \n k = v \n\n[sec two]\n\n\nother=1\n",
    "[a]\r\n=x\r\n=y\r\nk\r\n=z\r\n[b]\r\npresent='1'\r\n[B]\r\npresent=0\r\n",
    "[x\r\n[]\r\npresent=0\r\n[y]]\r\n\x1a[z]\x1a\r\npresent=\"7\r\n",
    "[[(1,1)-(2,2)]]\rpresent=0\r\r[[(3,3)-(4,4)]]\npresent = 0x0\n",
    "\xEF\xBB\xBF[a]\r\npresent=0\r\n",
    std::string("\xFF\xFE[\0x\0]\0\r\0p\0=\0"
                "0\0",
                16),
    std::string("[n\0ul]\r\npre\0sent=0\r\n\0[q]\r\npresent=0\r\n", 37),
};

class ProfileFileAgreementTest : public ::testing::Test {
 protected:
  void SetUp() override {
    if (Implementations().size() < 2) GTEST_SKIP() << "one implementation on this platform";
  }
  const ProfileFiles& system_ = platform::SystemProfileFiles();
  const ProfileFiles& own_ = platform::PortableProfileFiles();
  test::TempFolder folder_;
};

TEST_F(ProfileFileAgreementTest, ReadersAgree) {
  for (const std::string& bytes : kOddFiles) {
    const std::string path = folder_.File("odd.ini");
    test::WriteFileBytes(path, bytes);
    const uint32_t n = static_cast<uint32_t>(bytes.size());
    for (uint32_t size : {1u, 2u, 3u, n - 1, n, n + 1, 4096u}) {
      if (size == 0 || size > 4096) continue;
      uint32_t a = 0, b = 0;
      EXPECT_EQ(Names(system_, path, size, &a), Names(own_, path, size, &b)) << bytes << size;
      EXPECT_EQ(a, b) << bytes << size;
    }
    std::string all(4096, '\0');
    system_.GetSectionNames(all.data(), 4096, path.c_str());
    std::vector<std::string> sections = {"", " ", "b", "[(0,0)-(719,575)]"};
    for (const char* p = all.data(); *p; p += std::strlen(p) + 1) sections.push_back(p);
    for (const std::string& section : sections) {
      for (const char* key : {"present", "k", "", " Present ", "pre"}) {
        EXPECT_EQ(system_.GetInt(section.c_str(), key, 1, path.c_str()),
                  own_.GetInt(section.c_str(), key, 1, path.c_str()))
            << bytes << " [" << section << "] " << key;
      }
    }
  }
}

TEST_F(ProfileFileAgreementTest, WritersAgree) {
  const char* const writes[][3] = {
      {"[(0,0)-(719,575)]", "present", "0"},
      {"[(5,5)-(6,6)]", "present", "1"},
      {"[(0,0)-(719,575)]", "present", "1"},
      {" spaced ", " key ", "  value "},
      {"B", "present", "0"},
      {"a", "k", "2"},
  };
  for (const std::string& bytes : kOddFiles) {
    const std::string a = folder_.File("system.ini"), b = folder_.File("own.ini");
    test::WriteFileBytes(a, bytes);
    test::WriteFileBytes(b, bytes);
    for (const auto& w : writes) {
      EXPECT_EQ(system_.WriteString(w[0], w[1], w[2], a.c_str()),
                own_.WriteString(w[0], w[1], w[2], b.c_str()));
      EXPECT_EQ(test::ReadFileBytes(a), test::ReadFileBytes(b)) << bytes << " then " << w[0];
    }
  }
}

}  // namespace
