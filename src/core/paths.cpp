#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>

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

namespace {

QString executableDir()
{
    // Without an application object Qt cannot tell; the kernel always can.
    return QCoreApplication::instance()
               ? QCoreApplication::applicationDirPath()
               : QFileInfo(QStringLiteral("/proc/self/exe")).canonicalPath();
}

QString xdgHome(const char* variable, const char* fallbackUnderHome)
{
    const QString set = qEnvironmentVariable(variable);
    if (!set.isEmpty() && QDir::isAbsolutePath(set))
        return set;
    return QDir::home().filePath(QLatin1String(fallbackUnderHome));
}

} // namespace

QString appFilePath(const QString& name)
{
    return QDir(executableDir()).filePath(name);
}

DataLocations dataLocationsFor(const QString& exeDir, bool installed, const QString& configHome,
                               const QString& cacheHome, const QString& shippedSettings)
{
    DataLocations where;
    where.portable = !installed;
    if (where.portable) {
        where.settingsFile = QDir(exeDir).filePath(QStringLiteral("hytunetm.db"));
        where.tipsCache = QDir(exeDir).filePath(QStringLiteral("tipsupd.dat"));
    } else {
        where.settingsFile = QDir(configHome).filePath(QStringLiteral("hytune/hytunetm.db"));
        where.tipsCache = QDir(cacheHome).filePath(QStringLiteral("hytune/tipsupd.dat"));
        where.shippedSettings = shippedSettings;
    }
    return where;
}

bool isInstalledCopy(bool shippedFilesBeside, bool folderWritable, bool settingsBeside)
{
    // A portable copy on a read-only medium still has its settings beside it.
    return shippedFilesBeside || (!folderWritable && !settingsBeside);
}

DataLocations dataLocations()
{
    // An installed program has its shipped files in ../share/hytune beside
    // its bin directory, wherever the prefix is.
    const QString exeDir = executableDir();
    const QString shipped =
        QDir::cleanPath(exeDir + QStringLiteral("/../share/hytune/hytunetm.db"));
    const bool installed =
        isInstalledCopy(QFileInfo(shipped).isFile(), QFileInfo(exeDir).isWritable(),
                        QFileInfo(QDir(exeDir).filePath(QStringLiteral("hytunetm.db"))).isFile());
    return dataLocationsFor(exeDir, installed, xdgHome("XDG_CONFIG_HOME", ".config"),
                            xdgHome("XDG_CACHE_HOME", ".cache"), shipped);
}

bool provideDefaultSettings(const DataLocations& where)
{
    if (where.portable || where.shippedSettings.isEmpty() || QFileInfo::exists(where.settingsFile))
        return false;
    if (!QFileInfo(where.shippedSettings).isFile())
        return false;
    QDir().mkpath(QFileInfo(where.settingsFile).absolutePath());
    QDir().mkpath(QFileInfo(where.tipsCache).absolutePath());
    return QFile::copy(where.shippedSettings, where.settingsFile) &&
           QFile::setPermissions(where.settingsFile, QFile::ReadOwner | QFile::WriteOwner |
                                                         QFile::ReadGroup | QFile::ReadOther);
}

} // namespace hy
