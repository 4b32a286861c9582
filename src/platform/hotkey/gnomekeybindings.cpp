#include "platform/hotkey/gnomekeybindings.h"

#include "core/hotkeyname.h"
#include "core/log.h"

#include <QRegularExpression>
#include <glib.h>
#include <libintl.h>

#include <algorithm>

namespace hy {
namespace {

using Result = ShortcutAnswer::Result;

// GNOME's own keybindings, each schema with the translation domain of its
// summaries.
struct KeybindingSchema
{
    const char* id;
    const char* domain;
};
const KeybindingSchema kGnomeSchemas[] = {
    {"org.gnome.desktop.wm.keybindings", "gsettings-desktop-schemas"},
    {"org.gnome.shell.keybindings", "gnome-shell"},
    {"org.gnome.mutter.keybindings", "mutter"},
    {"org.gnome.mutter.wayland.keybindings", "mutter"},
    {"org.gnome.settings-daemon.plugins.media-keys", "gnome-settings-daemon"},
};

QString bindingOf(int functionKey)
{
    return QStringLiteral("<Primary>F%1").arg(functionKey);
}

// In the user's language where GNOME has it translated, as its settings say it.
QString translated(const QString& summary, const char* domain)
{
    bind_textdomain_codeset(domain, "UTF-8");
    return QString::fromUtf8(dgettext(domain, summary.toUtf8().constData()));
}

QStringList accelerators(const QVariant& value)
{
    return value.typeId() == QMetaType::QString ? QStringList{value.toString()}
                                                : value.toStringList();
}

} // namespace

QString toggleCommand(const QString& program)
{
    // gsd-media-keys hands the command to GLib as a desktop entry's Exec
    // line: '%' starts a field code there (so it is doubled), and the line is
    // then split as a shell would.
    static const QRegularExpression plain(QStringLiteral("^[A-Za-z0-9_./+,:@=-]+$"));
    QString path = program;
    if (!plain.match(program).hasMatch()) {
        gchar* quoted = g_shell_quote(program.toUtf8().constData());
        path = QString::fromUtf8(quoted).replace(QLatin1Char('%'), QLatin1String("%%"));
        g_free(quoted);
    }
    return path + QStringLiteral(" --toggle");
}

std::optional<ShortcutAnswer> GnomeKeybindings::unavailable()
{
    QString problem;
    if (!m_settings.isLoaded())
        problem = QStringLiteral("无法载入 GNOME 的设置库 libgio：%1").arg(m_settings.error());
    else if (!m_settings.hasSchema(kMediaKeys) || !m_settings.hasSchema(kCustom))
        problem = QStringLiteral("此系统没有 GNOME 的自定义快捷键（gnome-settings-daemon）");
    if (problem.isEmpty())
        return std::nullopt;
    qCWarning(lcHotkey, "GNOME custom shortcuts cannot be had (%s)",
              m_settings.isLoaded() ? "no media-keys schema" : "no libgio");
    ShortcutAnswer failed;
    failed.message = problem;
    return failed;
}

QStringList GnomeKeybindings::paths()
{
    return m_settings.value(kMediaKeys, kList).toStringList();
}

CustomShortcut GnomeKeybindings::entry(const QString& path)
{
    const QVariantMap v = m_settings.values(kCustom, path);
    return {path, v.value(QStringLiteral("name")).toString(),
            v.value(QStringLiteral("command")).toString(),
            v.value(QStringLiteral("binding")).toString()};
}

std::optional<CustomShortcut> GnomeKeybindings::ours()
{
    if (!paths().contains(kOurPath))
        return std::nullopt;
    return entry(kOurPath);
}

std::optional<GnomeKeybindings::Holder> GnomeKeybindings::holderOf(int functionKey)
{
    for (const QString& path : paths()) {
        if (path == kOurPath)
            continue;
        const CustomShortcut other = entry(path);
        if (isCtrlFunctionKey(other.binding, functionKey))
            return Holder{other.name.isEmpty() ? path : other.name, true};
    }
    return gnomeHolderOf(functionKey);
}

std::optional<GnomeKeybindings::Holder> GnomeKeybindings::gnomeHolderOf(int functionKey)
{
    for (const KeybindingSchema& schema : kGnomeSchemas) {
        const QString id = QString::fromLatin1(schema.id);
        const QVariantMap all = m_settings.values(id);
        for (auto v = all.begin(); v != all.end(); ++v) {
            const QStringList keys = accelerators(v.value());
            if (std::none_of(keys.begin(), keys.end(),
                             [&](const QString& k) { return isCtrlFunctionKey(k, functionKey); }))
                continue;
            const QString summary = m_settings.summary(id, v.key());
            return Holder{summary.isEmpty() ? v.key() : translated(summary, schema.domain), false};
        }
    }
    return std::nullopt;
}

ShortcutAnswer GnomeKeybindings::answer(Result result, int functionKey,
                                        const std::optional<Holder>& holder)
{
    ShortcutAnswer a;
    a.result = result;
    a.ours = ours();
    if (holder) {
        a.holder = holder->name;
        a.message = (holder->custom ? QStringLiteral("Ctrl+F%1 已被 GNOME 的自定义快捷键“%2”占用")
                                    : QStringLiteral("Ctrl+F%1 已被 GNOME 的“%2”占用"))
                        .arg(QString::number(functionKey), holder->name);
        qCInfo(lcHotkey, "GNOME: Ctrl+F%d is taken by %s \"%s\"", functionKey,
               holder->custom ? "the custom shortcut" : "GNOME's setting", qPrintable(a.holder));
    }
    return a;
}

bool GnomeKeybindings::write(const QString& key, const QString& value)
{
    return m_settings.value(kCustom, key, kOurPath).toString() == value ||
           m_settings.setValue(kCustom, key, value, kOurPath);
}

ShortcutAnswer GnomeKeybindings::findOurs()
{
    if (auto failed = unavailable())
        return *failed;
    return answer(Result::Done);
}

ShortcutAnswer GnomeKeybindings::checkKey(int functionKey)
{
    if (auto failed = unavailable())
        return *failed;
    const auto holder = holderOf(functionKey);
    return answer(holder ? Result::Taken : Result::Done, functionKey, holder);
}

ShortcutAnswer GnomeKeybindings::bind(int functionKey, const QString& program)
{
    if (auto failed = unavailable())
        return *failed;
    if (const auto holder = holderOf(functionKey))
        return answer(Result::Taken, functionKey, holder);
    // The entry first, then its path in the list: the daemon, seeing the
    // path, finds the entry whole.
    const QString command = toggleCommand(program);
    bool ok = write(QStringLiteral("name"), kName.toString()) &&
              write(QStringLiteral("command"), command) &&
              write(QStringLiteral("binding"), bindingOf(functionKey));
    QStringList list = paths();
    if (ok && !list.contains(kOurPath))
        ok = m_settings.setValue(kMediaKeys, kList, list << kOurPath);
    m_settings.sync();
    if (!ok) {
        qCWarning(lcHotkey, "GNOME: the custom shortcuts cannot be written (locked?)");
        ShortcutAnswer failed = answer(Result::Failed);
        failed.message = QStringLiteral("无法修改 GNOME 的自定义快捷键（设置已被锁定）");
        return failed;
    }
    qCInfo(lcHotkey, "GNOME: custom shortcut %s on %s runs %s", kOurPath.data(),
           qPrintable(bindingOf(functionKey)), qPrintable(command));
    return answer(Result::Done);
}

ShortcutAnswer GnomeKeybindings::remove()
{
    if (auto failed = unavailable())
        return *failed;
    QStringList rest = paths();
    if (rest.removeAll(kOurPath)) {
        // A list back at its default is reset, so that dconf holds what it
        // held before ours was added.
        if (rest == m_settings.defaultValue(kMediaKeys, kList).toStringList())
            m_settings.reset(kMediaKeys, kList);
        else
            m_settings.setValue(kMediaKeys, kList, rest);
    }
    for (const char* key : {"name", "command", "binding"})
        m_settings.reset(kCustom, key, kOurPath);
    m_settings.sync();
    qCInfo(lcHotkey, "GNOME: custom shortcut %s removed", kOurPath.data());
    return answer(Result::Done);
}

} // namespace hy
