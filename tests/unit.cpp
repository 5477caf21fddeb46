#include <gtest/gtest.h>

#include "front/run.h"

TEST(ParseItemCount, ReadsAsAtoiButSaturates) {
    const struct {
        const char *text;
        int32_t count;
    } cases[] = {
        {"3", 3},       {"+2", 2},           {" \t\n\v\f\r7", 7}, {"3abc", 3},
        {"abc", 0},     {"", 0},             {"-", 0},            {"+-1", 0},
        {"- 3", 0},     {"0", 0},            {"-5", -5},          {"007", 7},
        {"2147483647", INT32_MAX},           {"2147483648", INT32_MAX},
        {"99999999999999999999999999", INT32_MAX},
        {"-2147483648", INT32_MIN},          {"-2147483649", INT32_MIN},
        {"-99999999999999999999999999", INT32_MIN},
    };
    for (const auto &c : cases)
        EXPECT_EQ(parse_item_count(c.text), c.count) << '"' << c.text << '"';
}
