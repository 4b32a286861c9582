#include "paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace hy {

QString serverBaseUrl()
{
    QString base = qEnvironmentVariable("HYTUNE_SERVER").trimmed();
    if (base.isEmpty())
        base = QStringLiteral(HYTUNE_SERVER_URL);
    while (base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base;
}

QString appFilePath(const QString& name)
{
    // Without an application object Qt cannot tell; the kernel always can.
    const QString dir = QCoreApplication::instance()
                            ? QCoreApplication::applicationDirPath()
                            : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
    return QDir(dir).filePath(name);
}

} // namespace hy
