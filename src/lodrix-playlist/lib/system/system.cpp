#include "system.h"

std::string joined_path(const std::string &folder, const std::string &name) {
    return folder.back() == '/' ? folder + name : folder + "/" + name;
}
