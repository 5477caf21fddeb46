// The query language as read.
#include <gtest/gtest.h>

#include <string>

#include "lodrix-playlist/select/query.h"

// Queries as text, "|" between them: "^" for a negated term, then field~text (contains),
// field=~text (equals), field=text (identical), field::pattern, field low..high (range) or
// path<folder (in_path), "*" for the field of a term without one; terms end in ";".
static std::string described(const std::vector<Query> &queries) {
    static const char *const fields[] = {"title", "artist", "albumartist", "album", "genre", "composer",
                                         "year",  "track",  "disc",        "length", "path"};
    std::string text;
    for (const Query &query : queries) {
        text += text.empty() ? "" : "|";
        for (const QueryTerm &term : query) {
            text += std::string(term.negated ? "^" : "") +
                    (term.any_field ? "*" : term.kind == QueryTerm::in_path ? "" : fields[size_t(term.field)]);
            switch (term.kind) {
            case QueryTerm::contains: text += "~" + term.text; break;
            case QueryTerm::equals: text += "=~" + term.text; break;
            case QueryTerm::identical: text += "=" + term.text; break;
            case QueryTerm::pattern: text += "::" + term.expression.text(); break;
            case QueryTerm::in_path: text += "path<" + term.text; break;
            case QueryTerm::range:
                text += " " + std::to_string(term.low) + ".." + (term.high == UINT64_MAX ? "" : std::to_string(term.high));
            }
            text += ";";
        }
    }
    return text;
}

// Read with the working directory /music.
TEST(Query, TermsAsRead) {
    const struct {
        const char *text, *read;
    } cases[] = {
        {"\xc3\xa4rger", "*~\xc3\xa4rger;"},
        {"\xc3\x84RGER", "*~\xc3\xa4rger;"},
        {"^genre:Rock -genre:Rock", "^genre~rock;^genre~rock;"},
        {"genre:=Rock genre:=~RoCK", "genre=Rock;genre=~rock;"},
        {"Genre:x", "genre~x;"},
        {"artist:\"Miles Davis\"", "artist~miles davis;"},
        {"\"Miles Davis\"", "*~miles davis;"},
        {" a\tb  ^c ", "*~a;*~b;^*~c;"},
        {"\"a:b\" \"^x\" 3:30 \"-x\" \"::x\"", "*~a:b;*~^x;*~3:30;*~-x;*~::x;"},
        {"title: title:= title:=~ year:=", "title~;title=;title=~;year=;"},
        {"albumartist:x composer:y", "albumartist~x;composer~y;"},
        {"path:/m path:/m/./a/ path:=/m/A path:=~/m/A", "path</m;path</m/a;path=/m/A;path=~/m/a;"},
        {"path:Rock/ path: ^path:/", "path</music/Rock;path</music;^path</;"},
        {"/no/such/folder music/x", "*~/no/such/folder;*~music/x;"},
        {"year:1970..1989 year:1980.. year:..1960", "year 1970..1989;year 1980..;year 0..1960;"},
        {"track:3 disc:=2 disc:=~2", "track 3..3;disc 2..2;disc 2..2;"},
        {"year:-5.. track:-1 track:+6 year:..-5 -5..", "year 0..;track 1..0;track 6..6;year 1..0;^*~5..;"},
        {"length:3:30 length:4m.. length:..1h2m3s", "length 210000..210999;length 240000..;length 0..3723999;"},
        {"length:2.5 length:..3:30.5 length:1m2.25s.. length:0.1234", "length 2500..2599;length 0..210599;length 62250..;length 123..123;"},
        {"title::\\d+\\: ::^a\\ b path::\\.mp3$ year::^19", "title::\\d+\\:;*::^a\\ b;path::\\.mp3$;year::^19;"},
        {"Live\\: a\\,b \\, \\-x \\^x \\\"x title:\\=x title:=\\~x", "*~live:;*~a,b;*~,;*~-x;*~^x;*~\"x;title~=x;title=~x;"},
        {"a , b c , ^d", "*~a;|*~b;*~c;|^*~d;"},
        {"AC\\DC", "*~ac\\dc;"},
        {"", ""},
    };
    for (const auto &c : cases) {
        std::vector<Query> queries;
        std::string term, reason;
        EXPECT_EQ(parse_query(c.text, "/music", queries, term, reason), QueryError::none) << c.text;
        EXPECT_EQ(described(queries), c.read) << c.text;
    }
}

TEST(Query, TermsThatCannotBeRead) {
    const struct {
        const char *text;
        QueryError error;
        const char *term, *base = "/music";
    } cases[] = {
        {"a foo:bar", QueryError::unknown_field, "foo:bar"},
        {"Live:x", QueryError::unknown_field, "Live:x"},
        {"a year:19x0..1980", QueryError::not_numbers, "year:19x0..1980"},
        {"year:..", QueryError::not_numbers, "year:.."},
        {"year:", QueryError::not_numbers, "year:"},
        {"track:--1", QueryError::not_numbers, "track:--1"},
        {"length:3:75", QueryError::not_numbers, "length:3:75"},
        {"length:1.5m", QueryError::not_numbers, "length:1.5m"},
        {"length:2.", QueryError::not_numbers, "length:2."},
        {"year:2.5", QueryError::not_numbers, "year:2.5"},
        {"year:99999999999999999999", QueryError::not_numbers, "year:99999999999999999999"},
        {"a artist:\"Miles Davis", QueryError::unclosed_quote, "artist:\"Miles Davis"},
        {"\"", QueryError::unclosed_quote, "\""},
        {"a\\\" \"", QueryError::unclosed_quote, "\""},
        {"a ^ b", QueryError::empty_term, "^"},
        {"a - b", QueryError::empty_term, "-"},
        {", a", QueryError::empty_query, ","},
        {"a , , b", QueryError::empty_query, ","},
        {"a ,", QueryError::empty_query, ","},
        {"a title::(", QueryError::bad_pattern, "title::("},
        {"::[", QueryError::bad_pattern, "::["},
        {"path:x", QueryError::no_working_directory, "path:x", ""},
    };
    for (const auto &c : cases) {
        std::vector<Query> queries;
        std::string term, reason;
        EXPECT_EQ(parse_query(c.text, c.base, queries, term, reason), c.error) << c.text;
        EXPECT_EQ(term, c.term) << c.text;
    }
    std::vector<Query> queries;
    std::string term, reason;
    parse_query("title::a(", "/music", queries, term, reason);
    EXPECT_EQ(reason, "missing closing parenthesis");
    EXPECT_EQ(parse_query("path:x x/y", "", queries, term, reason), QueryError::no_working_directory);
    EXPECT_EQ(parse_query("x/y", "", queries, term, reason), QueryError::none);
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
    // A length bound: its milliseconds and what its last digit counts.
    const struct {
        const char *text;
        bool read;
        uint64_t ms, unit;
    } lengths[] = {
        {"90", true, 90000, 1000},  {"2.5", true, 2500, 100},    {"3:30.25", true, 210250, 10},
        {"1m2.5s", true, 62500, 100}, {"0.0015", true, 1, 1},   {"1h2m3s", true, 3723000, 1000},
        {"2.", false, 0, 0},        {".5", false, 0, 0},         {"1.5m", false, 0, 0},
        {"2.5.5", false, 0, 0},     {"2.5x", false, 0, 0},       {"18446744073709552", false, 0, 0},
    };
    for (const auto &c : lengths) {
        uint64_t ms = 0, unit = 0;
        EXPECT_EQ(parse_length(c.text, ms, unit), c.read) << c.text;
        if (c.read)
            EXPECT_TRUE(ms == c.ms && unit == c.unit) << c.text << ": " << ms << ", " << unit;
    }
}

