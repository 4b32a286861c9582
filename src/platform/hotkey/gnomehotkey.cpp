#include "platform/hotkey/gnomehotkey.h"

#include "core/hotkeyname.h"
#include "platform/hotkey/gnomeshortcuts.h"

#include <QRegularExpression>

namespace hy {

QString readableBinding(const QString& binding)
{
    static const QRegularExpression modifier(QStringLiteral("<(\\w+)>"));
    QString text;
    qsizetype end = 0;
    for (const auto& m : modifier.globalMatch(binding)) {
        const QString name = m.captured(1).toLower();
        text += name == QLatin1String("primary") || name == QLatin1String("control") ||
                        name == QLatin1String("ctrl") || name == QLatin1String("ctl")
                    ? QStringLiteral("Ctrl+")
                    : m.captured(1).left(1).toUpper() + m.captured(1).mid(1) + QLatin1Char('+');
        end = m.capturedEnd();
    }
    const QString key = binding.mid(end);
    return text + (key.size() == 1 ? key.toUpper() : key);
}

GnomeHotkey::GnomeHotkey(const QDBusConnection& bus, ShortcutsFactory shortcuts,
                         PortalFactory portal, QString program, QObject* parent)
    : GlobalHotkey(parent)
    , m_bus(bus)
    , m_makeShortcuts(std::move(shortcuts))
    , m_makePortal(std::move(portal))
    , m_program(std::move(program))
{}

GnomeHotkey::~GnomeHotkey() = default;

DesktopShortcuts& GnomeHotkey::shortcuts()
{
    if (!m_shortcuts)
        m_shortcuts = m_makeShortcuts();
    return *m_shortcuts;
}

void GnomeHotkey::registerKey(int functionKey)
{
    m_key = functionKey;
    switch (m_mode) {
    case Mode::Unknown:
        m_mode = Mode::Asking;
        setState(Status::Pending);
        askGnomeWithoutShortcutPortal(m_bus, this, [this](bool custom) { decided(custom); });
        break;
    case Mode::Asking:
        break; // decided() registers the key asked for last
    case Mode::Custom:
        lookUp();
        break;
    case Mode::Portal:
        m_portal->registerKey(functionKey);
        break;
    }
}

void GnomeHotkey::unregisterKey()
{
    m_key = 0;
    if (m_portal)
        m_portal->unregisterKey();
    else
        setState(Status::Idle);
}

void GnomeHotkey::decided(bool customShortcuts)
{
    m_mode = customShortcuts ? Mode::Custom : Mode::Portal;
    if (!customShortcuts) {
        m_portal = m_makePortal();
        connect(m_portal.get(), &GlobalHotkey::pressed, this, &GlobalHotkey::pressed);
        connect(m_portal.get(), &GlobalHotkey::statusChanged, this, [this] {
            setState(m_portal->status(), m_portal->problem(), m_portal->boundKey(),
                     m_portal->suggestedKey());
        });
    }
    if (m_key > 0)
        registerKey(m_key);
    for (auto& [bind, done] : std::exchange(m_waiting, {})) {
        if (bind)
            bindDesktopShortcut(std::move(done));
        else
            unbindDesktopShortcut(std::move(done));
    }
}

void GnomeHotkey::lookUp()
{
    setState(Status::Pending);
    shortcuts().findOurs([this](const ShortcutAnswer& a) { take(a); });
}

void GnomeHotkey::take(const ShortcutAnswer& answer)
{
    m_failed = answer.result == ShortcutAnswer::Result::Failed;
    if (!m_failed)
        m_ours = answer.ours;
    if (m_key == 0)
        return;
    if (m_failed) {
        setState(Status::Unavailable, answer.message);
    } else if (!m_ours) {
        setState(Status::Unavailable,
                 QStringLiteral("GNOME 不让程序自己设置全局快捷键，Ctrl+F%1 还没有加到 GNOME "
                                "的自定义快捷键里")
                     .arg(m_key));
    } else {
        // The user may have changed its key in GNOME's settings: that key
        // works, whatever the key box says.
        const QString bound = readableBinding(m_ours->binding);
        setState(Status::Registered,
                 isCtrlFunctionKey(bound, m_key)
                     ? QString()
                     : QStringLiteral("启动/停止倒计时的快捷键是 GNOME 设置里的 %1，而不是 "
                                      "Ctrl+F%2：请按 %1")
                           .arg(bound)
                           .arg(m_key),
                 bound);
    }
}

bool GnomeHotkey::offersDesktopShortcut() const
{
    return m_mode == Mode::Custom && !m_failed && !m_ours && status() != Status::Pending;
}

void GnomeHotkey::bindDesktopShortcut(Done done)
{
    if (m_mode == Mode::Unknown || m_mode == Mode::Asking) {
        m_waiting.emplace_back(true, std::move(done));
        return;
    }
    if (m_mode != Mode::Custom || m_key == 0) {
        GlobalHotkey::bindDesktopShortcut(std::move(done));
        return;
    }
    shortcuts().bind(m_key, m_program, [this, done = std::move(done)](const ShortcutAnswer& a) {
        if (a.result == ShortcutAnswer::Result::Done) {
            take(a);
        } else if (a.result == ShortcutAnswer::Result::Taken && m_key > 0) {
            setState(Status::Taken, a.message);
        }
        done(a.result == ShortcutAnswer::Result::Done ? QString() : a.message);
    });
}

void GnomeHotkey::unbindDesktopShortcut(Done done)
{
    if (m_mode == Mode::Unknown || m_mode == Mode::Asking) {
        m_waiting.emplace_back(false, std::move(done));
        return;
    }
    if (m_mode != Mode::Custom) {
        GlobalHotkey::unbindDesktopShortcut(std::move(done));
        return;
    }
    shortcuts().remove([this, done = std::move(done)](const ShortcutAnswer& a) {
        if (a.result == ShortcutAnswer::Result::Done)
            take(a);
        done(a.result == ShortcutAnswer::Result::Done ? QString() : a.message);
    });
}

} // namespace hy
