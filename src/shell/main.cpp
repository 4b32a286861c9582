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
    // The bus is reached while Qt's texts and the fonts are set up; whether
    // another copy runs is known before the settings, the speech or the
    // window are built. A copy that only hands its command over builds none
    // of them and shows nothing.
    instance.prepare();
    app.prepareWindows();
    if (!instance.claim())
        return hy::reportForwarded(hy::forwardLine(line),
                                   QStringLiteral("禾音语音报时器已在运行，但找不到它"));
    try {
        hy::AppCore core(hy::realCoreServices());
        TForm1 form(core, hy::realFormServices());
        const Endings endings([&form] { form.close(); }, [&core] { core.save(); });
        remote.attach(&form);
        if (line.hidden)
            form.startInTray();
        else
            form.show();
        hy::runLine(remote, line);
        app.exec();
    } catch (...) {
        hy::showErrorBox(nullptr, hy::currentExceptionText());
    }
    return 0;
}
