#include "platform/speech/pulseapi.h"

#include "core/log.h"
#include "core/runtimelibrary.h"

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
        RuntimeLibrary library(QStringLiteral("pulse"), 0);
#define HY_RESOLVE(fn) library.resolve(r.api.fn, "pa_" #fn);
        HY_PULSE_FUNCTIONS(HY_RESOLVE)
#undef HY_RESOLVE
        r.ok = library.isUsable();
        if (!r.ok) {
            r.error = library.error();
            qCWarning(lcSound, "cannot use PulseAudio's client library: %s", qPrintable(r.error));
        }
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
