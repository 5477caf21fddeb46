#include "run.h"

#ifdef _WIN32
#include "lodrix-playlist/lib/text/messages.h"
#include "platform/platform.h"

int wmain(int argc, wchar_t **argv) { return run(argc, utf8_arguments(argc, argv, program_name)); }
#else
int main(int argc, char **argv) { return run(argc, argv); }
#endif
