#include "shell/application.h"

#include "shell/accessible.h"
#include "shell/errorbox.h"

#include "core/log.h"
#include "core/remote/remotecommand.h"

#include <QFont>
#include <QFontDatabase>
#include <QIcon>
#include <QLibraryInfo>
#include <QResource>
#include <QTranslator>

namespace hy {

QString embeddedSongFamily()
{
    return QStringLiteral("HyTune Song");
}

void installFontSubstitutes()
{
    // Our own Song face, cut down to the window's characters: the window looks
    // the same everywhere, and no 20 MB font file is mapped to draw it. Once
    // per process, however often this is called.
    static const bool embedded = [] {
        // Read in place from the program's resources, not copied.
        const QResource face(QStringLiteral(":/fonts/hysong.ttf"));
        return face.isValid() && face.compressionAlgorithm() == QResource::NoCompression &&
               QFontDatabase::addApplicationFontFromData(QByteArray::fromRawData(
                   reinterpret_cast<const char*>(face.data()), qsizetype(face.size()))) >= 0;
    }();
    // The embedded face's Chinese family name is "宋体": found by name, with
    // no search of the installed faces at start. A list of substitutes would
    // have Qt sort every installed face for each font the window uses.
    QFont::removeSubstitutions(QStringLiteral("宋体"));
    if (embedded)
        return;
    // Installed faces instead.
    const QStringList faces{
        // Song (Ming) faces first, the style of the window's own face.
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
    };
    QFont::insertSubstitutions(QStringLiteral("宋体"), faces);
}

void installQtTranslations()
{
    // Once per process, however often this is called.
    static const bool installed = [] {
        auto* translator = new QTranslator(QCoreApplication::instance());
        const QString dir = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
        if (translator->load(QStringLiteral("qtbase_zh_CN"), dir)) {
            QCoreApplication::installTranslator(translator);
            return true;
        }
        qCWarning(lcApp,
                  "no Chinese translation of Qt's own texts in %s (package "
                  "qt6-translations-l10n); its buttons and dialogs speak English",
                  qPrintable(dir));
        delete translator;
        return false;
    }();
    Q_UNUSED(installed);
}

Application::Application(int& argc, char** argv)
    : QApplication(argc, argv)
{
    setApplicationName(QStringLiteral("hytune"));
    setApplicationDisplayName(applicationTitle());
    setApplicationVersion(QStringLiteral(HYTUNE_VERSION));
    setOrganizationName(QStringLiteral("heyinsoft"));
    // The id of the desktop entry, and on Wayland the window's app id.
    setDesktopFileName(QString::fromLatin1(kAppId));
}

void Application::prepareWindows()
{
    setWindowIcon(QIcon(QStringLiteral(":/hytune.png")));
    installFontSubstitutes();
    installQtTranslations();
    installAccessibleNames();
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
