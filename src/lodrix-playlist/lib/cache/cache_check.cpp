// Checking the readings' cache's file before anything is written to it, and moving a
// damaged database of ours aside.
#include "lodrix-playlist/lib/cache/reading_cache.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

#include <filesystem>
#include <system_error>

#include <sqlite3.h>

#include "lodrix-playlist/lib/text/messages.h"
#include "lodrix-playlist/lib/text/text.h"

static const char broken_message[] = N_("%s: cache damaged, moved to %s");
static const char no_room_reason[] = N_("no free name beside it");

// An SQLite URI for path, with options (an absolute path; Windows's as file:///C:/...).
static std::string file_uri(const std::filesystem::path &path, const char *options) {
    std::error_code error;
    std::string absolute = std::filesystem::absolute(path, error).generic_u8string(), uri = "file://";
    if (absolute.empty() || absolute[0] != '/')
        uri += '/';
    for (unsigned char c : absolute) {
        char escaped[4];
        snprintf(escaped, sizeof escaped, "%%%02X", c);
        uri += isalnum(c) || strchr("/-._~:", c) != nullptr ? std::string(1, char(c)) : escaped;
    }
    return uri + "?" + options;
}

// The first row of sql's values, count of them; an SQLite result code.
static int first_row(sqlite3 *database, const char *sql, int64_t *values, int count) {
    sqlite3_stmt *statement = nullptr;
    int result = sqlite3_prepare_v2(database, sql, -1, &statement, nullptr);
    if (result == SQLITE_OK)
        result = sqlite3_step(statement);
    for (int i = 0; result == SQLITE_ROW && i < count; ++i)
        values[i] = sqlite3_column_int64(statement, i);
    sqlite3_finalize(statement);
    return result == SQLITE_ROW ? SQLITE_OK : result;
}

// A database's marks: its application_id and user_version, which its header holds, and where
// the first is not ours, how many tables it has. Nothing is written.
static int read_marks(sqlite3 *database, int64_t marks[3]) {
    marks[0] = marks[1] = marks[2] = 0;
    int result = first_row(database,
                           "SELECT (SELECT application_id FROM pragma_application_id),"
                           " (SELECT user_version FROM pragma_user_version)",
                           marks, 2);
    if (result == SQLITE_OK && marks[0] != ReadingCache::application_id)
        result = first_row(database, "SELECT count(*) FROM sqlite_schema", marks + 2, 1);
    return result;
}

static int read_file_marks(const std::filesystem::path &path, const char *options, int64_t marks[3], int &error) {
    sqlite3 *database = nullptr;
    int result = sqlite3_open_v2(file_uri(path, options).c_str(), &database, SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                                 nullptr);
    marks[0] = marks[1] = marks[2] = 0;
    if (result == SQLITE_OK)
        result = read_marks(database, marks);
    error = database != nullptr ? sqlite3_system_errno(database) : 0;
    sqlite3_close(database);
    return result;
}

// Only a missing file, an empty one or a database whose application_id is ours: read by
// SQLite from the main file alone (immutable: no lock, no log, no index touched). Our own
// databases carry it there from the start; one made by an older version may hold it in its
// log alone, read through the log's index without writing to it. A symbolic link leads only
// to our own database, whose real path is then taken.
ReadingCache::Found ReadingCache::examine(std::string &reason) {
    namespace fs = std::filesystem;
    std::error_code error;
    fs::path path = fs::u8path(file);
    auto holds = [](const fs::path &named) {
        std::error_code error;
        return fs::file_size(named, error) > 0 && !error;
    };
    fs::file_status own = fs::symlink_status(path, error);
    if (own.type() == fs::file_type::not_found)
        return holds(fs::u8path(file + "-wal")) ? Found::not_ours : Found::missing;
    bool linked = fs::is_symlink(own);
    fs::file_status target = linked ? fs::status(path, error) : own;
    if (linked && target.type() == fs::file_type::not_found)
        return Found::not_ours;
    if (!error && !fs::is_regular_file(target))
        return Found::not_regular;
    fs::path real = linked && !error ? fs::canonical(path, error) : path;
    std::string real_name = real.u8string();
    uintmax_t size = error ? 0 : fs::file_size(real, error);
    if (error)
        return reason = error.message(), Found::unreadable;
    fs::path log = fs::u8path(real_name + "-wal");
    if (size == 0)
        return linked || holds(log) ? Found::not_ours : Found::empty;
    int64_t marks[3];
    int system_error = 0, result = read_file_marks(real, "immutable=1", marks, system_error);
    if ((result & 0xff) == SQLITE_CANTOPEN || (result & 0xff) == SQLITE_IOERR || (result & 0xff) == SQLITE_PERM) {
        reason = system_error_text(system_error);
        return reason = reason.empty() ? sqlite3_errstr(result) : reason, Found::unreadable;
    }
    bool ours = result == SQLITE_OK && marks[0] == application_id;
    // The main file as a new database's first page: what it holds is in its log.
    if (!ours && result == SQLITE_OK && marks[0] == 0 && marks[1] == 0 && marks[2] == 0 && holds(log) &&
        fs::exists(fs::u8path(real_name + "-shm"), error))
        ours = read_file_marks(real, "mode=ro&readonly_shm=1", marks, system_error) == SQLITE_OK &&
               marks[0] == application_id;
    if (ours)
        file = real_name;
    return ours ? Found::ours : Found::not_ours;
}

bool ReadingCache::read_schema(sqlite3 *database, Schema &found) {
    int64_t marks[3] = {0, 0, 0};
    int result = read_marks(database, marks);
    if (result != SQLITE_OK)
        return failed(database, result), false;
    found = marks[0] != ReadingCache::application_id ? (marks[0] == 0 && marks[1] == 0 && marks[2] == 0 ? Schema::none : Schema::other)
            : marks[1] == schema_version ? Schema::ours
            : marks[1] < schema_version  ? Schema::older
                                         : Schema::newer;
    return true;
}

// Moves the damaged database with its log and the log's index to FILE.broken, or the first of
// FILE.broken.2 to .9 where none of the three is: never over another file.
bool ReadingCache::move_aside() {
    namespace fs = std::filesystem;
    damaged = false;
    std::error_code error;
    auto taken = [](const std::string &name) {
        std::error_code error;
        return fs::symlink_status(fs::u8path(name), error).type() != fs::file_type::not_found;
    };
    for (int number = 1; number <= 9; ++number) {
        std::string aside = file + ".broken" + (number > 1 ? "." + std::to_string(number) : "");
        if (taken(aside) || taken(aside + "-wal") || taken(aside + "-shm"))
            continue;
        fs::rename(fs::u8path(file), fs::u8path(aside), error);
        if (error)
            return report_unusable(error.message().c_str()), false;
        for (const char *suffix : {"-wal", "-shm"})
            if (taken(file + suffix))
                fs::rename(fs::u8path(file + suffix), fs::u8path(aside + suffix), error);
        report(broken_message, printable(file).c_str(), printable(aside).c_str());
        return true;
    }
    return report_unusable(translated(no_room_reason)), false;
}
