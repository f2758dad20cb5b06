#include "output/output.h"

#include <gtest/gtest.h>

#include <string>

#include "test_support.h"

namespace {

TEST(Output, WritesBytesTextAndFormatsAsGiven) {
  const std::string written = capture_stdout([] {
    out_bytes("a\0b", 3);
    out_char('|');
    out_text("\r\n");
    out_format("%s=%lld;%.2f", "n", -12LL, 60.0);
  });
  EXPECT_EQ(written, std::string("a\0b|\r\nn=-12;60.00", 17));
}

// Reports print their figures with the point as decimal mark, rounded to the
// nearest, whatever the environment's locale says.
TEST(Output, NumberFormatsUseThePointAndRoundToNearest) {
  EXPECT_EQ(capture_stdout([] { out_format("%.2f %.2f %.1f", 50.0, 0.0, 100.0 / 3); }),
            "50.00 0.00 33.3");
}

}  // namespace
