#include "core/hywebtips.h"
#include "core/paths.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

using hy::hyWebTips;

namespace {

// One-shot HTTP server on 127.0.0.1, answering every request with the same
// canned response, or never answering at all.
class TipsServer : public QObject
{
public:
    explicit TipsServer(QByteArray response, bool silent = false)
        : m_response(std::move(response))
        , m_silent(silent)
    {
        connect(&m_server, &QTcpServer::newConnection, this, &TipsServer::accept);
        QVERIFY(m_server.listen(QHostAddress::LocalHost));
    }

    QUrl url() const
    {
        return QUrl(QStringLiteral("http://127.0.0.1:%1/tips.asp").arg(m_server.serverPort()));
    }
    // The request head as received (request line and headers).
    QByteArray request;

private:
    void accept()
    {
        while (QTcpSocket* socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] {
                m_pending += socket->readAll();
                const qsizetype end = m_pending.indexOf("\r\n\r\n");
                if (end < 0 || !request.isEmpty())
                    return;
                request = m_pending.left(end);
                if (!m_silent)
                    socket->write(m_response);
            });
        }
    }

    QTcpServer m_server;
    QByteArray m_response;
    QByteArray m_pending;
    bool m_silent;
};

QByteArray httpResponse(const QByteArray& body, const QByteArray& status = "200 OK",
                        const QByteArray& type = "text/plain")
{
    return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
           "\r\nContent-Length: " + QByteArray::number(body.size()) +
           "\r\nConnection: close\r\n\r\n" + body;
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<cannot open>";
    return file.readAll();
}

// Runs one download to its end (or `waitMs`).
struct Download
{
    Download(const QUrl& url, const QString& cachePath, hyWebTips::Limits limits = {})
        : tips(url, cachePath, limits)
        , finished(&tips, &hyWebTips::finished)
        , cacheFailed(&tips, &hyWebTips::cacheWriteFailed)
    {}
    bool wait(int waitMs = 10000) { return finished.count() > 0 || finished.wait(waitMs); }

    hyWebTips tips;
    QSignalSpy finished;
    QSignalSpy cacheFailed;
};

QStringList texts(const QList<hy::Tip>& tips)
{
    QStringList list;
    for (const auto& tip : tips)
        list.append(tip.text);
    return list;
}

QStringList links(const QList<hy::Tip>& tips)
{
    QStringList list;
    for (const auto& tip : tips)
        list.append(tip.link);
    return list;
}

} // namespace

class TestHyWebTips : public QObject
{
    Q_OBJECT
private slots:
    void init();

    void parse_data();
    void parse();
    void safeLink_data();
    void safeLink();
    void serverBaseUrl_data();
    void serverBaseUrl();
    void appFilePath();

    void downloadsTipsPage();
    void downloadsGbkPage();
    void errorPageIsCachedWithoutTips();
    void refusedConnectionWritesEmptyCache();
    void silentServerGivesUpWithoutFreezing();
    void bodyIsCutAtOneMebibyte_data();
    void bodyIsCutAtOneMebibyte();
    void unwritableCacheKeepsTips();
    void destroyedMidDownloadLeavesCache();
    void randomTipPicksEveryTip();

private:
    QTemporaryDir m_dir;
    QString m_cache;
};

void TestHyWebTips::init()
{
    QVERIFY(m_dir.isValid());
    m_cache = m_dir.filePath(QStringLiteral("tipsupd.dat"));
    QFile::remove(m_cache);
}

void TestHyWebTips::parse_data()
{
    QTest::addColumn<QByteArray>("body");
    QTest::addColumn<QStringList>("texts");
    QTest::addColumn<QStringList>("links");

    const QStringList three{"A", "B", "C"};
    const QStringList links3{"1", "2", "3"};

    QTest::newRow("tip, empty line, line without separator")
        << QByteArray("A@#$B\r\n\r\nC") << QStringList{"A"} << QStringList{"B"};
    QTest::newRow("empty text") << QByteArray("@#$http://x/") << QStringList{""}
                                << QStringList{"http://x/"};
    QTest::newRow("empty link") << QByteArray("text@#$\n") << QStringList{"text"}
                                << QStringList{""};
    QTest::newRow("separator twice")
        << QByteArray("a@#$b@#$c") << QStringList{"a"} << QStringList{"b@#$c"};
    QTest::newRow("blanks only") << QByteArray("   \r\n\t \n ") << QStringList{} << QStringList{};
    QTest::newRow("blanks kept") << QByteArray(" A @#$ B \t") << QStringList{" A "}
                                 << QStringList{" B \t"};
    QTest::newRow("CR") << QByteArray("A@#$1\rB@#$2\rC@#$3") << three << links3;
    QTest::newRow("LF") << QByteArray("A@#$1\nB@#$2\nC@#$3\n") << three << links3;
    QTest::newRow("CRLF") << QByteArray("A@#$1\r\nB@#$2\r\nC@#$3\r\n") << three << links3;
    QTest::newRow("mixed ends") << QByteArray("\n\rA@#$1\n\nB@#$2\r\r\nC@#$3") << three << links3;
    QTest::newRow("zero byte ends the text") << QByteArray("A@#$1\nB@#$2\0tail\nC@#$3", 22)
                                             << QStringList{"A", "B"} << QStringList{"1", "2"};
    QTest::newRow("zero byte first") << QByteArray("\0A@#$1", 6) << QStringList{} << QStringList{};
    QTest::newRow("HTML page") << QByteArray("<!DOCTYPE html>\r\n<html><head><title>500 Internal "
                                             "Server Error</title></head>\r\n<body><h1>Oops</h1>"
                                             "</body></html>\r\n")
                               << QStringList{} << QStringList{};
    QTest::newRow("empty body") << QByteArray() << QStringList{} << QStringList{};
    QTest::newRow("exactly one tip, no line end")
        << QByteArray("only@#$http://a/") << QStringList{"only"} << QStringList{"http://a/"};

    QByteArray many;
    QStringList manyTexts, manyLinks;
    for (int i = 0; i < 130; ++i) {
        many += "tip" + QByteArray::number(i) + "@#$link" + QByteArray::number(i) + "\r\n";
        many += "not a tip " + QByteArray::number(i) + "\r\n";
        if (i < 128) {
            manyTexts << QStringLiteral("tip%1").arg(i);
            manyLinks << QStringLiteral("link%1").arg(i);
        }
    }
    QTest::newRow("130 tips give 128") << many << manyTexts << manyLinks;

    // What the tips line can never show does not reach it.
    const int most = hyWebTips::MaxTipChars;
    const QByteArray longText = QByteArray(most + 1, 'x') + "@#$http://a/";
    const QByteArray longLink = "A@#$http://a/" + QByteArray(hyWebTips::MaxLinkChars, 'p');
    const QString cut = QString(most - 1, 'x') + QChar(0x2026);
    QTest::newRow("a long tip cut") << longText << QStringList{cut} << QStringList{"http://a/"};
    QTest::newRow("a tip of 1 MB cut")
        << QByteArray(1000000, 'x') + "@#$x" << QStringList{cut} << QStringList{"x"};
    QTest::newRow("a tip just short enough")
        << QByteArray(most, 'y') + "@#$x" << QStringList{QString(most, 'y')} << QStringList{"x"};
    QTest::newRow("a long link dropped") << longLink << QStringList{"A"} << QStringList{""};
    const QString pair = QString::fromUtf8("\U0001F600"); // two UTF-16 units
    QTest::newRow("a cut never halves a character")
        << QString(most - 2, 'z').toUtf8() + pair.repeated(2).toUtf8() + "@#$x"
        << QStringList{QString(most - 2, 'z') + QChar(0x2026)} << QStringList{"x"};

    QTest::newRow("GBK") << QByteArray("\xC4\xE3\xBA\xC3@#$http://a/\r\n\xB5\xB9\xBC\xC6\xCA\xB1"
                                       "@#$http://b/\r\n")
                         << QStringList{"你好", "倒计时"} << QStringList{"http://a/", "http://b/"};
    QTest::newRow("GBK euro sign")
        << QByteArray("\x80 5@#$x") << QStringList{"€ 5"} << QStringList{"x"};
    QTest::newRow("UTF-8") << QByteArray("你好@#$http://a/\r\n倒计时@#$http://b/")
                           << QStringList{"你好", "倒计时"}
                           << QStringList{"http://a/", "http://b/"};
    QTest::newRow("UTF-8 byte-order mark")
        << QByteArray("\xEF\xBB\xBF你@#$x") << QStringList{"你"} << QStringList{"x"};
    // 0x81 0x40 is 丂: its trail byte is '@', and "#$" follows.
    QTest::newRow("GBK trail byte @ before #$")
        << QByteArray("\x81\x40#$x\r\n\x81\x40#$a@#$b") << QStringList{"丂#$a"} << QStringList{"b"};
    // 0xA1 0x40 is a well-formed double-byte code with no character assigned.
    QTest::newRow("undefined GBK code with trail @")
        << QByteArray("\xC4\xE3\xA1\x40#$a@#$b") << QStringList{"你\uFFFD#$a"} << QStringList{"b"};
    QTest::newRow("GBK lead byte before line end")
        << QByteArray("\xC4\xE3@#$1\r\n\x81\nB@#$2\x81") << QStringList{"你", "B"}
        << QStringList{"1", "2\uFFFD"};
}

void TestHyWebTips::parse()
{
    QFETCH(QByteArray, body);
    QFETCH(QStringList, texts);
    QFETCH(QStringList, links);
    const QList<hy::Tip> tips = hy::parseTips(body);
    QCOMPARE(::texts(tips), texts);
    QCOMPARE(::links(tips), links);
}

void TestHyWebTips::safeLink_data()
{
    QTest::addColumn<QString>("link");
    QTest::addColumn<bool>("safe");
    QTest::newRow("http") << "http://www.heyinsoft.example/help.asp#countdown" << true;
    QTest::newRow("https, port, query") << "https://example.com:8443/a?b=c" << true;
    QTest::newRow("upper-case scheme") << "HTTPS://Example.COM/" << true;
    QTest::newRow("file") << "file:///etc/passwd" << false;
    QTest::newRow("javascript") << "javascript:alert(1)" << false;
    QTest::newRow("bare path") << "/usr/bin/xterm" << false;
    QTest::newRow("relative") << "help.asp" << false;
    QTest::newRow("relative up") << "../tips.asp" << false;
    QTest::newRow("empty") << "" << false;
    QTest::newRow("desktop file") << "/usr/share/applications/xterm.desktop" << false;
    QTest::newRow("ftp") << "ftp://example.com/file" << false;
    QTest::newRow("data") << "data:text/html,<b>hi</b>" << false;
    QTest::newRow("no host") << "http:///etc/passwd" << false;
    QTest::newRow("no slashes") << "http:example.com" << false;
    QTest::newRow("no scheme") << "www.heyinsoft.example" << false;
    QTest::newRow("leading blank") << " http://example.com/" << false;
    QTest::newRow("blank in host") << "http://exa mple.com/" << false;
}

void TestHyWebTips::safeLink()
{
    QFETCH(QString, link);
    QFETCH(bool, safe);
    QCOMPARE(hyWebTips::isSafeLink(link), safe);
}

void TestHyWebTips::serverBaseUrl_data()
{
    QTest::addColumn<QByteArray>("env");
    QTest::addColumn<bool>("set");
    QTest::addColumn<QString>("expected");
    const QString built = QStringLiteral(HYTUNE_SERVER_URL);
    QTest::newRow("unset") << QByteArray() << false << built;
    QTest::newRow("empty") << QByteArray() << true << built;
    QTest::newRow("blank") << QByteArray("  ") << true << built;
    QTest::newRow("local") << QByteArray("http://127.0.0.1:8000") << true
                           << "http://127.0.0.1:8000";
    QTest::newRow("trailing slashes")
        << QByteArray("http://127.0.0.1:8000//") << true << "http://127.0.0.1:8000";
}

void TestHyWebTips::serverBaseUrl()
{
    QFETCH(QByteArray, env);
    QFETCH(bool, set);
    QFETCH(QString, expected);
    const QByteArray saved = qgetenv("HYTUNE_SERVER");
    const bool wasSet = qEnvironmentVariableIsSet("HYTUNE_SERVER");
    if (set)
        qputenv("HYTUNE_SERVER", env);
    else
        qunsetenv("HYTUNE_SERVER");
    const QString base = hy::serverBaseUrl();
    if (wasSet)
        qputenv("HYTUNE_SERVER", saved);
    else
        qunsetenv("HYTUNE_SERVER");
    QCOMPARE(base, expected);
    QVERIFY(!base.endsWith(QLatin1Char('/')));
}

void TestHyWebTips::appFilePath()
{
    QCOMPARE(QFileInfo(hy::appFilePath(QStringLiteral("tipsupd.dat"))).absoluteFilePath(),
             QDir(QCoreApplication::applicationDirPath()).absoluteFilePath("tipsupd.dat"));
}

void TestHyWebTips::downloadsTipsPage()
{
    const QByteArray body("倒计时@#$http://h/help.asp#countdown\r\n整点报时@#$http://h/a\r\n");
    TipsServer server(httpResponse(body));
    Download run(server.url(), m_cache);
    QVERIFY(!run.tips.isFinished());
    QVERIFY(run.wait());
    QVERIFY(run.tips.isFinished());
    QCOMPARE(run.finished.count(), 1);
    QCOMPARE(run.cacheFailed.count(), 0);
    QCOMPARE(readFile(m_cache), body);
    QCOMPARE(run.tips.TipCount(), 2);
    QCOMPARE(run.tips.TipTexts(), (QStringList{"倒计时", "整点报时"}));
    QCOMPARE(run.tips.TipLinks(), (QStringList{"http://h/help.asp#countdown", "http://h/a"}));

    QVERIFY(server.request.startsWith("GET /tips.asp HTTP/1.1\r\n"));
    QVERIFY2(server.request.contains("\r\nUser-Agent: URLCheck"), server.request.constData());
}

void TestHyWebTips::downloadsGbkPage()
{
    QFile page(QFINDTESTDATA("../../resources/web/tips.asp"));
    QVERIFY(page.open(QIODevice::ReadOnly));
    const QByteArray body = page.readAll();
    QStringDecoder utf8(QStringConverter::Utf8, QStringConverter::Flag::Stateless);
    const QString asUtf8 = utf8.decode(body);
    QVERIFY2(utf8.hasError() && !asUtf8.isEmpty(), "the shipped page is not GBK");

    TipsServer server(httpResponse(body, "200 OK", "text/plain; charset=gbk"));
    Download run(server.url(), m_cache);
    QVERIFY(run.wait());
    QCOMPARE(readFile(m_cache), body);
    QVERIFY(run.tips.TipCount() >= 10);
    QCOMPARE(run.tips.TipCount(), static_cast<int>(hy::parseTips(body).size()));
    for (const hy::Tip& tip : run.tips.tips()) {
        QVERIFY2(!tip.text.contains(QChar(0xFFFD)), qPrintable(tip.text));
        QVERIFY2(tip.text.contains(QRegularExpression("[\u4e00-\u9fff]")), qPrintable(tip.text));
        QVERIFY2(tip.link.startsWith("http://www.heyinsoft.example/"), qPrintable(tip.link));
        QVERIFY(hyWebTips::isSafeLink(tip.link));
    }
}

void TestHyWebTips::errorPageIsCachedWithoutTips()
{
    const QByteArray page("<html><head><title>500</title></head>\r\n<body>Internal Server "
                          "Error</body></html>\r\n");
    TipsServer server(httpResponse(page, "500 Internal Server Error", "text/html"));
    Download run(server.url(), m_cache);
    QVERIFY(run.wait());
    QCOMPARE(run.tips.TipCount(), 0);
    QCOMPARE(run.cacheFailed.count(), 0);
    QCOMPARE(readFile(m_cache), page);
    QVERIFY(!run.tips.randomTip().has_value());
}

void TestHyWebTips::refusedConnectionWritesEmptyCache()
{
    quint16 port = 0;
    {
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress::LocalHost));
        port = probe.serverPort();
    }
    {
        QFile old(m_cache);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old@#$http://old/\r\n");
    }
    Download run(QUrl(QStringLiteral("http://127.0.0.1:%1/tips.asp").arg(port)), m_cache);
    QVERIFY(run.wait());
    QCOMPARE(run.tips.TipCount(), 0);
    QCOMPARE(run.cacheFailed.count(), 0);
    QVERIFY(QFileInfo::exists(m_cache));
    QCOMPARE(readFile(m_cache), QByteArray());
}

void TestHyWebTips::silentServerGivesUpWithoutFreezing()
{
    TipsServer server(QByteArray(), /*silent=*/true);
    int beats = 0;
    QTimer heartbeat;
    connect(&heartbeat, &QTimer::timeout, this, [&beats] { ++beats; });
    heartbeat.start(100);

    QElapsedTimer clock;
    clock.start();
    // The program's deadline is 15 s; a shorter one proves the same.
    constexpr int deadlineMs = 1500;
    Download run(server.url(), m_cache, {deadlineMs, hyWebTips::MaxBodyBytes});
    QVERIFY(!run.wait(deadlineMs - 500));
    QVERIFY(!run.tips.isFinished());
    QVERIFY(!server.request.isEmpty()); // connected and asked, no answer
    QVERIFY(run.wait(10000));
    const qint64 elapsed = clock.elapsed();
    qInfo("gave up after: %lld ms, heartbeats meanwhile: %d", elapsed, beats);
    QVERIFY(elapsed >= deadlineMs - 50 && elapsed <= deadlineMs + 4000);
    // A frozen loop would give next to none; a busy machine may drop some.
    QVERIFY2(beats >= elapsed / 100 / 2, qPrintable(QString::number(beats)));
    QCOMPARE(run.tips.TipCount(), 0);
    QCOMPARE(readFile(m_cache), QByteArray());
}

void TestHyWebTips::bodyIsCutAtOneMebibyte_data()
{
    QTest::addColumn<bool>("stall");
    QTest::newRow("10 MiB sent at once") << false;
    // Only 2 MiB of the 10 MiB announced come; a client that waited for the
    // rest would sit there until it gives up.
    QTest::newRow("10 MiB announced, 2 MiB sent") << true;
}

void TestHyWebTips::bodyIsCutAtOneMebibyte()
{
    QFETCH(bool, stall);
    QByteArray body;
    body.reserve(10 * 1024 * 1024);
    for (int i = 0; body.size() < 10 * 1024 * 1024; ++i)
        body += "tip " + QByteArray::number(i).rightJustified(7, '0') + "@#$http://h/" +
                QByteArray::number(i).rightJustified(7, '0') + "\r\n";
    body.truncate(10 * 1024 * 1024);

    QByteArray response = httpResponse(body);
    if (stall)
        response.chop(8 * 1024 * 1024);
    TipsServer server(response);
    QElapsedTimer clock;
    clock.start();
    Download run(server.url(), m_cache);
    QVERIFY(run.wait(20000));
    qInfo("finished after: %lld ms", clock.elapsed());
    QVERIFY(clock.elapsed() < 5000);

    const QByteArray cached = readFile(m_cache);
    QCOMPARE(cached.size(), hyWebTips::MaxBodyBytes);
    QCOMPARE(cached, body.left(cached.size()));
    QCOMPARE(run.tips.TipCount(), hyWebTips::MaxTips);
    QCOMPARE(run.tips.TipTexts().first(), QStringLiteral("tip 0000000"));
    QCOMPARE(run.tips.TipLinks().last(), QStringLiteral("http://h/0000127"));
}

void TestHyWebTips::unwritableCacheKeepsTips()
{
    const QByteArray body("A@#$http://a/\r\nB@#$http://b/\r\n");
    TipsServer server(httpResponse(body));
    const QString path = m_dir.filePath(QStringLiteral("missing/tipsupd.dat"));
    Download run(server.url(), path);
    QVERIFY(run.wait());
    QCOMPARE(run.cacheFailed.count(), 1);
    const QString message = run.cacheFailed.first().first().toString();
    QVERIFY2(message.contains(QDir::toNativeSeparators(path)), qPrintable(message));
    QVERIFY2(message.contains(QStringLiteral("无法写入")), qPrintable(message));
    QCOMPARE(run.tips.TipTexts(), (QStringList{"A", "B"}));
    QVERIFY(!QFileInfo::exists(path));
    QTest::qWait(50);
    QCOMPARE(run.cacheFailed.count(), 1);
    QCOMPARE(run.finished.count(), 1);
}

void TestHyWebTips::destroyedMidDownloadLeavesCache()
{
    {
        QFile old(m_cache);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("old@#$http://old/\r\n");
    }
    TipsServer server(QByteArray(), /*silent=*/true);
    {
        Download run(server.url(), m_cache);
        QTRY_VERIFY(!server.request.isEmpty());
        QCOMPARE(run.finished.count(), 0);
    }
    QTest::qWait(100);
    QCOMPARE(readFile(m_cache), QByteArray("old@#$http://old/\r\n"));
}

void TestHyWebTips::randomTipPicksEveryTip()
{
    TipsServer server(httpResponse("A@#$1\nB@#$2\nC@#$3\n"));
    Download run(server.url(), m_cache);
    QVERIFY(run.wait());
    QMap<QString, int> seen;
    for (int i = 0; i < 300; ++i) {
        const std::optional<hy::Tip> tip = run.tips.randomTip();
        QVERIFY(tip.has_value());
        const qsizetype at = run.tips.TipTexts().indexOf(tip->text);
        QVERIFY(at >= 0);
        QCOMPARE(tip->link, run.tips.TipLinks().at(at));
        ++seen[tip->text];
    }
    QCOMPARE(seen.size(), 3);

    TipsServer one(httpResponse("one@#$http://1/"));
    Download single(one.url(), m_cache);
    QVERIFY(single.wait());
    for (int i = 0; i < 10; ++i)
        QCOMPARE(single.tips.randomTip()->text, QStringLiteral("one"));
}

QTEST_GUILESS_MAIN(TestHyWebTips)
#include "test_hywebtips.moc"
