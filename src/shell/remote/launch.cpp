#include "shell/remote/launch.h"

#include "shell/application.h"
#include "shell/remote/remoteclient.h"

#include <QCoreApplication>
#include <cstdio>

namespace hy {
namespace {

void print(FILE* stream, const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    std::fwrite(bytes.constData(), 1, size_t(bytes.size()), stream);
    std::fflush(stream);
}

} // namespace

QStringList argumentsOf(int argc, char** argv)
{
    QStringList args;
    for (int i = 0; i < argc; ++i)
        args << QString::fromLocal8Bit(argv[i]);
    return args;
}

bool needsWindow(const CommandLine& line, const QStringList& arguments)
{
    if (line.kind != CommandLine::Kind::Run || line.command == RemoteCommand::Status)
        return false;
    return !qEnvironmentVariableIsEmpty("DISPLAY") ||
           !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           !qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM") ||
           arguments.contains(QStringLiteral("-platform")) ||
           arguments.contains(QStringLiteral("--platform"));
}

int reportForwarded(const Forwarded& forwarded, const QString& noneRuns)
{
    print(stdout, forwarded.output);
    if (forwarded.reached && forwarded.problem.isEmpty())
        return 0;
    print(stderr, (forwarded.problem.isEmpty() ? noneRuns : forwarded.problem) + '\n');
    return 1;
}

int runWithoutWindow(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    installQtTranslations();
    // Parsed again now that Qt's own words are in Chinese.
    const CommandLine line = parseCommandLine(app.arguments());
    switch (line.kind) {
    case CommandLine::Kind::Help:
    case CommandLine::Kind::Version:
        print(stdout, line.text);
        return line.exitCode();
    case CommandLine::Kind::Error:
        print(stderr, line.text);
        return line.exitCode();
    case CommandLine::Kind::Run:
        break;
    }
    const QString noneRuns =
        line.command == RemoteCommand::Status
            ? QStringLiteral("禾音语音报时器没有在运行")
            : QStringLiteral("没有图形显示（DISPLAY 和 WAYLAND_DISPLAY 都没有设置），"
                             "无法启动禾音语音报时器");
    return reportForwarded(forwardCommand(line.command), noneRuns);
}

} // namespace hy
