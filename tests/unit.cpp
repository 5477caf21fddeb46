#include <gtest/gtest.h>

#include "platform/platform.h"
#include "lodrix/run.h"

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

TEST(WindowsDirectoryAsUriPath, DriveAndShareAsVlcOnWindowsOpensThem) {
    const struct {
        const char *directory, *uri_path;
    } cases[] = {
        {"C:\\Musik", "/C:/Musik"},         {"c:\\", "/c:/"},
        {"Z:/tmp/a b", "/Z:/tmp/a b"},     {"D:\\x\\y\\", "/D:/x/y/"},
        {"\\\\server\\share\\dir", "server/share/dir"},
        {"//server/share", "server/share"}, {"", ""},
        {"/tmp/a\\b", "/tmp/a\\b"},         {"1:\\x", "1:\\x"},
    };
    for (const auto &c : cases) {
        char uri_path[64];
        windows_directory_as_uri_path(c.directory, uri_path);
        EXPECT_STREQ(uri_path, c.uri_path) << '"' << c.directory << '"';
    }
}
