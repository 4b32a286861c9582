#include "shell/settingsbinder.h"

#include <QCheckBox>
#include <QComboBox>
#include <QTimeEdit>

SettingsBinder::SettingsBinder(QWidget& window, WindowHooks hooks)
    : m_window(window)
    , m_hooks(std::move(hooks))
{}

template <typename W>
W* SettingsBinder::control(const QString& key) const
{
    const hy::SettingKey* k = hy::findSettingKey(key);
    return k ? m_window.findChild<W*>(QLatin1String(k->control)) : nullptr;
}

template <typename W>
W* SettingsBinder::controlOfKind(hy::SettingKind kind) const
{
    for (const hy::SettingKey& k : hy::settingKeys()) {
        if (k.kind == kind)
            return m_window.findChild<W*>(QLatin1String(k.control));
    }
    return nullptr;
}

QStringList SettingsBinder::entries(const QString& key) const
{
    QStringList items;
    if (const auto* box = control<QComboBox>(key)) {
        for (int i = 0; i < box->count(); ++i)
            items << box->itemText(i);
    }
    return items;
}

void SettingsBinder::selectEntry(const QString& key, int index)
{
    if (auto* box = control<QComboBox>(key))
        box->setCurrentIndex(index);
}

void SettingsBinder::setText(const QString& key, const QString& text)
{
    if (auto* box = control<QComboBox>(key))
        box->setEditText(text);
}

void SettingsBinder::setChecked(const QString& key, bool on)
{
    if (auto* box = control<QCheckBox>(key))
        box->setChecked(on);
}

void SettingsBinder::applyCycleCounterRule()
{
    m_hooks.applyCycleCounterRule();
}

void SettingsBinder::setStartTime(const QTime& time)
{
    if (auto* picker = controlOfKind<QTimeEdit>(hy::SettingKind::Time))
        picker->setTime(time);
}

void SettingsBinder::restoreWaveFile(const QString& storedPath)
{
    m_hooks.restoreWaveFile(storedPath);
}

QString SettingsBinder::text(const QString& key) const
{
    const auto* box = control<QComboBox>(key);
    return box ? box->currentText() : QString();
}

bool SettingsBinder::isChecked(const QString& key) const
{
    const auto* box = control<QCheckBox>(key);
    return box && box->isChecked();
}

QTime SettingsBinder::startTime() const
{
    const auto* picker = controlOfKind<QTimeEdit>(hy::SettingKind::Time);
    return picker ? picker->time() : QTime();
}

QString SettingsBinder::waveFile() const
{
    return m_hooks.waveFile();
}

void SettingsBinder::restoreServerTime(const hy::ServerTimeChoice& choice)
{
    if (m_hooks.restoreServerTime)
        m_hooks.restoreServerTime(choice);
}

std::optional<hy::ServerTimeChoice> SettingsBinder::serverTime() const
{
    if (m_hooks.serverTime)
        return m_hooks.serverTime();
    return std::nullopt;
}
