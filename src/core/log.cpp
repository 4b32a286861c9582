#include "core/log.h"

namespace hy {

// Debug lines only when asked for (QT_LOGGING_RULES="hytune.sound.debug=true").
Q_LOGGING_CATEGORY(lcApp, "hytune.app", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSound, "hytune.sound", QtInfoMsg)
Q_LOGGING_CATEGORY(lcAnnouncer, "hytune.announcer", QtInfoMsg)
Q_LOGGING_CATEGORY(lcHotkey, "hytune.hotkey", QtInfoMsg)
Q_LOGGING_CATEGORY(lcSettings, "hytune.settings", QtInfoMsg)
Q_LOGGING_CATEGORY(lcServerTime, "hytune.servertime", QtInfoMsg)
Q_LOGGING_CATEGORY(lcRemote, "hytune.remote", QtInfoMsg)
Q_LOGGING_CATEGORY(lcTips, "hytune.tips", QtInfoMsg)
Q_LOGGING_CATEGORY(lcNotify, "hytune.notify", QtInfoMsg)

} // namespace hy
