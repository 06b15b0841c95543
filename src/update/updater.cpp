#include "update/updater.h"

void Updater::start(const std::string&, const std::wstring&) {}
