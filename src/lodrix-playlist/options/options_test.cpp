// A --lists line split into words as a POSIX shell quotes them.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "lodrix-playlist/options/options.h"

TEST(Options, ListLineWords) {
    const struct {
        const char *line;
        std::vector<std::string> words;
        WordsError error;
    } cases[] = {
        {"rock.m3u8 --match=genre:rock", {"rock.m3u8", "--match=genre:rock"}, WordsError::none},
        {"  'a b.m3u8'\t--title=\"Die \\\"Besten\\\" \\$1\"  ", {"a b.m3u8", "--title=Die \"Besten\" $1"}, WordsError::none},
        {"x --match='artist:\"Miles Davis\"'", {"x", "--match=artist:\"Miles Davis\""}, WordsError::none},
        {"a\\ b.m3u8 '\\n' \"\\n\" \\\\", {"a b.m3u8", "\\n", "\\n", "\\"}, WordsError::none},
        {"it''s \"\" x", {"its", "", "x"}, WordsError::none},
        {"new.m3u8 --sort=-mtime # the newest", {"new.m3u8", "--sort=-mtime"}, WordsError::none},
        {"a#b.m3u8 $HOME ~/x *.m3u8", {"a#b.m3u8", "$HOME", "~/x", "*.m3u8"}, WordsError::none},
        {"# a comment", {}, WordsError::none},
        {"", {}, WordsError::none},
        {"a.m3u8 --match='x", {}, WordsError::unclosed_quote},
        {"a.m3u8 \"x\\\"", {}, WordsError::unclosed_quote},
        {"a.m3u8 x\\", {}, WordsError::trailing_backslash},
    };
    for (const auto &c : cases) {
        std::vector<std::string> words;
        EXPECT_EQ(split_words(c.line, words), c.error) << c.line;
        if (c.error == WordsError::none)
            EXPECT_EQ(words, c.words) << c.line;
    }
}
