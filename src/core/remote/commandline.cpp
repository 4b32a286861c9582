#include "core/remote/commandline.h"

#include <QCommandLineParser>

namespace hy {
namespace {

// QApplication's own options, which it takes off the command line itself.
const char* const kQtValueOptions[] = {"platform",      "platformpluginpath",
                                       "platformtheme", "plugin",
                                       "display",       "style",
                                       "stylesheet",    "qwindowgeometry",
                                       "qwindowtitle",  "qwindowicon",
                                       "session",       "name",
                                       "title",         "geometry"};
const char* const kQtFlagOptions[] = {"reverse", "widgetcount", "nograb", "dograb", "sync"};

QCommandLineOption hidden(QCommandLineOption option)
{
    option.setFlags(QCommandLineOption::HiddenFromHelp);
    return option;
}

} // namespace

CommandLine parseCommandLine(const QStringList& arguments)
{
    QCommandLineParser parser;
    // -platform xcb is one option, as QApplication reads it.
    parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
    parser.setApplicationDescription(
        QStringLiteral("禾音语音报时器：语音报时与语音倒计时。\n"
                       "已有一份在运行时，再次启动会把命令交给它，然后退出；"
                       "没有命令时它显示窗口。没有一份在运行时，程序启动后执行命令。"));
    const QCommandLineOption help({QStringLiteral("h"), QStringLiteral("help")},
                                  QStringLiteral("显示这份帮助"));
    const QCommandLineOption version({QStringLiteral("v"), QStringLiteral("version")},
                                     QStringLiteral("显示版本号"));
    parser.addOption(help);
    parser.addOption(version);
    for (const RemoteCommandInfo& c : remoteCommands())
        parser.addOption({QString::fromLatin1(c.word), QString::fromUtf8(c.help)});
    for (const char* name : kQtValueOptions)
        parser.addOption(hidden({QString::fromLatin1(name), {}, QStringLiteral("value")}));
    for (const char* name : kQtFlagOptions)
        parser.addOption(hidden(QCommandLineOption(QString::fromLatin1(name))));

    CommandLine result;
    const auto error = [&](const QString& what) {
        result.kind = CommandLine::Kind::Error;
        result.command = RemoteCommand::None;
        result.text = what + QStringLiteral("\n\n") + parser.helpText();
        return result;
    };
    if (!parser.parse(arguments))
        return error(parser.errorText());
    if (parser.isSet(help)) {
        result.kind = CommandLine::Kind::Help;
        result.text = parser.helpText();
        return result;
    }
    if (parser.isSet(version)) {
        result.kind = CommandLine::Kind::Version;
        result.text = QStringLiteral("hytune %1\n").arg(QStringLiteral(HYTUNE_VERSION));
        return result;
    }
    if (!parser.positionalArguments().isEmpty())
        return error(QStringLiteral("不认识的参数：%1")
                         .arg(parser.positionalArguments().join(QLatin1Char(' '))));
    QStringList given;
    for (const RemoteCommandInfo& c : remoteCommands()) {
        if (parser.isSet(QString::fromLatin1(c.word))) {
            given << QStringLiteral("--") + QLatin1String(c.word);
            result.command = c.command;
        }
    }
    if (given.size() > 1)
        return error(QStringLiteral("一次只能给出一个命令，这里有 %1 个：%2")
                         .arg(given.size())
                         .arg(given.join(QStringLiteral(" "))));
    return result;
}

} // namespace hy
