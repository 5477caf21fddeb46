// The query language as read.
#include <gtest/gtest.h>

#include <string>

#include "lodrix-playlist/select/query.h"

// A query as text: "^" for a negated term, then field~text (contains), field=text (equals),
// *text (anywhere) or field low..high; terms end in ";".
static std::string described(const Query &query) {
    static const char *const fields[] = {"title", "artist", "albumartist", "album", "genre", "composer",
                                         "year",  "track",  "disc",        "length", "path"};
    std::string text;
    for (const QueryTerm &term : query) {
        text += term.negated ? "^" : "";
        const std::string field = fields[size_t(term.field)];
        switch (term.kind) {
        case QueryTerm::contains: text += field + "~" + term.text; break;
        case QueryTerm::equals: text += field + "=" + term.text; break;
        case QueryTerm::anywhere: text += "*" + term.text; break;
        case QueryTerm::range:
            text += field + " " + std::to_string(term.low) + ".." + (term.high == UINT64_MAX ? "" : std::to_string(term.high));
        }
        text += ";";
    }
    return text;
}

TEST(Query, TermsAsRead) {
    const struct {
        const char *text, *read;
    } cases[] = {
        {"\xc3\xa4rger", "*\xc3\xa4rger;"},
        {"\xc3\x84RGER", "*\xc3\xa4rger;"},
        {"^genre:Rock", "^genre~rock;"},
        {"genre:=Rock", "genre=rock;"},
        {"Genre:x", "genre~x;"},
        {"artist:\"Miles Davis\"", "artist~miles davis;"},
        {"\"Miles Davis\"", "*miles davis;"},
        {" a\tb  ^c ", "*a;*b;^*c;"},
        {"\"a:b\" \"^x\" 3:30", "*a:b;*^x;*3:30;"},
        {"title: title:=", "title~;title=;"},
        {"albumartist:x composer:y path:/m", "albumartist~x;composer~y;path~/m;"},
        {"year:1970..1989 year:1980.. year:..1960", "year 1970..1989;year 1980..;year 0..1960;"},
        {"track:3 disc:=2", "track 3..3;disc 2..2;"},
        {"length:3:30 length:4m.. length:..1h2m3s", "length 210..210;length 240..;length 0..3723;"},
        {"", ""},
    };
    for (const auto &c : cases) {
        Query query;
        std::string term;
        EXPECT_EQ(parse_query(c.text, query, term), QueryError::none) << c.text;
        EXPECT_EQ(described(query), c.read) << c.text;
    }
}

TEST(Query, TermsThatCannotBeRead) {
    const struct {
        const char *text;
        QueryError error;
        const char *term;
    } cases[] = {
        {"a foo:bar", QueryError::unknown_field, "foo:bar"},
        {"Live:x", QueryError::unknown_field, "Live:x"},
        {"a year:19x0..1980", QueryError::not_numbers, "year:19x0..1980"},
        {"year:..", QueryError::not_numbers, "year:.."},
        {"year:", QueryError::not_numbers, "year:"},
        {"track:-1", QueryError::not_numbers, "track:-1"},
        {"length:3:75", QueryError::not_numbers, "length:3:75"},
        {"year:99999999999999999999", QueryError::not_numbers, "year:99999999999999999999"},
        {"a artist:\"Miles Davis", QueryError::unclosed_quote, "artist:\"Miles Davis"},
        {"\"", QueryError::unclosed_quote, "\""},
        {"a ^ b", QueryError::empty_term, "^"},
    };
    for (const auto &c : cases) {
        Query query;
        std::string term;
        EXPECT_EQ(parse_query(c.text, query, term), c.error) << c.text;
        EXPECT_EQ(term, c.term) << c.text;
    }
}

TEST(Query, Durations) {
    const struct {
        const char *text;
        bool read;
        uint64_t seconds;
    } cases[] = {
        {"90", true, 90},       {"1h2m3s", true, 3723}, {"4m", true, 240},     {"45s", true, 45},
        {"2h", true, 7200},     {"1h30m", true, 5400},  {"3:30", true, 210},   {"1:02:03", true, 3723},
        {"0:05", true, 5},      {"", false, 0},         {"m", false, 0},       {"1m2h", false, 0},
        {"1h1h", false, 0},     {"3:", false, 0},       {":30", false, 0},     {"3:60", false, 0},
        {"3:030", false, 0},    {"1:2:3:4", false, 0},  {"1.5m", false, 0},    {"-5", false, 0},
        {"5x", false, 0},       {"18446744073709551616", false, 0}, {"5124095576030432h", false, 0},
    };
    for (const auto &c : cases) {
        uint64_t seconds = 0;
        EXPECT_EQ(parse_duration(c.text, seconds), c.read) << c.text;
        if (c.read)
            EXPECT_EQ(seconds, c.seconds) << c.text;
    }
}

