// Frame files read at a position, row by row into memory, upwards too.
#include "platform/row_file.h"

#include <gtest/gtest.h>

#include <numeric>
#include <string>
#include <vector>

#include "tests/temp_folder.h"

namespace {

TEST(RowFileTest, RowsGoToTheirPlacesAndTheEndOfTheFileIsCounted) {
  test::TempFolder folder;
  std::string bytes(5 * 12 + 7, '\0');  // five rows of 12 bytes and 7 more
  std::iota(bytes.begin(), bytes.end(), '\x01');
  test::WriteFileBytes(folder.File("frames"), bytes);

  platform::RowFile file;
  std::string reason;
  ASSERT_TRUE(file.Open(folder.File("frames"), &reason)) << reason;
  // Rows 1 to 3 of the file, into every other 16-byte row of a buffer,
  // bottom row first.
  std::vector<uint8_t> memory(6 * 16, 0xEE);
  EXPECT_EQ(file.ReadRows(12, memory.data() + 5 * 16, -32, 12, 3, &reason), 36);
  for (int r = 0; r < 3; ++r) {
    SCOPED_TRACE(r);
    EXPECT_EQ(memory[(5 - 2 * r) * 16], bytes[(1 + r) * 12]);
    EXPECT_EQ(memory[(5 - 2 * r) * 16 + 11], bytes[(1 + r) * 12 + 11]);
    EXPECT_EQ(memory[(5 - 2 * r) * 16 + 12], 0xEE);  // past the row: untouched
  }
  EXPECT_EQ(memory[4 * 16], 0xEE);

  // Six rows from row 1 on: four whole rows and 7 bytes are there.
  std::vector<uint8_t> rows(6 * 12, 0xEE);
  EXPECT_EQ(file.ReadRows(12, rows.data(), 12, 12, 6, &reason), 4 * 12 + 7);
  EXPECT_EQ(std::string(rows.begin(), rows.begin() + 55), bytes.substr(12));
  EXPECT_EQ(rows[55], 0xEE);

  platform::RowFile missing;
  EXPECT_FALSE(missing.Open(folder.File("none"), &reason));
  EXPECT_FALSE(reason.empty());
}

}  // namespace
