// Runs the built tool on each case of a case file and compares its exact output and status.
// Usage: end_to_end CASES BINARY [--crlf] [--launcher PROGRAM [--argv0 TEXT]]
// --crlf expects every line feed as CR LF; --argv0 is the argument 0 the launched tool sees.
//
// Case file: "case NAME" starts a case. Then, in any order:
//   args WORDS      arguments split at blanks      arg TEXT     one argument, exact (may be empty)
//   argv0 TEXT      argument 0 (default "lodrix")  argv0-none   start with no argument at all
//   env NAME=VALUE  the whole environment is these  cwd DIR     working directory
//   stdout full|closed|broken|broken-sigpipe-ignored   where standard output goes
//                   (default: captured; broken: a pipe whose reader is gone)
//   status N        out / err  start a block of expected standard output / error,
//   |TEXT           one line of the current block (TEXT and a line feed)
//   folder NAME     run in a new folder NAME made in the scratch folder
//   link NAME       NAME in the scratch folder: a symbolic link to the case's folder
//   removed         the case's folder is removed once the run is in it
//   posix-only      the case needs what only a POSIX system gives (PWD, /dev/full, argv0)
//   windows-only    the case is about the Windows build
// Lines starting with '#' are comments. In every line, \xHH stands for the byte HH and
// {scratch} for the scratch folder, a fresh folder whose path holds no special character.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <errno.h>
#include <string.h>
#include <sys/stat.h>
#include <time.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

struct Case {
    std::string name;
    std::vector<std::string> args, env;
    std::string argv0 = "lodrix", cwd, stdout_to, out, err;
    bool no_argv0 = false, posix_only = false, windows_only = false, removed = false;
    int status = 0;
};

struct Result {
    std::string out, err;
    int status = -1;
    bool cut_short = false;
};

static std::string binary, launcher, launched_argv0, scratch;
static bool crlf = false;

// A broken item loop can write without end: stop reading there, and stop a hung run.
static const size_t most_captured = 16 << 20;
static const int most_seconds = 60;

static std::string with_bytes_and_scratch(const std::string &line) {
    std::string result;
    for (size_t i = 0; i < line.size(); ++i) {
        if (line.compare(i, 2, "\\x") == 0 && i + 3 < line.size() && isxdigit((unsigned char)line[i + 2]) &&
            isxdigit((unsigned char)line[i + 3])) {
            result += char(std::stoi(line.substr(i + 2, 2), nullptr, 16));
            i += 3;
        } else if (line.compare(i, 9, "{scratch}") == 0) {
            result += scratch;
            i += 8;
        } else {
            result += line[i];
        }
    }
    return result;
}

static std::vector<Case> load_cases(const char *path) {
    std::ifstream file(path);
    if (!file)
        throw std::runtime_error(std::string("cannot read ") + path);
    std::vector<Case> cases;
    std::string line, *block = nullptr;
    while (std::getline(file, line)) {
        line = with_bytes_and_scratch(line);
        auto word = line.substr(0, line.find(' '));
        auto rest = line.size() > word.size() ? line.substr(word.size() + 1) : "";
        if (line.empty() || line[0] == '#')
            continue;
        if (word == "case") {
            cases.push_back(Case{});
            cases.back().name = rest;
            continue;
        }
        if (cases.empty())
            throw std::runtime_error("line before the first case: " + line);
        Case &c = cases.back();
        if (line[0] == '|' && block)
            *block += line.substr(1) + "\n";
        else if (word == "args")
            for (size_t at = 0; at < rest.size();) {
                size_t end = std::min(rest.find(' ', at), rest.size());
                c.args.push_back(rest.substr(at, end - at));
                at = end + 1;
            }
        else if (word == "arg") c.args.push_back(rest);
        else if (word == "argv0") c.argv0 = rest;
        else if (word == "argv0-none") c.no_argv0 = true;
        else if (word == "env") c.env.push_back(rest);
        else if (word == "cwd") c.cwd = rest;
        else if (word == "folder") {
            c.cwd = scratch + "/" + rest;
            mkdir(c.cwd.c_str(), 0755);
        }
        else if (word == "link") {
            if (symlink(c.cwd.c_str(), (scratch + "/" + rest).c_str()) != 0 && errno != EEXIST)
                throw std::runtime_error("cannot make the link " + rest);
        }
        else if (word == "windows-only") c.windows_only = true;
        else if (word == "removed") c.removed = true;
        else if (word == "stdout") c.stdout_to = rest;
        else if (word == "status") c.status = std::stoi(rest);
        else if (word == "posix-only") c.posix_only = true;
        else if (word == "out") block = &c.out;
        else if (word == "err") block = &c.err;
        else throw std::runtime_error("unknown line in case " + c.name + ": " + line);
    }
    return cases;
}

static std::string with_crlf(const std::string &text) {
    std::string result;
    for (char c : text)
        result += c == '\n' ? std::string("\r\n") : std::string(1, c);
    return result;
}

// Starts the tool with exactly this argument vector and environment, and collects both streams.
static Result run_tool(const Case &c) {
    std::vector<std::string> words;
    if (!launcher.empty())
        words = {launcher, binary};
    else if (!c.no_argv0)
        words = {c.argv0};
    words.insert(words.end(), c.args.begin(), c.args.end());
    std::vector<char *> argv, envp;
    for (auto &w : words) argv.push_back(const_cast<char *>(w.c_str()));
    argv.push_back(nullptr);
    std::vector<std::string> env = c.env;
    // Wine hands PWD to the program only when it is given as WINEPWD.
    for (auto &e : env)
        if (!launcher.empty() && e.rfind("PWD=", 0) == 0) e = "WINE" + e;
    for (auto &e : env) envp.push_back(const_cast<char *>(e.c_str()));
    // A launcher such as Wine needs its own settings; the tool still sees only the case's.
    for (char **e = launcher.empty() ? nullptr : environ; e && *e; ++e)
        for (const char *name : {"WINE", "HOME=", "PATH=", "LC_ALL=", "LANG="})
            if (strncmp(*e, name, strlen(name)) == 0) envp.push_back(*e);
    envp.push_back(nullptr);

    int out[2], err[2];
    if (pipe(out) != 0 || pipe(err) != 0)
        throw std::runtime_error("pipe");
    pid_t pid = fork();
    if (pid == 0) {
        if (c.stdout_to == "full") dup2(open("/dev/full", O_WRONLY), 1);
        else if (c.stdout_to == "closed") close(1);
        else if (c.stdout_to.rfind("broken", 0) == 0) {
            int reader_gone[2];
            if (pipe(reader_gone) != 0) _exit(127);
            close(reader_gone[0]);
            dup2(reader_gone[1], 1);
            signal(SIGPIPE, c.stdout_to == "broken-sigpipe-ignored" ? SIG_IGN : SIG_DFL);
        }
        else dup2(out[1], 1);
        dup2(err[1], 2);
        if (c.removed) mkdir(c.cwd.c_str(), 0755);
        if (!c.cwd.empty() && chdir(c.cwd.c_str()) != 0) _exit(127);
        if (c.removed && rmdir(c.cwd.c_str()) != 0) _exit(127);
        const char *program = launcher.empty() ? binary.c_str() : launcher.c_str();
        if (launcher.empty()) execve(program, argv.data(), envp.data());
        else execvpe(program, argv.data(), envp.data());
        _exit(127);
    }
    close(out[1]);
    close(err[1]);
    Result result;
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    std::string *into[2] = {&result.out, &result.err};
    time_t deadline = time(nullptr) + most_seconds;
    for (int open_streams = 2; open_streams > 0;) {
        if (result.out.size() > most_captured || time(nullptr) > deadline) {
            result.cut_short = true;
            kill(pid, SIGKILL);
            break;
        }
        poll(fds, 2, 1000);
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents) continue;
            char buffer[65536];
            ssize_t n = read(fds[i].fd, buffer, sizeof buffer);
            if (n > 0) { into[i]->append(buffer, n); continue; }
            close(fds[i].fd);
            fds[i].fd = -1;
            --open_streams;
        }
    }
    for (pollfd &stream : fds)
        if (stream.fd >= 0) close(stream.fd);
    int wait_status;
    waitpid(pid, &wait_status, 0);
    result.status = WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : 128 + WTERMSIG(wait_status);
    return result;
}

// Names the first line that differs, instead of printing two texts of megabytes.
static void expect_same_text(const std::string &got, const std::string &want, const char *stream) {
    if (got == want)
        return;
    size_t at = std::mismatch(got.begin(), got.begin() + std::min(got.size(), want.size()), want.begin()).first - got.begin();
    size_t line_start = got.rfind('\n', at == 0 ? 0 : at - 1);
    line_start = line_start == std::string::npos || at == 0 ? 0 : line_start + 1;
    auto line_of = [&](const std::string &text) { return text.substr(line_start, text.find('\n', line_start) - line_start); };
    ADD_FAILURE() << stream << " differs at byte " << at << " of " << got.size() << " (expected " << want.size()
                  << "), line " << std::count(got.begin(), got.begin() + at, '\n') + 1 << ":\n  got:      "
                  << testing::PrintToString(line_of(got)) << "\n  expected: " << testing::PrintToString(line_of(want));
}

static void check_case(const Case &c) {
    if (c.posix_only && !launcher.empty())
        GTEST_SKIP() << "needs a POSIX start";
    if (c.windows_only && launcher.empty())
        GTEST_SKIP() << "about the Windows build";
    Result got = run_tool(c);
    ASSERT_FALSE(got.cut_short) << "the run wrote more than " << most_captured << " bytes or ran longer than "
                                << most_seconds << " s";
    std::string out = c.out;
    // Under a launcher, argument 0 is what the launcher makes of the binary's path.
    size_t syntax = out.find(" Syntax: " + c.argv0 + " ");
    if (!launched_argv0.empty() && syntax != std::string::npos)
        out.replace(syntax + 9, c.argv0.size(), launched_argv0);
    EXPECT_EQ(got.status, c.status);
    expect_same_text(got.out, crlf ? with_crlf(out) : out, "standard output");
    expect_same_text(got.err, crlf ? with_crlf(c.err) : c.err, "standard error");
}

// The item list's fast path has its own carries and block ends; check a long list line by line.
TEST(ItemList, HundredThousandItemsAcrossManyBlocks) {
    Case c;
    c.args = {"a", "-n", "100000"};
    std::string expected;
    for (int k = 1; k <= 100000; ++k)
        expected += "  <vlc:item tid=\"" + std::to_string(k) + "\"/>\n";
    expected += " </extension>\n</playlist>\n";
    if (crlf) expected = with_crlf(expected);
    Result got = run_tool(c);
    ASSERT_EQ(got.status, 0);
    ASSERT_GE(got.out.size(), expected.size());
    expect_same_text(got.out.substr(got.out.size() - expected.size()), expected, "item list");
}

// Far more than any file name or script passes: every byte must still arrive, escaped.
TEST(LargeInput, LongArgumentsAndManyArguments) {
    if (!launcher.empty())
        GTEST_SKIP() << "Windows limits a command line to 32767 characters";
    Case c;
    std::string name, location;
    for (int k = 0; name.size() < 100 * 1024; ++k) {
        name += "Tom & Jerry <" + std::to_string(k) + ">/";
        location += "Tom &amp; Jerry &lt;" + std::to_string(k) + "&gt;/";
    }
    c.args = {name, "2", std::string(100 * 1024, '9')};
    c.args.insert(c.args.end(), 100000, "ignored");
    c.args.insert(c.args.end(), {"-n", "2"});
    c.out = "  <track>\n   <location>" + location + "</location>\n   <duration>" + c.args[2] +
            "</duration>\n   <extension application=\"http://www.videolan.org/vlc/playlist/0\">\n"
            "    <vlc:id>2</vlc:id>\n   </extension>\n  </track>\n\n </trackList>\n\n"
            " <extension application=\"http://www.videolan.org/vlc/playlist/0\">\n"
            "  <vlc:item tid=\"1\"/>\n  <vlc:item tid=\"2\"/>\n </extension>\n</playlist>\n";
    check_case(c);
}

int main(int argc, char **argv) {
    testing::InitGoogleTest(&argc, argv);
    if (argc < 3) {
        fprintf(stderr, "usage: %s CASES BINARY [--crlf] [--launcher PROGRAM [--argv0 TEXT]]\n", argv[0]);
        return 2;
    }
    char *absolute = realpath(argv[2], nullptr);
    binary = absolute ? absolute : argv[2];
    free(absolute);
    for (int i = 3; i < argc; ++i) {
        if (std::string(argv[i]) == "--crlf") crlf = true;
        else if (std::string(argv[i]) == "--launcher" && i + 1 < argc) launcher = argv[++i];
        else if (std::string(argv[i]) == "--argv0" && i + 1 < argc) launched_argv0 = argv[++i];
    }
    char scratch_template[] = "/tmp/lodrix-cases.XXXXXX";
    if (mkdtemp(scratch_template) == nullptr)
        return 2;
    scratch = scratch_template;
    for (const Case &c : load_cases(argv[1])) {
        std::string name = c.name;
        for (char &ch : name)
            if (!isalnum((unsigned char)ch)) ch = '_';
        testing::RegisterTest("EndToEnd", name.c_str(), nullptr, nullptr, __FILE__, __LINE__,
                              [c]() -> testing::Test * {
                                  struct CaseTest : testing::Test {
                                      Case c;
                                      explicit CaseTest(Case c) : c(std::move(c)) {}
                                      void TestBody() override { check_case(c); }
                                  };
                                  return new CaseTest(c);
                              });
    }
    int status = RUN_ALL_TESTS();
    std::error_code ignored;
    std::filesystem::remove_all(scratch, ignored);
    return status;
}
