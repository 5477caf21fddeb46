#pragma once

#include <deque>
#include <string>
#include <vector>

#include "lodrix-playlist/read/reader_pool.h"
#include "lodrix-playlist/select/select.h"
#include "lodrix-playlist/tracks/tracks.h"
#include "lodrix-playlist/walk/walk.h"
#include "lodrix-playlist/write/playlists.h"

// The command line, read by GNU rules, becomes each stage's settings (Settings); every
// message about an option is written here. Beside the stages, not one of them: it knows each
// stage's settings, and no stage knows it.

/// What shapes one list of --lists: its tracks' order and chapters, its selection, its file.
struct ListSettings {
    TrackSettings tracks;
    Selection select;
    WriteSettings write;
};

/// What the command line asks of each stage.
struct Settings {
    WalkSettings walk;
    ReadSettings read;
    TrackSettings tracks;
    Selection select;
    WriteSettings write;
    /// --lists: the file's lists, all from one walk and one reading; none without it.
    std::vector<ListSettings> lists;
    /// The words of the --lists file, which the lists' settings point into.
    std::deque<std::string> texts;
};

/// The status to end with at once, or go_on.
const int go_on = -1;

/// Reads the command line (short options grouped, a long one with =VALUE or the next
/// argument, "--" ends them, operands anywhere) into settings, and the -T lists it names
/// (one that cannot be read is reported as an error, and the run goes on); without --seed,
/// a shuffle's seed comes from the system's random source. Returns go_on, or the status to end
/// with: 0 after --help or --version (printed), 1 after a wrong option or value (one line on
/// standard error), 2 when printing failed, 3 when a query names a relative path and the
/// working directory cannot be had.
int read_options(int argc, char **argv, Settings &settings);

/// The handles a reader process of the program's is started with (Windows: what follows
/// reader_option, lib/readers/channel.h, as the only argument), or null for any other command
/// line. Recognised before anything else, and never in --help: no user gives it.
const char *reader_handles(int argc, char **argv);

/// Prints the usage (--help) or the version (--version) on standard output; 0, or 2 when
/// printing failed.
int print_usage();
int print_version();

/// Appends the operands list names: one a line, a carriage return before the line feed
/// dropped, empty lines and lines that begin with "#" (an M3U playlist's) left out; with
/// null, names that end in NUL bytes, none left out. A relative one is taken from the list's
/// folder, as M3U readers do ("-", standard input: from the working directory). False, with
/// errno set, when the list cannot be read.
bool read_list(const char *list, bool null, std::vector<std::string> &operands);

/// Why a line of a --lists file cannot be split into words.
enum class WordsError { none, unclosed_quote, trailing_backslash };

/// Splits line into words as a POSIX shell quotes them: blanks (space, tab) between words;
/// '...' keeps what it holds as it is; "..." too, but for a backslash before $, `, " or \,
/// which keeps that character; a backslash outside quotes keeps the next character; a "#"
/// that begins a word begins a comment. Nothing is expanded.
WordsError split_words(const std::string &line, std::vector<std::string> &words);

/// A line of a --lists file that names a list: its number and its words.
struct ListLine {
    size_t number;
    std::vector<std::string> words;
};

/// Reads a --lists file ("-": standard input): each line but empty ones and those that begin
/// with "#" (after blanks), split into words; a carriage return before the line feed and a
/// UTF-8 byte-order mark dropped. False, with errno set, when it cannot be read; a line that
/// cannot be split ends the reading there, with its number in bad_line and why in error.
bool read_lists_file(const char *file, std::vector<ListLine> &lines, size_t &bad_line, WordsError &error);
