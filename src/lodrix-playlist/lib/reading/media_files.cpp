#include "media_files.h"

#include "lodrix-playlist/lib/system/system.h"

std::string media_file_path(const MediaFiles &files, size_t index) {
    return joined_path(files.folders[files.files[index].folder], files.files[index].name);
}
