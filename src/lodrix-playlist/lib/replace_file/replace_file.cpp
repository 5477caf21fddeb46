#include "lodrix-playlist/lib/replace_file/replace_file.h"

#include <errno.h>
#include <signal.h>

#include <memory>
#include <mutex>
#include <system_error>
#include <thread>

#include "lodrix-playlist/lib/replace_file/replace_file_system.h"

// A file being written or kept for commit_output_files.
struct Output {
    FILE *stream;
    std::string target, temporary;
    bool unnamed;
};

// One being written at a time, then kept; each temporary's text stays where it is, since the
// signal handler may read it.
static std::unique_ptr<Output> writing;
static std::vector<std::unique_ptr<Output>> kept;

// The temporary names a signal removes: at most every file of the batch being committed, of
// the one kept meanwhile, and the one being written. Two threads change them (never the
// handler, which only reads them).
static const char *volatile to_remove[2 * most_kept_files + 1];
static std::mutex to_remove_mutex;

void remove_on_signal(const char *path) {
    std::lock_guard<std::mutex> lock(to_remove_mutex);
    for (const char *volatile &slot : to_remove)
        if (slot == nullptr) {
            slot = path;
            return;
        }
}

void forget_on_signal(const char *path) {
    std::lock_guard<std::mutex> lock(to_remove_mutex);
    for (const char *volatile &slot : to_remove)
        if (slot == path)
            slot = nullptr;
}

static void remove_and_end(int signal_number) {
    for (const char *path : to_remove)
        if (path != nullptr)
            remove_file(path);
    signal(signal_number, SIG_DFL);
    raise(signal_number);
}

// Removes the file's temporary name where it has one.
static void remove_temporary(Output &output) {
    if (!output.unnamed && !output.temporary.empty()) {
        remove_file(output.temporary.c_str());
        forget_on_signal(output.temporary.c_str());
    }
}

FILE *start_output_file(const std::string &path) {
    static bool handlers_set = false;
    if (!handlers_set) {
        for (int i = 0; i < ending_signal_count; ++i)
            signal(ending_signals[i], remove_and_end);
        handlers_set = true;
    }
    auto output = std::make_unique<Output>();
    output->target = path;
    size_t slash = path.find_last_of(path_separators);
    std::string folder = slash == std::string::npos ? "" : path.substr(0, slash + 1);
    output->temporary = folder + "." + path.substr(slash + 1) + ".XXXXXX";
    int fd = made_file(path, output->temporary, output->unnamed);
    if (fd < 0)
        return nullptr;
    output->stream = fdopen(fd, "w");
    if (output->stream == nullptr) {
        int error = errno;
        close_descriptor(fd);
        remove_temporary(*output);
        errno = error;
        return nullptr;
    }
    writing = std::move(output);
    return writing->stream;
}

// Names, closes and renames each of outputs whose error is 0, over its target; removes the
// others. errors[i] gets outputs[i]'s first failure.
static void put_in_place(std::unique_ptr<Output> *outputs, int *errors, size_t count) {
    for (size_t i = 0; i < count; ++i) {
        Output &output = *outputs[i];
        if (errors[i] == 0 && named(fileno(output.stream), output.temporary, output.unnamed) != 0)
            errors[i] = errno;
        if (fclose(output.stream) != 0 && errors[i] == 0)
            errors[i] = errno;
        if (errors[i] == 0 && replaced(output.temporary.c_str(), output.target.c_str()) != 0)
            errors[i] = errno;
        if (errors[i] != 0)
            remove_temporary(output);
        else
            forget_on_signal(output.temporary.c_str());
    }
}

int finish_output_file(int write_error) {
    int error = write_error;
    if (error == 0) {
        int fd = fileno(writing->stream);
        flush_to_disk(&fd, &error, 1);
    }
    put_in_place(&writing, &error, 1);
    writing.reset();
    return error;
}

void discard_output_file() {
    fclose(writing->stream);
    remove_temporary(*writing);
    writing.reset();
}

int keep_output_file(int write_error) {
    if (write_error != 0) {
        discard_output_file();
        return write_error;
    }
    kept.push_back(std::move(writing));
    return 0;
}

size_t kept_output_files() { return kept.size(); }

// Flushes the batch's files to the disk at once, then puts each in place; those that failed
// go to failures.
static void commit(std::vector<std::unique_ptr<Output>> &batch, std::vector<OutputFailure> &failures) {
    std::vector<int> fds, errors(batch.size());
    for (const auto &output : batch)
        fds.push_back(fileno(output->stream));
    flush_to_disk(fds.data(), errors.data(), fds.size());
    put_in_place(batch.data(), errors.data(), batch.size());
    for (size_t i = 0; i < batch.size(); ++i)
        if (errors[i] != 0)
            failures.push_back({batch[i]->target, errors[i]});
    batch.clear();
}

// The batch a thread of its own commits while the next one is written: a flush waits for
// the disk, and the program would wait with it, and the readers for the program.
static std::vector<std::unique_ptr<Output>> committing;
static std::vector<OutputFailure> commit_failures;
static std::thread committer;

std::vector<OutputFailure> commit_output_files() {
    std::vector<OutputFailure> failures = wait_for_commits();
    committing.swap(kept);
    try {
        committer = std::thread([] { commit(committing, commit_failures); });
    } catch (const std::system_error &) {
        commit(committing, failures);
    }
    return failures;
}

std::vector<OutputFailure> wait_for_commits() {
    if (committer.joinable())
        committer.join();
    std::vector<OutputFailure> failures;
    failures.swap(commit_failures);
    return failures;
}
