#pragma once

#include <QObject>

class QWidget;

namespace hy {
class SettingsStore;
}

// Ties the window's controls to the settings they show: a control whose
// property "settingKey" names a key shows that key's value, and what the user
// or the program puts in the control becomes the key's value at once. Check
// boxes, list and editable combo boxes, time pickers, sliders and line edits.
class SettingsBinder final : public QObject
{
    Q_OBJECT
public:
    static constexpr const char* kProperty = "settingKey";

    // Binds every control under `root` that names a key.
    SettingsBinder(hy::SettingsStore& store, QWidget& root);

    // Binds one more control, under the key it names.
    void bind(QWidget* control);

private:
    void show(QWidget* control, const QString& key);

    hy::SettingsStore& m_store;
};
