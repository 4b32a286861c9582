#include "shell/formlook.h"
#include "ui_tunemain.h"

#include "platform/jpegimage.h"

#include <QDateTimeEdit>
#include <QEvent>
#include <QFile>
#include <QIcon>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>

namespace hy {
namespace {

void setTextColour(QWidget* w, const QColor& colour)
{
    QPalette p = w->palette();
    p.setColor(QPalette::WindowText, colour);
    w->setPalette(p);
}

class FieldSelector final : public QObject
{
public:
    explicit FieldSelector(QDateTimeEdit& picker)
        : QObject(&picker)
        , m_picker(picker)
    {}

protected:
    bool eventFilter(QObject*, QEvent* event) override
    {
        // After the picker's own handling of the click has put the cursor
        // into a field.
        if (event->type() == QEvent::MouseButtonRelease)
            QMetaObject::invokeMethod(
                this, [this] { m_picker.setSelectedSection(m_picker.currentSection()); },
                Qt::QueuedConnection);
        return false;
    }

private:
    QDateTimeEdit& m_picker;
};

} // namespace

void selectFieldOnClick(QDateTimeEdit& picker)
{
    if (auto* edit = picker.findChild<QLineEdit*>())
        edit->installEventFilter(new FieldSelector(picker));
}

QFont designFont(int pixels, bool bold, bool underline)
{
    QFont f(QStringLiteral("宋体"));
    f.setPixelSize(pixels);
    f.setBold(bold);
    f.setUnderline(underline);
    return f;
}

void applyDesignLook(QWidget& form, Ui::TForm1& ui)
{
    form.setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                        Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                        Qt::WindowCloseButtonHint);
    form.setFixedSize(544, 362);
    form.setWindowIcon(QIcon(QStringLiteral(":/hytune.png")));

    QPalette face = form.palette();
    face.setColor(QPalette::Window, face.color(QPalette::Button));
    form.setPalette(face);
    form.setAutoFillBackground(true);

    ui.lblMinTick->setFont(designFont(24, true));
    setTextColour(ui.lblMinTick, Qt::red);
    ui.lblCount->setFont(designFont(16));
    setTextColour(ui.lblCount, Qt::blue);
    ui.lbl1->setFont(designFont(14));
    ui.lbl2->setFont(designFont(12));
    ui.lbl14->setFont(designFont(12));
    ui.lbl8->setFont(designFont(12));
    setTextColour(ui.lbl8, Qt::blue);
    ui.lblTips->setFont(designFont(13, false, true));

    selectFieldOnClick(*ui.dtmpckrStart);

    // The last-seconds box starts with no entry chosen and the text 30.
    ui.cbbLastSec->setCurrentIndex(-1);
    ui.cbbLastSec->setEditText(QStringLiteral("30"));
}

QString plainToolTip(const QString& text)
{
    if (text.isEmpty())
        return {};
    return QStringLiteral("<p style='white-space:pre'>%1</p>").arg(text.toHtmlEscaped());
}

void showAboutPicture(QLabel& box)
{
    if (!box.pixmap().isNull())
        return;
    // Decoded at a fraction of its 800 x 920 pixels, then brought to the
    // box's size.
    QFile picture(QStringLiteral(":/about.jpg"));
    if (!picture.open(QIODevice::ReadOnly))
        return;
    const QSize size = box.size();
    const QImage image = decodeJpeg(picture.readAll(), size);
    if (!image.isNull())
        box.setPixmap(QPixmap::fromImage(
            image.scaled(size, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)));
}

} // namespace hy
