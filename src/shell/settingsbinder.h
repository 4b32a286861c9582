#pragma once

#include "core/settings/settings.h"

#include <functional>

class QWidget;

// Moves settings between the file and the window's controls. Each key names
// its control in the key table; the binder finds it among the window's
// children by that name. The alert sound's path and the cycle counter's rule
// belong to the window, which hands them in, and so do the 对时 choices.
class SettingsBinder final : public hy::ISettingsTarget
{
public:
    struct WindowHooks
    {
        std::function<void()> applyCycleCounterRule;
        std::function<void(const QString& storedPath)> restoreWaveFile;
        std::function<QString()> waveFile;
        std::function<void(const hy::ServerTimeChoice&)> restoreServerTime;
        std::function<hy::ServerTimeChoice()> serverTime;
    };

    SettingsBinder(QWidget& window, WindowHooks hooks);

    QStringList entries(const QString& key) const override;
    void selectEntry(const QString& key, int index) override;
    void setText(const QString& key, const QString& text) override;
    void setChecked(const QString& key, bool on) override;
    void applyCycleCounterRule() override;
    void setStartTime(const QTime& time) override;
    void restoreWaveFile(const QString& storedPath) override;
    QString text(const QString& key) const override;
    bool isChecked(const QString& key) const override;
    QTime startTime() const override;
    QString waveFile() const override;
    void restoreServerTime(const hy::ServerTimeChoice& choice) override;
    std::optional<hy::ServerTimeChoice> serverTime() const override;

private:
    template <typename W>
    W* control(const QString& key) const;
    template <typename W>
    W* controlOfKind(hy::SettingKind kind) const;

    QWidget& m_window;
    WindowHooks m_hooks;
};
