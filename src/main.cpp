#include "front/run.h"

#ifdef _WIN32
#include "front/platform.h"

int wmain(int argc, wchar_t **argv) { return run(argc, utf8_arguments(argc, argv)); }
#else
int main(int argc, char **argv) { return run(argc, argv); }
#endif
