#include "run.h"

#ifdef _WIN32
#include "lodrix-playlist/lib/readers/reader.h"
#include "lodrix-playlist/lib/text/messages.h"
#include "options/options.h"
#include "platform/platform.h"

// A reader process is this program started again by itself: it reads what it is handed, and
// nothing of a run's.
int wmain(int argc, wchar_t **argv) {
    char **arguments = utf8_arguments(argc, argv, program_name);
    if (const char *handles = reader_handles(argc, arguments))
        return serve_as_reader(handles);
    return run(argc, arguments);
}
#else
int main(int argc, char **argv) { return run(argc, argv); }
#endif
