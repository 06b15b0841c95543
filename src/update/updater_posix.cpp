#include "update/updater.h"

// No program file to replace outside Windows.
void removeOldExe() {}
void relaunchSelf() {}
