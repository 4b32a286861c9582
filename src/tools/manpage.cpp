// Writes a manual page from its template, with the commands of the
// remote-command table where the template says: @SYNOPSIS@ (the commands one
// may give), @OPTIONS@ (each with what it does) and @METHODS@ (the D-Bus
// methods).
//   manpage TEMPLATE OUTPUT en|zh
#include "core/remote/remotecommand.h"

#include <QFile>
#include <QStringList>

#include <cstdio>

namespace {

QString roff(QString text)
{
    return text.replace(QLatin1Char('\\'), QStringLiteral("\\e"))
        .replace(QLatin1Char('-'), QStringLiteral("\\-"));
}

QString option(const hy::RemoteCommandInfo& c)
{
    QString text =
        QStringLiteral("\\fB\\-\\-") + roff(QString::fromLatin1(c.word)) + QStringLiteral("\\fR");
    if (c.value)
        text +=
            QStringLiteral(" \\fI") + roff(QString::fromLatin1(c.value)) + QStringLiteral("\\fR");
    return text;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc != 4) {
        std::fprintf(stderr, "usage: manpage TEMPLATE OUTPUT en|zh\n");
        return 2;
    }
    QFile in(QString::fromLocal8Bit(argv[1]));
    if (!in.open(QIODevice::ReadOnly)) {
        std::fprintf(stderr, "manpage: cannot read %s\n", argv[1]);
        return 1;
    }
    const bool english = qstrcmp(argv[3], "en") == 0;
    QStringList synopsis, options, methods;
    for (const hy::RemoteCommandInfo& c : hy::remoteCommands()) {
        if (!c.value)
            synopsis << option(c);
        options << QStringLiteral(".TP\n%1\n%2")
                       .arg(option(c), english ? QString::fromUtf8(c.manual)
                                               : QString::fromUtf8(c.help) + QStringLiteral("。"));
        if (c.method)
            methods << QString::fromLatin1(c.method);
    }
    QString methodList = methods.join(english ? QStringLiteral(", ") : QStringLiteral("、"));
    if (english && methods.size() > 1)
        methodList.replace(methodList.lastIndexOf(QStringLiteral(", ")), 2,
                           QStringLiteral(" and "));
    QString page = QString::fromUtf8(in.readAll());
    page.replace(QStringLiteral("@SYNOPSIS@"),
                 QLatin1Char('[') + synopsis.join(QStringLiteral(" | ")) + QLatin1Char(']'))
        .replace(QStringLiteral("@OPTIONS@"), options.join(QLatin1Char('\n')))
        .replace(QStringLiteral("@METHODS@"), methodList);
    QFile out(QString::fromLocal8Bit(argv[2]));
    if (!out.open(QIODevice::WriteOnly | QIODevice::Truncate) || out.write(page.toUtf8()) < 0) {
        std::fprintf(stderr, "manpage: cannot write %s\n", argv[2]);
        return 1;
    }
    return 0;
}
