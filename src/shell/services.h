#pragma once

#include "core/app/appcore.h"
#include "core/timer.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QWidget;

namespace hy {

class GlobalHotkey;
class INotifier;

// The desktop's pieces the main window is built with. The program uses the
// real ones (realFormServices()); tests put fakes in their place.
struct FormServices
{
    std::function<std::unique_ptr<GlobalHotkey>()> makeHotkey;
    // Notices with buttons, for the hotkey's offers; may be empty.
    std::function<std::unique_ptr<INotifier>()> makeNotifier;
    // The tips timer.
    TimerFactory makeTimer;
    std::function<void(const QUrl&)> openUrl;
    // The file dialog for the alert sound, given the sound chosen now: the
    // chosen path, or empty when cancelled.
    std::function<QString(QWidget* parent, const QString& current)> chooseSoundFile;
    // The folder dialog for the voice pack, given the folder chosen now.
    std::function<QString(QWidget* parent, const QString& current)> chooseVoiceFolder;
    // Base address of the publisher's web server, without a trailing slash.
    QString serverBase;
    QString tipsCachePath;
};

// The program's own pieces: the settings file where this copy keeps it, the
// sound server, the tick thread, Qt's timers and the system clock.
CoreServices realCoreServices();
FormServices realFormServices();

} // namespace hy
