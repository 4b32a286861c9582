#include "core/log.h"

namespace hy {

Q_LOGGING_CATEGORY(lcApp, "hytune.app")
Q_LOGGING_CATEGORY(lcSound, "hytune.sound")
Q_LOGGING_CATEGORY(lcAnnouncer, "hytune.announcer")
Q_LOGGING_CATEGORY(lcHotkey, "hytune.hotkey")
Q_LOGGING_CATEGORY(lcSettings, "hytune.settings")
Q_LOGGING_CATEGORY(lcServerTime, "hytune.servertime")
Q_LOGGING_CATEGORY(lcRemote, "hytune.remote")
Q_LOGGING_CATEGORY(lcTips, "hytune.tips")
Q_LOGGING_CATEGORY(lcNotify, "hytune.notify")

} // namespace hy
