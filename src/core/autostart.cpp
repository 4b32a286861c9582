#include "core/autostart.h"

#include "core/log.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <QStandardPaths>
#include <QStringList>

#include <algorithm>

namespace hy {
namespace {

const QString kEntryName = QStringLiteral("example.heyinsoft.hytune.desktop");
const QString kGroup = QStringLiteral("[Desktop Entry]");

// The value of `key` in the group [Desktop Entry] of `text`; a null string
// when it is not there.
QString entryValue(const QString& text, const QString& key)
{
    bool inGroup = false;
    for (const QString& raw : text.split(u'\n')) {
        const QString line = raw.trimmed();
        if (line.startsWith(u'[')) {
            inGroup = line == kGroup;
            continue;
        }
        const qsizetype eq = line.indexOf(u'=');
        if (inGroup && eq > 0 && line.left(eq).trimmed() == key)
            return line.mid(eq + 1).trimmed();
    }
    return {};
}

} // namespace

QString autostartEntryPath()
{
    return QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
           QStringLiteral("/autostart/") + kEntryName;
}

bool isAutostartEnabled()
{
    QFile file(autostartEntryPath());
    if (!file.open(QIODevice::ReadOnly))
        return false;
    const QString text = QString::fromUtf8(file.readAll());
    return entryValue(text, QStringLiteral("Hidden")) != QLatin1String("true") &&
           entryValue(text, QStringLiteral("X-GNOME-Autostart-enabled")) != QLatin1String("false");
}

QString execArgument(const QString& argument)
{
    // Characters that make an argument need quotes; within quotes the four
    // of kEscaped take a backslash.
    static const QString kReserved = QStringLiteral(" \t\n\"'\\><~|&;$*?#()`");
    static const QString kEscaped = QStringLiteral("\"`$\\");
    QString value = argument;
    if (value.isEmpty() ||
        std::any_of(value.cbegin(), value.cend(), [](QChar c) { return kReserved.contains(c); })) {
        QString quoted;
        for (QChar c : argument) {
            if (kEscaped.contains(c))
                quoted += u'\\';
            quoted += c;
        }
        value = u'"' + quoted + u'"';
    }
    value.replace(u'%', QStringLiteral("%%")); // not a field code
    // The string escapes of every value, undone before the quotes are read.
    value.replace(u'\\', QStringLiteral("\\\\"));
    value.replace(u'\n', QStringLiteral("\\n"));
    value.replace(u'\t', QStringLiteral("\\t"));
    value.replace(u'\r', QStringLiteral("\\r"));
    return value;
}

QByteArray autostartEntry(const QString& program)
{
    const QStringList lines{
        kGroup,
        QStringLiteral("Type=Application"),
        QStringLiteral("Name=禾音语音报时器"),
        QStringLiteral("Comment=登录时启动禾音语音报时器，只在通知区域显示图标"),
        QStringLiteral("Exec=%1 %2").arg(execArgument(program), QLatin1String(kHiddenOption)),
        QStringLiteral("Icon=example.heyinsoft.hytune"),
        QStringLiteral("Terminal=false"),
    };
    return (lines.join(u'\n') + u'\n').toUtf8();
}

QString setAutostart(bool on, const QString& program)
{
    const QString path = autostartEntryPath();
    if (!on) {
        QFile file(path);
        if (!file.exists() || file.remove())
            return {};
        qCWarning(lcApp) << "Cannot remove the autostart entry" << path << ":"
                         << file.errorString();
        return QStringLiteral("无法删除自动启动文件 %1：%2").arg(path, file.errorString());
    }
    const QString folder = QFileInfo(path).absolutePath();
    if (!QDir().mkpath(folder)) {
        qCWarning(lcApp) << "Cannot create the autostart folder" << folder;
        return QStringLiteral("无法创建文件夹 %1").arg(folder);
    }
    QSaveFile file(path);
    if (file.open(QIODevice::WriteOnly) && file.write(autostartEntry(program)) >= 0 &&
        file.commit())
        return {};
    qCWarning(lcApp) << "Cannot write the autostart entry" << path << ":" << file.errorString();
    return QStringLiteral("无法写入自动启动文件 %1：%2").arg(path, file.errorString());
}

} // namespace hy
