#include "shell/services.h"

#include "core/clock.h"
#include "core/paths.h"
#include "core/settings/settings.h"
#include "core/speech/cliptable.h"
#include "platform/hotkey/globalhotkey.h"
#include "platform/notify/desktopnotifier.h"
#include "platform/speech/pulseoutputs.h"
#include "platform/speech/pulseplayer.h"
#include "platform/tickthread.h"
#include "shell/sounddialog.h"

#include <QDesktopServices>

namespace hy {

CoreServices realCoreServices()
{
    CoreServices s;
    const DataLocations where = dataLocations();
    s.loadSettings = [where](SettingsStore& store) {
        provideDefaultSettings(where);
        return loadSettings(where.settingsFile, store);
    };
    s.saveSettings = [path = where.settingsFile](SettingsStore& store) {
        return saveSettings(path, store);
    };
    s.loadClips = [](ClipTable& clips) { clips.load(); };
    s.makePlayer = [] { return std::make_unique<PulsePlayer>(); };
    s.makeTickSource = [](std::function<void(quint64)> onTick) {
        return std::make_unique<TickThread>(std::move(onTick));
    };
    s.makeTimer = makeEventLoopTimer;
    s.makeOutputs = [] { return std::make_unique<PulseOutputs>(); };
    s.makeNotifier = [] { return std::make_unique<DesktopNotifier>(); };
    s.clock = std::make_shared<SystemClock>();
    return s;
}

FormServices realFormServices()
{
    FormServices s;
    s.makeHotkey = [] { return createGlobalHotkey(); };
    s.makeNotifier = [] { return std::make_unique<DesktopNotifier>(); };
    s.makeTimer = makeEventLoopTimer;
    s.openUrl = [](const QUrl& url) { QDesktopServices::openUrl(url); };
    s.chooseSoundFile = chooseSoundFile;
    s.chooseVoiceFolder = chooseVoiceFolder;
    s.serverBase = serverBaseUrl();
    s.tipsCachePath = dataLocations().tipsCache;
    return s;
}

} // namespace hy
