#include "platform/speech/pulseapi.h"

#include "core/log.h"

#include <QLibrary>
#include <QStringList>

namespace hy {
namespace {

struct Loaded
{
    PulseApi api;
    QString error;
    bool ok = false;
};

const Loaded& loaded()
{
    // Once per process; a library that is not there stays missing until the
    // program starts again.
    static const Loaded l = [] {
        Loaded r;
        QLibrary library;
        library.setFileNameAndVersion(QStringLiteral("pulse"), 0);
        if (!library.load()) {
            r.error = library.errorString();
            qCWarning(lcSound, "cannot load PulseAudio's client library: %s", qPrintable(r.error));
            return r;
        }
        QStringList missing;
#define HY_RESOLVE(fn)                                                                             \
    r.api.fn = reinterpret_cast<decltype(&::pa_##fn)>(library.resolve("pa_" #fn));                 \
    if (!r.api.fn)                                                                                 \
        missing << QStringLiteral("pa_" #fn);
        HY_PULSE_FUNCTIONS(HY_RESOLVE)
#undef HY_RESOLVE
        if (!missing.isEmpty()) {
            r.error = QStringLiteral("libpulse has no %1").arg(missing.join(QLatin1String(", ")));
            qCWarning(lcSound, "%s", qPrintable(r.error));
            return r;
        }
        // Never unloaded: the library keeps threads and callbacks of ours.
        r.ok = true;
        return r;
    }();
    return l;
}

} // namespace

const PulseApi* loadPulse()
{
    return loaded().ok ? &loaded().api : nullptr;
}

QString pulseLoadError()
{
    return loaded().error;
}

const PulseApi& pa()
{
    return loaded().api;
}

} // namespace hy
