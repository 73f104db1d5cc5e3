// Inputs the fuzz targets turned up, kept as plain tests so the faults stay fixed.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "recording.h"
#include "recording_fixture.h"

namespace rovena {
namespace {

// A backward search starting three bytes above the first byte of the block the file holds
// in its buffer gets a view of exactly four bytes. Stepping back by "view size minus four"
// made no progress there and the search never returned; it must move on and find the code
// far below.
TEST(FuzzRegression, BackwardSearchFromAFourByteViewMovesOn) {
  std::vector<uint8_t> bytes(200000, 0xAA);
  const int64_t code = 1001;  // 1-based position of the code's first byte
  bytes[code - 1] = 0, bytes[code] = 0, bytes[code + 1] = 1, bytes[code + 2] = 0;
  const std::string path = test::TestDataDir() + "/fuzz_regression_four_byte_view.bin";
  test::WriteFileAtomically(path, bytes);

  Recording recording;
  std::string error;
  ASSERT_TRUE(recording.Open(path, error)) << error;
  const int64_t blockStart = 100000;
  recording.File().ReadAt(blockStart);  // the buffer now begins at blockStart
  recording.PicPos = blockStart + 3 + 5;  // the search starts at blockStart + 3
  ASSERT_TRUE(recording.FindStartDown());
  EXPECT_EQ(recording.PicPos, code + 3);
  EXPECT_EQ(recording.File().CurrentPosition(), code + 4);
}

}  // namespace
}  // namespace rovena
