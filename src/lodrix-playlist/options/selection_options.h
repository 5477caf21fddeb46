#pragma once

#include <vector>

#include "lodrix-playlist/select/select.h"

// The selection's options of one list (--match, --sort, --shuffle, --seed, --limit), as given,
// read into its Selection once all are there, with every message about them.

struct SelectionOptions {
    std::vector<const char *> matches; ///< --match's queries
    const char *sort = nullptr;        ///< --sort's keys; null where not given
    const char *shuffle = nullptr;     ///< --shuffle's mode, "tracks" where none is given; null where not given
    const char *seed = nullptr, *limit = nullptr;
};

/// Reads options into selection; a relative path in a query is taken from the working
/// directory, and without --seed a shuffle's seed comes from the system. False after one message
/// (beginning with where: "" on the command line, "FILE:LINE: " in a --lists file), with status
/// the one to end with: 1 for what cannot be read, 3 where a relative path in a query needs the
/// working directory and there is none.
bool read_selection(const SelectionOptions &options, const char *where, Selection &selection, int &status);
