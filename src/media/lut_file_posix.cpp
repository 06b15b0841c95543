#include "media/lut_file.h"

std::FILE* openLutFile(const std::string& utf8Path) { return std::fopen(utf8Path.c_str(), "rb"); }
