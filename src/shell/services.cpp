#include "shell/services.h"

#include "core/clock.h"
#include "core/paths.h"
#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "platform/hotkey/globalhotkey.h"
#include "platform/speech/pulseoutputs.h"
#include "platform/speech/pulseplayer.h"
#include "platform/tickthread.h"
#include "shell/sounddialog.h"

#include <QDesktopServices>

namespace hy {

FormServices realServices()
{
    FormServices s;
    const DataLocations where = dataLocations();
    const QString settingsPath = where.settingsFile;
    s.loadSettings = [where](ISettingsTarget& target) {
        provideDefaultSettings(where);
        return loadSettings(where.settingsFile, target);
    };
    s.saveSettings = [settingsPath](const ISettingsTarget& target) {
        return saveSettings(settingsPath, target);
    };
    s.loadClips = [](ClipTable& clips) { clips.load(); };
    s.makePlayer = [] { return std::make_unique<PulsePlayer>(); };
    s.makeHotkey = [] { return createGlobalHotkey(); };
    s.makeTickSource = [](std::function<void(quint64)> onTick) {
        return std::make_unique<TickThread>(std::move(onTick));
    };
    s.makeTimer = makeEventLoopTimer;
    s.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    s.chooseSoundFile = chooseSoundFile;
    s.makeOutputs = [] { return std::make_unique<PulseOutputs>(); };
    s.chooseVoiceFolder = chooseVoiceFolder;
    s.clock = std::make_shared<SystemClock>();
    s.serverBase = serverBaseUrl();
    s.tipsCachePath = where.tipsCache;
    return s;
}

} // namespace hy
