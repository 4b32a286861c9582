#pragma once

#include "core/timer.h"

#include <QString>
#include <QUrl>
#include <functional>
#include <memory>

class QWidget;

namespace hy {

class ClipTable;
class GlobalHotkey;
class IClock;
class IOutputDevices;
class ISettingsTarget;
class ISoundPlayer;
class ITickSource;

// The pieces the main window is built from. The program uses the real ones
// (realServices()); tests put fakes in their place.
struct FormServices
{
    std::function<bool(ISettingsTarget&)> loadSettings;
    std::function<bool(const ISettingsTarget&)> saveSettings;
    std::function<void(ClipTable&)> loadClips;
    std::function<std::unique_ptr<ISoundPlayer>()> makePlayer;
    std::function<std::unique_ptr<GlobalHotkey>()> makeHotkey;
    // The tick source calls its callback on its own thread.
    std::function<std::unique_ptr<ITickSource>(std::function<void(quint64 run)>)> makeTickSource;
    // The chime and tips timers.
    TimerFactory makeTimer;
    std::function<void(const QUrl&)> openUrl;
    // The file dialog for the alert sound, given the sound chosen now: the
    // chosen path, or empty when cancelled.
    std::function<QString(QWidget* parent, const QString& current)> chooseSoundFile;
    // The sound server's outputs, for the output device box.
    std::function<std::unique_ptr<IOutputDevices>()> makeOutputs;
    // The folder dialog for the voice pack, given the folder chosen now.
    std::function<QString(QWidget* parent, const QString& current)> chooseVoiceFolder;
    std::shared_ptr<const IClock> clock;
    // Base address of the publisher's web server, without a trailing slash.
    QString serverBase;
    QString tipsCachePath;
};

FormServices realServices();

} // namespace hy
