#pragma once

/// Runs lodrix-playlist on its command line ([DIR|FILE]..., none: ".") and returns the exit
/// status: 0 after a playlist written in full, 1 when an operand does not exist or no media
/// file was found (nothing on standard output), 2 when writing failed.
int run(int argc, char **argv);
