#pragma once

#include "core/settings/settings.h"
#include "core/settings/soundsettings.h"

// A settings target with no controls of Common and one section of its own.
struct SectionTarget final : hy::ISettingsTarget, hy::ISettingsSection
{
    hy::SoundSettings sound;
    bool restored = false;

    QStringList entries(const QString&) const override { return {}; }
    void selectEntry(const QString&, int) override {}
    void setText(const QString&, const QString&) override {}
    void setChecked(const QString&, bool) override {}
    void applyCycleCounterRule() override {}
    void setStartTime(const QTime&) override {}
    void restoreWaveFile(const QString&) override {}
    QString text(const QString&) const override { return {}; }
    bool isChecked(const QString&) const override { return false; }
    QTime startTime() const override { return QTime(5, 5, 5); }
    QString waveFile() const override { return {}; }
    std::vector<hy::ISettingsSection*> extraSections() const override
    {
        return {const_cast<SectionTarget*>(this)};
    }
    QString sectionName() const override { return QStringLiteral("Sound"); }
    void restore(const Lookup& stored) override
    {
        sound = hy::readSoundSettings(stored);
        restored = true;
    }
    Values values() const override { return hy::soundSettingsValues(sound); }
};
