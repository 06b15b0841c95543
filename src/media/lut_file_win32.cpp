#include "media/lut_file.h"

#include <share.h>
#include <windows.h>

#include "util/text.h"

std::FILE* openLutFile(const std::string& utf8Path) {
  // Shared so that an editor may keep the file open while we read it.
  return _wfsopen(utf8ToWide(utf8Path).c_str(), L"rb", _SH_DENYNO);
}
