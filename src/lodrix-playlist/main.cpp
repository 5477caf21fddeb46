#include "run.h"

#ifdef _WIN32
#include "platform/platform.h"

int wmain(int argc, wchar_t **argv) { return run(argc, utf8_arguments(argc, argv, "lodrix-playlist")); }
#else
int main(int argc, char **argv) { return run(argc, argv); }
#endif
