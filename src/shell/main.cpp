#include "platform/hotkey/globalhotkey.h"
#include "shell/application.h"
#include "shell/endings.h"
#include "shell/errorbox.h"
#include "shell/remote/launch.h"
#include "shell/remote/remoteclient.h"
#include "shell/remote/remotecontrol.h"
#include "shell/remote/singleinstance.h"
#include "shell/tunemain.h"
#include "shell/windowstate.h"

int main(int argc, char** argv)
{
    const QStringList arguments = hy::argumentsOf(argc, argv);
    const hy::CommandLine line = hy::parseCommandLine(arguments);
    if (!hy::needsWindow(line, arguments))
        return hy::runWithoutWindow(argc, argv);

    hy::preferXWayland(arguments);
    hy::Application app(argc, argv);
    hy::RemoteControl remote;
    hy::SingleInstance instance(remote);
    // The bus is reached while the window is laid out; whether another copy
    // runs is known before the settings are read or a hotkey is taken. A copy
    // that only hands its command over touches neither and shows nothing.
    instance.prepare();
    app.prepareWindows();
    const auto handOver = [&] {
        return hy::reportForwarded(hy::forwardCommand(line.command),
                                   QStringLiteral("禾音语音报时器已在运行，但找不到它"));
    };
    hy::CoreServices coreServices = hy::realCoreServices();
    coreServices.loadSettings = [&instance,
                                 load = coreServices.loadSettings](hy::SettingsStore& store) {
        return instance.claim() && load(store);
    };
    hy::FormServices formServices = hy::realFormServices();
    formServices.makeHotkey = [&instance, make = formServices.makeHotkey] {
        return instance.claim() ? make() : hy::createIdleHotkey();
    };
    try {
        hy::AppCore core(std::move(coreServices));
        TForm1 form(core, std::move(formServices));
        if (!instance.claim())
            return handOver();
        const Endings endings([&form] { form.close(); }, [&core] { core.save(); });
        remote.attach(&form);
        form.show();
        remote.run(line.command);
        app.exec();
    } catch (...) {
        hy::showErrorBox(nullptr, hy::currentExceptionText());
    }
    return 0;
}
