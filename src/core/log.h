#pragma once

#include <QLoggingCategory>

namespace hy {

// One logging category per component, so that QT_LOGGING_RULES can pick one
// ("hytune.sound.debug=true"). Log lines are English; what the user reads is
// Chinese.
Q_DECLARE_LOGGING_CATEGORY(lcApp)        // hytune.app: start, translations, endings
Q_DECLARE_LOGGING_CATEGORY(lcSound)      // hytune.sound: player, outputs, voice pack
Q_DECLARE_LOGGING_CATEGORY(lcAnnouncer)  // hytune.announcer: the speech thread
Q_DECLARE_LOGGING_CATEGORY(lcHotkey)     // hytune.hotkey: X11 grab, portal, desktop shortcuts
Q_DECLARE_LOGGING_CATEGORY(lcSettings)   // hytune.settings: the settings file
Q_DECLARE_LOGGING_CATEGORY(lcServerTime) // hytune.servertime: 对时
Q_DECLARE_LOGGING_CATEGORY(lcRemote)     // hytune.remote: one running copy, D-Bus, the socket
Q_DECLARE_LOGGING_CATEGORY(lcTips)       // hytune.tips: the web tips
Q_DECLARE_LOGGING_CATEGORY(lcNotify)     // hytune.notify: desktop notifications

} // namespace hy
