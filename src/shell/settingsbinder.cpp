#include "shell/settingsbinder.h"

#include "core/settings/settingsstore.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QSlider>
#include <QTimeEdit>

SettingsBinder::SettingsBinder(hy::SettingsStore& store, QWidget& root)
    : QObject(&root)
    , m_store(store)
{
    const auto controls = root.findChildren<QWidget*>();
    for (QWidget* control : controls) {
        if (control->property(kProperty).isValid())
            bind(control);
    }
}

void SettingsBinder::bind(QWidget* control)
{
    const QString key = control->property(kProperty).toString();
    Q_ASSERT(hy::findSettingKey(key));
    const auto take = [this, key](const QString& value) { m_store.set(key, value); };
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        connect(box, &QCheckBox::toggled, this, [this, key](bool on) { m_store.setFlag(key, on); });
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            connect(combo, &QComboBox::editTextChanged, this, take);
        else
            connect(combo, &QComboBox::currentTextChanged, this, take);
    } else if (auto* picker = qobject_cast<QTimeEdit*>(control)) {
        connect(picker, &QTimeEdit::timeChanged, this,
                [take](const QTime& t) { take(t.toString(QStringLiteral("H:mm:ss"))); });
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        connect(slider, &QSlider::valueChanged, this, [take](int v) { take(QString::number(v)); });
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        connect(edit, &QLineEdit::textChanged, this, take);
    }
    m_store.watch(key, control, [this, control, key] { show(control, key); });
    show(control, key);
}

void SettingsBinder::show(QWidget* control, const QString& key)
{
    const QString value = m_store.value(key);
    if (auto* box = qobject_cast<QCheckBox*>(control)) {
        box->setChecked(m_store.flag(key));
    } else if (auto* combo = qobject_cast<QComboBox*>(control)) {
        if (combo->isEditable())
            combo->setEditText(value);
        else
            combo->setCurrentIndex(value.isEmpty() ? -1 : combo->findText(value));
    } else if (auto* picker = qobject_cast<QTimeEdit*>(control)) {
        picker->setTime(m_store.time(key));
    } else if (auto* slider = qobject_cast<QSlider*>(control)) {
        slider->setValue(m_store.number(key));
    } else if (auto* edit = qobject_cast<QLineEdit*>(control)) {
        if (edit->text() != value)
            edit->setText(value);
    }
}
