#include "shell/hotkeybinding.h"

#include "core/hotkeyname.h"
#include "core/notice.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/trayicon.h"

#include <QComboBox>
#include <QCoreApplication>
#include <QPlainTextEdit>

namespace {

using Status = hy::GlobalHotkey::Status;

const QString kKeyLinePrefix = QStringLiteral("6、启动或停止快捷键：");

QString desktopShortcutAdvice()
{
    return QStringLiteral(
               "可以改用桌面自己的快捷键：在桌面的键盘快捷键设置里把一个键设为运行命令 %1")
        .arg(HotkeyBinding::toggleCommand());
}

// No key works: none was bound, or the desktop did not say which.
bool noKeyWorks(const hy::GlobalHotkey& hotkey)
{
    return hotkey.status() == Status::Taken || hotkey.status() == Status::Unavailable ||
           (hotkey.status() == Status::Registered && hotkey.boundKey().isEmpty() &&
            !hotkey.problem().isEmpty());
}

} // namespace

HotkeyBinding::HotkeyBinding(std::unique_ptr<hy::GlobalHotkey> hotkey, QComboBox& keyBox,
                             QPlainTextEdit& help, TTrayIcon& tray, Hooks hooks)
    : m_hotkey(std::move(hotkey))
    , m_keyBox(keyBox)
    , m_help(help)
    , m_tray(tray)
    , m_hooks(std::move(hooks))
{
    connect(m_hotkey.get(), &hy::GlobalHotkey::pressed, this, m_hooks.pressed);
    connect(m_hotkey.get(), &hy::GlobalHotkey::statusChanged, this, &HotkeyBinding::report);
}

HotkeyBinding::~HotkeyBinding()
{
    release();
}

QString HotkeyBinding::toggleCommand()
{
    return QCoreApplication::applicationFilePath() + QStringLiteral(" --toggle");
}

void HotkeyBinding::bind()
{
    const int key = hy::hotkeyFunctionNumber(m_keyBox.currentText());
    if (key > 0)
        m_hotkey->registerKey(key);
    report(); // a backend may know its answer at once
}

void HotkeyBinding::rebind()
{
    const bool moveShortcut = m_hotkey->holdsDesktopShortcut();
    m_hotkey->unregisterKey();
    bind();
    if (moveShortcut)
        bindDesktopShortcut([this](const QString& problem) {
            if (!problem.isEmpty())
                m_tray.notify(problem);
        });
}

void HotkeyBinding::release()
{
    m_hotkey->unregisterKey();
}

void HotkeyBinding::bindDesktopShortcut(Done done)
{
    m_hotkey->bindDesktopShortcut(std::move(done));
}

void HotkeyBinding::unbindDesktopShortcut(Done done)
{
    m_hotkey->unbindDesktopShortcut(std::move(done));
}

QString HotkeyBinding::keyLine() const
{
    const int asked = hy::hotkeyFunctionNumber(m_keyBox.currentText());
    const QString bound = m_hotkey->boundKey();
    const QString key = QStringLiteral("Ctrl + F%1").arg(asked);
    QString line = key;
    if (m_hotkey->offersDesktopShortcut())
        line = QStringLiteral(
                   "%1 还不能用：GNOME 不让程序自己设置全局快捷键。可以在通知里选“设置快捷键”，"
                   "或运行 %2 --bind-desktop-shortcut，把它加为 GNOME 的自定义快捷键")
                   .arg(key, QCoreApplication::applicationFilePath());
    else if (m_hotkey->status() == Status::Taken && m_hotkey->suggestedKey() > 0)
        line =
            QStringLiteral("%1 是桌面自己的快捷键，按下不会到达本程序；可以改用空闲的 Ctrl + F%2："
                           "在“CTRL+”后选 F%2，或在通知里选“设置快捷键”")
                .arg(key)
                .arg(m_hotkey->suggestedKey());
    else if (m_hotkey->status() == Status::Taken)
        line = QStringLiteral("%1 不能用（%2）；请在“CTRL+”后选另一个键，或%3")
                   .arg(key, m_hotkey->problem(), desktopShortcutAdvice());
    else if (noKeyWorks(*m_hotkey))
        line = QStringLiteral("桌面没有提供，请在桌面的键盘快捷键设置里把一个键设为运行命令 %1")
                   .arg(toggleCommand());
    else if (m_hotkey->status() == Status::Pending)
        line += QStringLiteral("（等待桌面确认）");
    else if (!bound.isEmpty() && !hy::isCtrlFunctionKey(bound, asked))
        line = QStringLiteral("%1（由桌面设定）").arg(bound);
    return kKeyLinePrefix + line + QStringLiteral("；");
}

void HotkeyBinding::report()
{
    QString problem = m_hotkey->problem();
    const bool canSet = m_hotkey->offersDesktopShortcut() || m_hotkey->suggestedKey() > 0;
    if (noKeyWorks(*m_hotkey) && !problem.isEmpty() && !canSet)
        problem += QStringLiteral("。") + desktopShortcutAdvice();
    m_keyBox.setToolTip(problem);

    QStringList lines = m_help.toPlainText().split(QLatin1Char('\n'));
    for (QString& line : lines) {
        if (line.startsWith(kKeyLinePrefix))
            line = keyLine();
    }
    const QString text = lines.join(QLatin1Char('\n'));
    if (text != m_help.toPlainText())
        m_help.setPlainText(text);

    if (m_hotkey->offersDesktopShortcut() && !m_offeredShortcut) {
        offer();
    } else if (m_hotkey->suggestedKey() > 0 && m_hotkey->suggestedKey() != m_offeredKey) {
        offerTaken();
    } else if (!problem.isEmpty() && problem != m_reportedProblem && !canSet) {
        m_tray.notify(problem);
    }
    m_reportedProblem = problem;
}

// A notice with the button that sets the key; with no notices the tray
// icon says what is wrong.
void HotkeyBinding::notice(const hy::Notice& notice, std::function<void()> setKey)
{
    if (!m_notifier && m_hooks.makeNotifier)
        m_notifier = m_hooks.makeNotifier();
    if (!m_notifier) {
        m_tray.notify(m_hotkey->problem());
        return;
    }
    disconnect(m_notifier.get(), nullptr, this, nullptr);
    connect(m_notifier.get(), &hy::INotifier::actionInvoked, this,
            [setKey = std::move(setKey)](hy::NoticeAction a) {
                if (a == hy::NoticeAction::SetKey)
                    setKey();
            });
    m_notifier->notify(notice);
}

// GNOME: the key becomes a custom shortcut of GNOME's own, on the user's yes.
void HotkeyBinding::offer()
{
    m_offeredShortcut = true;
    const int key = hy::hotkeyFunctionNumber(m_keyBox.currentText());
    notice(
        {QStringLiteral("把 Ctrl+F%1 设为启动/停止倒计时的快捷键？").arg(key),
         QStringLiteral("GNOME 不让程序自己设置全局快捷键。选“设置快捷键”，就在 GNOME 的键盘设置里"
                        "添加一个自定义快捷键 Ctrl+F%1，运行 %2；以后可以在那里修改或删除它。")
             .arg(key)
             .arg(toggleCommand()),
         {hy::NoticeAction::SetKey}},
        [this] {
            bindDesktopShortcut([this](const QString& problem) {
                if (!problem.isEmpty())
                    m_tray.notify(problem);
            });
        });
}

// KDE: a free key in place of one the desktop keeps for itself.
void HotkeyBinding::offerTaken()
{
    const int free = m_hotkey->suggestedKey();
    m_offeredKey = free;
    notice({QStringLiteral("改用 Ctrl+F%1 启动/停止倒计时？").arg(free),
            m_hotkey->problem() + QStringLiteral("。选“设置快捷键”，就改用 Ctrl+F%1。").arg(free),
            {hy::NoticeAction::SetKey}},
           [this, free] {
               if (m_hooks.chooseKey)
                   m_hooks.chooseKey(free);
           });
}
