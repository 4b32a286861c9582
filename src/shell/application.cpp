#include "application.h"

#include "errorbox.h"

#include <QFont>
#include <QIcon>

namespace hy {

void installFontSubstitutes()
{
    QFont::insertSubstitutions(QStringLiteral("宋体"),
                               {
                                   // Song (Ming) faces first, as the window was designed with one.
                                   QStringLiteral("Noto Serif CJK SC"),
                                   QStringLiteral("Source Han Serif SC"),
                                   QStringLiteral("AR PL UMing CN"),
                                   QStringLiteral("AR PL SungtiL GB"),
                                   QStringLiteral("SimSun"),
                                   // then any CJK sans
                                   QStringLiteral("Noto Sans CJK SC"),
                                   QStringLiteral("Source Han Sans SC"),
                                   QStringLiteral("WenQuanYi Zen Hei"),
                                   QStringLiteral("WenQuanYi Micro Hei"),
                                   QStringLiteral("Droid Sans Fallback"),
                               });
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("hytune"));
    setApplicationDisplayName(applicationTitle());
    setApplicationVersion(QStringLiteral(HYTUNE_VERSION));
    setOrganizationName(QStringLiteral("heyinsoft"));
    setDesktopFileName(QStringLiteral("hytune"));
    setWindowIcon(QIcon(QStringLiteral(":/hytune.png")));
    installFontSubstitutes();
}

bool Application::notify(QObject* receiver, QEvent* event)
{
    try {
        return QApplication::notify(receiver, event);
    } catch (...) {
        showErrorBox(activeWindow(), currentExceptionText());
        return false;
    }
}

} // namespace hy
