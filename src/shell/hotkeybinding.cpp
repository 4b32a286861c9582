#include "shell/hotkeybinding.h"

#include "core/hotkeyname.h"
#include "platform/hotkey/globalhotkey.h"
#include "shell/trayicon.h"

#include <QComboBox>

HotkeyBinding::HotkeyBinding(std::unique_ptr<hy::GlobalHotkey> hotkey, QComboBox& keyBox,
                             TTrayIcon& tray, std::function<void()> onPress)
    : m_hotkey(std::move(hotkey))
    , m_keyBox(keyBox)
    , m_tray(tray)
{
    connect(m_hotkey.get(), &hy::GlobalHotkey::pressed, this, std::move(onPress));
    connect(m_hotkey.get(), &hy::GlobalHotkey::statusChanged, this, &HotkeyBinding::report);
}

HotkeyBinding::~HotkeyBinding()
{
    release();
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

void HotkeyBinding::report()
{
    const QString problem = m_hotkey->problem();
    m_keyBox.setToolTip(problem);
    if (!problem.isEmpty() && problem != m_reportedProblem)
        m_tray.notify(problem);
    m_reportedProblem = problem;
}
