#include "core/settings/atomicfile.h"
#include "core/settings/inifile.h"

#include "fakes/testfiles.h"

#include <QtTest>

#include <sys/stat.h>

using hy::IniFile;

namespace {

using testfiles::entriesOf;
using testfiles::readAll;
using testfiles::writeBytes;

mode_t modeOf(const QString& path)
{
    struct stat st
    {};
    if (::lstat(QFile::encodeName(path).constData(), &st) != 0)
        return 0;
    return st.st_mode & 07777;
}

} // namespace

class TestIniFile : public QObject
{
    Q_OBJECT
private slots:
    void value_data();
    void value();
    void keys_data();
    void keys();
    void longValue_data();
    void longValue();
    void serializeKeepsBytes_data();
    void serializeKeepsBytes();
    void set_data();
    void set();
    void setRefuses_data();
    void setRefuses();
    void loadFile();

    void atomicReplaces();
    void atomicCreates();
    void atomicFailingRename();
    void atomicReadOnly();
    void atomicNoRoomForTemporary();
    void atomicFollowsLink();
    void atomicRefusesDirectory();
};

void TestIniFile::value_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<bool>("found");
    QTest::addColumn<QString>("expected");

    auto row = [](const char* name, const QByteArray& file, const char* section, const char* key,
                  bool found, const QString& expected) {
        QTest::newRow(name) << file << QString::fromUtf8(section) << QString::fromUtf8(key) << found
                            << expected;
    };
    row("plain", "[Common]\nA=1\n", "Common", "A", true, "1");
    row("names any case", "[common]\nhourcounter=5\n", "COMMON", "HourCounter", true, "5");
    row("blanks around", "[S]\n  Key =   v a l  \t\n", "S", "key", true, "v a l");
    row("double quotes", "[S]\nK=\"abc\"\n", "S", "K", true, "abc");
    row("single quotes", "[S]\nK='abc'\n", "S", "K", true, "abc");
    row("blanks inside quotes", "[S]\nK=  \" a \"  \n", "S", "K", true, " a ");
    row("mismatched quotes", "[S]\nK=\"abc'\n", "S", "K", true, "\"abc'");
    row("opening quote only", "[S]\nK=\"abc\n", "S", "K", true, "\"abc");
    row("lone quote", "[S]\nK=\"\n", "S", "K", true, "\"");
    row("empty quotes", "[S]\nK=\"\"\n", "S", "K", true, "");
    row("quote inside", "[S]\nK=\"a\"b\"\n", "S", "K", true, "a\"b");
    row("one pair only", "[S]\nK=\"\"a\"\"\n", "S", "K", true, "\"a\"");
    row("empty value", "[S]\nK=\n", "S", "K", true, "");
    row("equals in value", "[S]\nK=a=b\n", "S", "K", true, "a=b");
    row("utf-8", "[S]\nK=/home/用户/声音.wav\n", "S", "K", true,
        QStringLiteral("/home/用户/声音.wav"));
    row("crlf", "[S]\r\nK=v\r\n", "S", "K", true, "v");
    row("bom", "\xEF\xBB\xBF[S]\nK=v\n", "S", "K", true, "v");
    row("no final newline", "[S]\nK=v", "S", "K", true, "v");
    row("header with blanks", "  [ S ]  \n  K=v\n", "S", "K", true, "v");
    row("first of two", "[S]\nK=1\nk=2\n", "S", "K", true, "1");
    row("missing key", "[S]\nA=1\n", "S", "K", false, "");
    row("missing section", "[T]\nK=1\n", "S", "K", false, "");
    row("empty file", "", "S", "K", false, "");
    row("before any section", "K=1\n[S]\nA=1\n", "S", "K", false, "");
    row("in next section", "[S]\nA=1\n[T]\nK=1\n", "S", "K", false, "");
    row("comment is no key", "[S]\n;K=1\n#K=2\n", "S", "K", false, "");
    row("line without equals", "[S]\nK\n", "S", "K", false, "");
    row("section prefix only", "[Settings]\nK=1\n", "S", "K", false, "");
    row("key prefix only", "[S]\nKey=1\n", "S", "K", false, "");
}

void TestIniFile::value()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(bool, found);
    QFETCH(QString, expected);

    const IniFile ini(file);
    const auto v = ini.value(section, key);
    QCOMPARE(v.has_value(), found);
    if (found)
        QCOMPARE(*v, expected);
    QCOMPARE(ini.value(section, key, QStringLiteral("dflt")), found ? expected : QString("dflt"));
}

void TestIniFile::keys_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QStringList>("expected");

    QTest::newRow("no text") << QByteArray() << "Common" << QStringList();
    QTest::newRow("header only") << QByteArray("[Common]\n") << "Common" << QStringList();
    QTest::newRow("comments and blanks")
        << QByteArray("[Common]\n; x=1\n\n  \n") << "Common" << QStringList();
    QTest::newRow("no such section") << QByteArray("[Other]\nA=1\n") << "Common" << QStringList();
    QTest::newRow("mixed") << QByteArray("A=0\n[Common]\nA=1\n b = 2\n;c=3\nd\n\n[Other]\nE=1")
                           << "common" << QStringList{"A", "b"};
    QTest::newRow("repeated name")
        << QByteArray("[S]\nA=1\na=2\nB=3\n") << "S" << QStringList{"A", "B"};
    QTest::newRow("crlf") << QByteArray("[S]\r\nA=1\r\nB=\r\n") << "S" << QStringList{"A", "B"};
}

void TestIniFile::keys()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QStringList, expected);
    QCOMPARE(IniFile(file).keys(section), expected);
}

void TestIniFile::longValue_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QByteArray>("expected");

    const QByteArray a2046(2046, 'a');
    QTest::newRow("2047 bytes whole") << QByteArray(2047, 'x') << QByteArray(2047, 'x');
    QTest::newRow("3000 bytes cut") << QByteArray(3000, 'x') << QByteArray(2047, 'x');
    QTest::newRow("quoted 2047") << '"' + QByteArray(2047, 'x') + '"' << QByteArray(2047, 'x');
    QTest::newRow("two-byte char across the cut") << a2046 + "é" << a2046;
    QTest::newRow("two-byte char at the end") << a2046.left(2045) + "é" << a2046.left(2045) + "é";
    QTest::newRow("three-byte char across the cut") << a2046.left(2045) + "路" << a2046.left(2045);
}

void TestIniFile::longValue()
{
    QFETCH(QByteArray, stored);
    QFETCH(QByteArray, expected);
    const IniFile ini("[S]\nK=" + stored + "\n");
    const QByteArray got = ini.value("S", "K").value_or(QString()).toUtf8();
    QVERIFY(got.size() <= IniFile::MaxValueBytes);
    QCOMPARE(got, expected);
}

void TestIniFile::serializeKeepsBytes_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("bom only") << QByteArray("\xEF\xBB\xBF");
    QTest::newRow("mixed line ends") << QByteArray("[S]\r\nA = 1 \n\r\n;c\rx\n\n");
    QTest::newRow("no final newline") << QByteArray("[S]\nA=1");
    QTest::newRow("odd lines") << QByteArray("[broken\n=x\n]\n\t\n[S] trailing\nA=\"q\n");
    QTest::newRow("not utf-8") << QByteArray("[S]\nK=\xB2\xE2\xCA\xD4\n");
}

void TestIniFile::serializeKeepsBytes()
{
    QFETCH(QByteArray, file);
    QCOMPARE(IniFile(file).serialize(), file);
}

void TestIniFile::set_data()
{
    QTest::addColumn<QByteArray>("file");
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");
    QTest::addColumn<QByteArray>("expected");

    QTest::newRow("replace") << QByteArray("[S]\nA=1\nB=2\n") << "S"
                             << "A"
                             << "9" << QByteArray("[S]\nA=9\nB=2\n");
    QTest::newRow("replace as given") << QByteArray("[S]\n  a = 1  \nB=2\n") << "S"
                                      << "A"
                                      << "7" << QByteArray("[S]\nA=7\nB=2\n");
    QTest::newRow("same value kept") << QByteArray("[S]\n  a = \"1\"  \n") << "S"
                                     << "A"
                                     << "1" << QByteArray("[S]\n  a = \"1\"  \n");
    QTest::newRow("replace crlf") << QByteArray("[S]\r\nA=1\r\nB=2\r\n") << "S"
                                  << "A"
                                  << "5" << QByteArray("[S]\r\nA=5\r\nB=2\r\n");
    QTest::newRow("section any case") << QByteArray("[s]\nA=1\n") << "S"
                                      << "A"
                                      << "2" << QByteArray("[s]\nA=2\n");
    QTest::newRow("append before blanks") << QByteArray("[S]\nA=1\n\n\n[T]\nX=1\n") << "S"
                                          << "B"
                                          << "2" << QByteArray("[S]\nA=1\nB=2\n\n\n[T]\nX=1\n");
    QTest::newRow("append before comment of next section")
        << QByteArray("[S]\nA=1\n; about T\n[T]\n") << "S"
        << "B"
        << "2" << QByteArray("[S]\nA=1\nB=2\n; about T\n[T]\n");
    QTest::newRow("append to last section") << QByteArray("[T]\nX=1\n[S]\nA=1\n") << "S"
                                            << "B"
                                            << "2" << QByteArray("[T]\nX=1\n[S]\nA=1\nB=2\n");
    QTest::newRow("append to keyless section") << QByteArray("[S]\n\n[T]\n") << "S"
                                               << "B"
                                               << "2" << QByteArray("[S]\nB=2\n\n[T]\n");
    QTest::newRow("append crlf") << QByteArray("[S]\r\nA=1\r\n") << "S"
                                 << "B"
                                 << "2" << QByteArray("[S]\r\nA=1\r\nB=2\r\n");
    QTest::newRow("append no final newline") << QByteArray("[S]\nA=1") << "S"
                                             << "B"
                                             << "2" << QByteArray("[S]\nA=1\nB=2");
    QTest::newRow("new section") << QByteArray("[T]\nX=1\n") << "S"
                                 << "B"
                                 << "2" << QByteArray("[T]\nX=1\n\n[S]\nB=2\n");
    QTest::newRow("new section after blank") << QByteArray("[T]\nX=1\n\n") << "S"
                                             << "B"
                                             << "2" << QByteArray("[T]\nX=1\n\n[S]\nB=2\n");
    QTest::newRow("new section crlf") << QByteArray("[T]\r\nX=1\r\n") << "S"
                                      << "B"
                                      << "2" << QByteArray("[T]\r\nX=1\r\n\r\n[S]\r\nB=2\r\n");
    QTest::newRow("new section no final newline") << QByteArray("[T]\nX=1") << "S"
                                                  << "B"
                                                  << "2" << QByteArray("[T]\nX=1\n\n[S]\nB=2");
    QTest::newRow("new section in empty text") << QByteArray() << "S"
                                               << "B"
                                               << "2" << QByteArray("[S]\nB=2\n");
    QTest::newRow("bom kept") << QByteArray("\xEF\xBB\xBF[S]\nA=1\n") << "S"
                              << "A"
                              << "2" << QByteArray("\xEF\xBB\xBF[S]\nA=2\n");
    QTest::newRow("empty value") << QByteArray("[S]\nA=1\n") << "S"
                                 << "A"
                                 << "" << QByteArray("[S]\nA=\n");
    QTest::newRow("blanks kept by quotes") << QByteArray("[S]\n") << "S"
                                           << "A"
                                           << " a " << QByteArray("[S]\nA=\" a \"\n");
    QTest::newRow("quoted value kept") << QByteArray("[S]\n") << "S"
                                       << "A"
                                       << "\"q\"" << QByteArray("[S]\nA=\"\"q\"\"\n");
    QTest::newRow("single-quoted value kept") << QByteArray("[S]\n") << "S"
                                              << "A"
                                              << "'q'" << QByteArray("[S]\nA=\"'q'\"\n");
    QTest::newRow("inner quote plain") << QByteArray("[S]\n") << "S"
                                       << "A"
                                       << "a\"b" << QByteArray("[S]\nA=a\"b\n");
    QTest::newRow("utf-8") << QByteArray("[S]\n") << "S"
                           << "A" << QStringLiteral("/音/a b.wav")
                           << QByteArray("[S]\nA=/音/a b.wav\n");
}

void TestIniFile::set()
{
    QFETCH(QByteArray, file);
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    QFETCH(QByteArray, expected);

    IniFile ini(file);
    QVERIFY(ini.set(section, key, value));
    QCOMPARE(ini.serialize(), expected);
    // What was set reads back, from the object and from its bytes.
    QCOMPARE(ini.value(section, key), std::optional<QString>(value));
    QCOMPARE(IniFile(ini.serialize()).value(section, key), std::optional<QString>(value));
}

void TestIniFile::setRefuses_data()
{
    QTest::addColumn<QString>("section");
    QTest::addColumn<QString>("key");
    QTest::addColumn<QString>("value");

    QTest::newRow("empty key") << "S"
                               << ""
                               << "1";
    QTest::newRow("equals in key") << "S"
                                   << "A=B"
                                   << "1";
    QTest::newRow("blank around key") << "S"
                                      << " A"
                                      << "1";
    QTest::newRow("comment key") << "S"
                                 << ";A"
                                 << "1";
    QTest::newRow("header-like key") << "S"
                                     << "[A"
                                     << "1";
    QTest::newRow("line break in key") << "S"
                                       << "A\nB"
                                       << "1";
    QTest::newRow("empty section") << ""
                                   << "A"
                                   << "1";
    QTest::newRow("bracket in section") << "S]"
                                        << "A"
                                        << "1";
    QTest::newRow("line break in section") << "S\r"
                                           << "A"
                                           << "1";
    QTest::newRow("line break in value") << "S"
                                         << "A"
                                         << "1\n[T]";
    QTest::newRow("carriage return in value") << "S"
                                              << "A"
                                              << "1\r";
}

void TestIniFile::setRefuses()
{
    QFETCH(QString, section);
    QFETCH(QString, key);
    QFETCH(QString, value);
    const QByteArray file("[S]\nA=0\n");
    IniFile ini(file);
    QVERIFY(!ini.set(section, key, value));
    QCOMPARE(ini.serialize(), file);
}

void TestIniFile::loadFile()
{
    QTemporaryDir dir;
    QVERIFY(dir.isValid());
    IniFile ini("[S]\nA=1\n");

    QVERIFY(!ini.loadFile(dir.filePath("missing.db")));
    QVERIFY(ini.serialize().isEmpty());
    QVERIFY(!ini.loadFile(dir.path()));
    QVERIFY(ini.keys("S").isEmpty());

    const QByteArray bytes("\xEF\xBB\xBF; c\r\n[S]\r\nA = \"x y\"\r\n");
    QVERIFY(writeBytes(dir.filePath("a.db"), bytes));
    QVERIFY(ini.loadFile(dir.filePath("a.db")));
    QCOMPARE(ini.value("s", "a"), std::optional<QString>("x y"));
    QCOMPARE(ini.serialize(), bytes);
}

void TestIniFile::atomicReplaces()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.db");
    QVERIFY(writeBytes(path, "old content that is longer than the new one\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::WriteOwner | QFile::ReadGroup));

    QVERIFY(hy::writeFileAtomically(path, "new\n"));
    QCOMPARE(readAll(path), QByteArray("new\n"));
    QCOMPARE(modeOf(path), mode_t(0640));
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.db"});
}

void TestIniFile::atomicCreates()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("fresh.db");
    QVERIFY(hy::writeFileAtomically(path, QByteArray()));
    QVERIFY(QFileInfo(path).isFile());
    QCOMPARE(readAll(path), QByteArray());
    QCOMPARE(modeOf(path), mode_t(0644));
    QCOMPARE(entriesOf(dir.path()), QStringList{"fresh.db"});
}

void TestIniFile::atomicFailingRename()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.db");
    const QByteArray old("[Common]\nIsHour=1\n");
    QVERIFY(writeBytes(path, old));
    const QByteArray content = QByteArray(100000, 'z') + "\n";

    QString seenFrom;
    QString seenTo;
    QByteArray seenContent;
    const bool ok =
        hy::writeFileAtomically(path, content, [&](const QString& from, const QString& to) {
            seenFrom = from;
            seenTo = to;
            seenContent = readAll(from);
            return false; // the program dies before the rename
        });

    QVERIFY(!ok);
    QCOMPARE(readAll(path), old);
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.db"});
    // The temporary sat next to the file and held all of the new content.
    QCOMPARE(QFileInfo(seenFrom).absolutePath(), QFileInfo(path).absolutePath());
    QVERIFY(seenFrom != path);
    QCOMPARE(QFileInfo(seenTo).canonicalFilePath(), QFileInfo(path).canonicalFilePath());
    QCOMPARE(seenContent, content);
}

void TestIniFile::atomicReadOnly()
{
    QTemporaryDir dir;
    const QString path = dir.filePath("a.db");
    QVERIFY(writeBytes(path, "old\n"));
    QVERIFY(QFile::setPermissions(path, QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));

    QVERIFY(!hy::writeFileAtomically(path, "new\n"));
    QCOMPARE(readAll(path), QByteArray("old\n"));
    QCOMPARE(modeOf(path), mode_t(0444));
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.db"});
}

void TestIniFile::atomicNoRoomForTemporary()
{
    QTemporaryDir dir;
    // A name at the length limit leaves no room for a longer temporary name.
    const QString name(250, QLatin1Char('n'));
    const QString path = dir.filePath(name);
    QVERIFY(writeBytes(path, "old\n"));

    QVERIFY(!hy::writeFileAtomically(path, "new\n"));
    QCOMPARE(readAll(path), QByteArray("old\n"));
    QCOMPARE(entriesOf(dir.path()), QStringList{name});

    QVERIFY(!hy::writeFileAtomically(dir.filePath("no/such/dir/a.db"), "new\n"));
    QCOMPARE(entriesOf(dir.path()), QStringList{name});
}

void TestIniFile::atomicFollowsLink()
{
    QTemporaryDir dir;
    const QString real = dir.filePath("real.db");
    const QString link = dir.filePath("link.db");
    QVERIFY(writeBytes(real, "old\n"));
    QVERIFY(QFile::link(real, link));

    QVERIFY(hy::writeFileAtomically(link, "new\n"));
    QVERIFY(QFileInfo(link).isSymLink());
    QCOMPARE(readAll(real), QByteArray("new\n"));
    QCOMPARE(entriesOf(dir.path()), (QStringList{"link.db", "real.db"}));
}

void TestIniFile::atomicRefusesDirectory()
{
    QTemporaryDir dir;
    QVERIFY(QDir(dir.path()).mkdir("a.db"));
    QVERIFY(!hy::writeFileAtomically(dir.filePath("a.db"), "new\n"));
    QVERIFY(QFileInfo(dir.filePath("a.db")).isDir());
    QCOMPARE(entriesOf(dir.path()), QStringList{"a.db"});
}

QTEST_GUILESS_MAIN(TestIniFile)
#include "test_inifile.moc"
