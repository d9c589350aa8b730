#include <gtest/gtest.h>

#include <string>

#include "cli/offsets.hpp"

namespace quibrel {
namespace {

TEST(ParseOffset, ReadsWhatItCanAndNeverFails) {
    const struct {
        std::string text;
        std::uint64_t want;
    } cases[] = {
        {"  42", 42},
        {"\t\n\v\f\r42", 42},
        {"+42", 42},
        {"42kb", 42},
        {"042", 42},
        {"-1", 18446744073709551615u},
        {"-0", 0},
        {"-4", 18446744073709551612u},
        {"4294967295", 4294967295u},
        {"4294967296", 4294967296u},
        {"8589934592", 8589934592u},
        {"18446744073709551615", 18446744073709551615u},
        {"18446744073709551616", 18446744073709551615u},
        {"99999999999999999999999", 18446744073709551615u},
        {"-99999999999999999999999", 1},
        {"0x20", 0},
        {"abc", 0},
        {"", 0},
        {"-", 0},
        {"+", 0},
        {"- 5", 0},
        {"+-5", 0},
        {"\xA0"
         "5",
         0},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(parse_offset(c.text.c_str()), c.want) << "argument \"" << c.text << "\"";
    }
}

}  // namespace
}  // namespace quibrel
