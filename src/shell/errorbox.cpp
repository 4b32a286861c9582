#include "shell/errorbox.h"

#include "core/inputerror.h"

#include <QMessageBox>
#include <exception>

namespace hy {

QString applicationTitle()
{
    return QStringLiteral("禾音语音报时器");
}

void showErrorBox(QWidget* parent, const QString& text)
{
    QMessageBox box(QMessageBox::Critical, applicationTitle(), text, QMessageBox::Ok, parent);
    box.setObjectName(QStringLiteral("errorBox"));
    box.exec();
}

QString currentExceptionText()
{
    try {
        throw;
    } catch (const InputError& e) {
        return e.text();
    } catch (const std::exception& e) {
        return QString::fromUtf8(e.what());
    } catch (...) {
        return QString(); // not one of ours: shown with an empty text
    }
}

} // namespace hy
