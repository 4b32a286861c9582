#include "core/network.h"

#include "core/log.h"
#include "core/runtimelibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

#include <dlfcn.h>

namespace hy {
namespace {

constexpr char kEntry[] = "hytune_network";
using Entry = INetwork*();

INetwork* load(QString* why)
{
    // A program or test linked with the module has it loaded already.
    if (auto* entry = reinterpret_cast<Entry*>(::dlsym(RTLD_DEFAULT, kEntry)))
        return entry();
    const QString dir =
        QCoreApplication::instance()
            ? QCoreApplication::applicationDirPath()
            : QFileInfo(QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget()).path();
    QStringList errors;
    // Beside the program in a build or an unpacked folder, else where it is installed.
    for (const QString& folder : {dir, dir + QStringLiteral("/" HYTUNE_NET_DIR)}) {
        RuntimeLibrary module(QDir::cleanPath(folder + QStringLiteral("/hytune-net")), -1);
        Entry* entry = nullptr;
        module.resolve(entry, kEntry);
        if (module.isUsable())
            return entry();
        errors << module.error();
    }
    *why =
        QStringLiteral("cannot load the network module: %1").arg(errors.join(QLatin1String("; ")));
    qCWarning(lcApp, "%s", qPrintable(*why));
    return nullptr;
}

} // namespace

INetwork* network(QString* error)
{
    static QString why;
    static INetwork* const loaded = load(&why);
    if (error)
        *error = why;
    return loaded;
}

} // namespace hy
