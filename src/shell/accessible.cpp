#include "shell/accessible.h"

#include <QAccessibleWidget>
#include <QComboBox>
#include <QLabel>

namespace hy {
namespace {

// A control announced by its own accessible name (Qt on Linux names a combo
// box and a label by what they show: a box showing "10" would be announced
// as "10"), with what it shows as its text and value. Without a name of its
// own it is announced by what it shows, as Qt does.
class ShownText final : public QAccessibleWidget, public QAccessibleTextInterface
{
public:
    ShownText(QWidget* w, QAccessible::Role role)
        : QAccessibleWidget(w, role)
    {}

    void* interface_cast(QAccessible::InterfaceType t) override
    {
        if (t == QAccessible::TextInterface)
            return static_cast<QAccessibleTextInterface*>(this);
        return QAccessibleWidget::interface_cast(t);
    }
    QString text(QAccessible::Text t) const override
    {
        if (t == QAccessible::Name && !widget()->accessibleName().isEmpty())
            return widget()->accessibleName();
        if (t == QAccessible::Name || t == QAccessible::Value)
            return shown();
        return QAccessibleWidget::text(t);
    }
    // A label names the box it stands before.
    QList<QPair<QAccessibleInterface*, QAccessible::Relation>>
    relations(QAccessible::Relation match) const override
    {
        auto found = QAccessibleWidget::relations(match);
        const auto* label = qobject_cast<const QLabel*>(widget());
        if (label && label->buddy() && (match & QAccessible::Labelled))
            found.append(
                {QAccessible::queryAccessibleInterface(label->buddy()), QAccessible::Labelled});
        return found;
    }

    // QAccessibleTextInterface: the shown text, read only.
    QString text(int start, int end) const override { return shown().mid(start, end - start); }
    int characterCount() const override { return int(shown().size()); }
    int cursorPosition() const override { return 0; }
    void setCursorPosition(int) override {}
    int selectionCount() const override { return 0; }
    void selection(int, int* start, int* end) const override { *start = *end = 0; }
    void addSelection(int, int) override {}
    void removeSelection(int) override {}
    void setSelection(int, int, int) override {}
    QString attributes(int, int* start, int* end) const override
    {
        *start = 0;
        *end = characterCount();
        return {};
    }
    QRect characterRect(int) const override { return {}; }
    int offsetAtPoint(const QPoint&) const override { return -1; }
    void scrollToSubstring(int, int) override {}

private:
    QString shown() const
    {
        if (const auto* label = qobject_cast<const QLabel*>(widget()))
            return label->text();
        return static_cast<const QComboBox*>(widget())->currentText();
    }
};

QAccessibleInterface* shownTexts(const QString& className, QObject* object)
{
    // Asked for while the control is being built, before it has its name.
    auto* w = qobject_cast<QWidget*>(object);
    if (className == QLatin1String("QComboBox") && w)
        return new ShownText(w, QAccessible::ComboBox);
    if (className == QLatin1String("QLabel") && w)
        return new ShownText(w, QAccessible::StaticText);
    return nullptr;
}

} // namespace

void installAccessibleNames()
{
    static const bool installed = [] {
        QAccessible::installFactory(shownTexts);
        return true;
    }();
    Q_UNUSED(installed);
}

void showText(QLabel& label, const QString& text)
{
    if (label.text() == text)
        return;
    const QString before = label.text();
    label.setText(text);
    if (QAccessible::isActive()) {
        QAccessibleTextUpdateEvent changed(&label, 0, before, text);
        QAccessible::updateAccessibility(&changed);
    }
}

} // namespace hy
