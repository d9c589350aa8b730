#include <gtest/gtest.h>

#include "extract/position_file.hpp"

namespace quibrel {
namespace {

TEST(PositionFile, HeaderAndEntriesAreExactBytes) {
    std::string text = format_position_header("image.bin", "\n") +
                       format_position_entry("00000000.pss", 512, 800, "\n") +
                       format_position_entry("00000001.pss", 832, 964, "\n");
    EXPECT_EQ(text,
              "# quibrel v0.5a position file\n"
              "# extracted from : image.bin\n"
              "# name        start position      end position      size\n"
              "00000000.pss 512 800 288\n"
              "00000001.pss 832 964 132\n");
}

TEST(PositionFile, WindowsLineEndsAreCrLf) {
    EXPECT_EQ(format_position_header("a", "\r\n"),
              "# quibrel v0.5a position file\r\n# extracted from : a\r\n"
              "# name        start position      end position      size\r\n");
    EXPECT_EQ(format_position_entry("00000000.pss", 0, 8, "\r\n"), "00000000.pss 0 8 8\r\n");
}

TEST(PositionFile, NumbersAreFullUnsignedDecimal) {
    const struct {
        std::uint64_t start, end;
        const char* want;
    } cases[] = {
        {0, 0, "n 0 0 0\n"},
        {4294967292u, 0, "n 4294967292 0 18446744069414584324\n"},
        {4294967295u, 4294967299u, "n 4294967295 4294967299 4\n"},
        {5000000000u, 5000002048u, "n 5000000000 5000002048 2048\n"},
        {0, 18446744073709551615u, "n 0 18446744073709551615 18446744073709551615\n"},
    };
    for (const auto& c : cases) EXPECT_EQ(format_position_entry("n", c.start, c.end, "\n"), c.want);
}

TEST(PositionFile, NamesAreWrittenAsData) {
    EXPECT_EQ(format_position_header("100%s %n.bin", "\n").substr(30),
              "# extracted from : 100%s %n.bin\n"
              "# name        start position      end position      size\n");
}

}  // namespace
}  // namespace quibrel
