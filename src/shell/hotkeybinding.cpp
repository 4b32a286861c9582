#include "shell/hotkeybinding.h"

#include "core/hotkeyname.h"
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
                             QPlainTextEdit& help, TTrayIcon& tray, std::function<void()> onPress)
    : m_hotkey(std::move(hotkey))
    , m_keyBox(keyBox)
    , m_help(help)
    , m_tray(tray)
{
    connect(m_hotkey.get(), &hy::GlobalHotkey::pressed, this, std::move(onPress));
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
    m_hotkey->unregisterKey();
    bind();
}

void HotkeyBinding::release()
{
    m_hotkey->unregisterKey();
}

QString HotkeyBinding::keyLine() const
{
    const int asked = hy::hotkeyFunctionNumber(m_keyBox.currentText());
    const QString bound = m_hotkey->boundKey();
    QString key = QStringLiteral("Ctrl + F%1").arg(asked);
    if (noKeyWorks(*m_hotkey))
        key = QStringLiteral("桌面没有提供，请在桌面的键盘快捷键设置里把一个键设为运行命令 %1")
                  .arg(toggleCommand());
    else if (m_hotkey->status() == Status::Pending)
        key += QStringLiteral("（等待桌面确认）");
    else if (!bound.isEmpty() && !hy::isCtrlFunctionKey(bound, asked))
        key = QStringLiteral("%1（由桌面设定）").arg(bound);
    return kKeyLinePrefix + key + QStringLiteral("；");
}

void HotkeyBinding::report()
{
    QString problem = m_hotkey->problem();
    if (noKeyWorks(*m_hotkey) && !problem.isEmpty())
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

    if (!problem.isEmpty() && problem != m_reportedProblem)
        m_tray.notify(problem);
    m_reportedProblem = problem;
}
