#include "lodrix_playlist.h"

int main(int argc, char **argv) { return run_lodrix_playlist(argc, argv); }
