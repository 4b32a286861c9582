// A settings file of many megabytes beside the program's keys: what a load and
// a save leave of the lines that are not the program's.
#include "core/settings/settings.h"
#include "core/settings/settingsstore.h"
#include "fakes/testfiles.h"

#include <QTemporaryDir>
#include <QtTest>

using testfiles::readAll;
using testfiles::writeBytes;

namespace {

// At least `bytes` of lines that hold no section: comments, blank lines, keys of
// no meaning to the program (some named as its own), text, odd bytes.
QByteArray otherLines(qint64 bytes, const QByteArray& eol, bool odd)
{
    QByteArray kinds[] = {"; a comment",          "",      "Volume=5", "HotKey = F9", "just words",
                          "  x  =  \"quoted\"  ", "#=hash"};
    if (odd) {
        kinds[1] = QByteArray("nul\0byte", 8);
        kinds[4] = "\xB2\xE2\xCA\xD4 not utf-8\rlone cr";
    }
    QByteArray some;
    for (int i = 0; i < 700; ++i)
        some += kinds[i % 7] + ' ' + QByteArray::number(i) + eol;
    return some.repeated(int(bytes / some.size()) + 1);
}

} // namespace

class TestSettingsFile : public QObject
{
    Q_OBJECT
private slots:
    void otherLinesKept_data();
    void otherLinesKept();
};

void TestSettingsFile::otherLinesKept_data()
{
    QTest::addColumn<qint64>("blockBytes");
    QTest::addColumn<QByteArray>("eol");
    QTest::addColumn<bool>("odd");
    QTest::newRow("other lines") << 0LL << QByteArray("\n") << false;
    QTest::newRow("CRLF and odd bytes") << 0LL << QByteArray("\r\n") << true;
    QTest::newRow("50 MiB, CRLF and odd bytes") << qint64(50 << 20) << QByteArray("\r\n") << true;
}

// The file is loaded and saved with changed values; it must read as the same
// save of the file without the blocks of other lines does, with those blocks
// back in their places byte for byte.
void TestSettingsFile::otherLinesKept()
{
    QFETCH(qint64, blockBytes);
    QFETCH(QByteArray, eol);
    QFETCH(bool, odd);
    const QByteArray head = otherLines(blockBytes / 10, eol, odd);
    const QByteArray middle = otherLines(blockBytes, eol, odd);
    const QByteArray tail = otherLines(blockBytes / 10, eol, odd);
    const auto fileWith = [&](const QByteArray& a, const QByteArray& b, const QByteArray& c) {
        return a + "[Common]" + eol + "HotKey=F1" + eol + "IsHour=1" + eol + "[Notes]" + eol + b +
               "[Sound]" + eol + "Volume=40" + eol + "IsQuiet=1" + eol + "[Extra]" + eol + c;
    };
    QTemporaryDir dir;
    const QString small = dir.filePath("small.db");
    const QString large = dir.filePath("large.db");
    QVERIFY(writeBytes(small, fileWith({}, {}, {})));
    QVERIFY(writeBytes(large, fileWith(head, middle, tail)));

    for (const QString& path : {small, large}) {
        hy::SettingsStore target;
        QVERIFY(hy::loadSettings(path, target));
        QCOMPARE(target.number("Volume"), 40);
        target.set("Volume", "70");
        target.set("VoiceFolder", QStringLiteral("/home/u/声音"));
        QVERIFY(hy::saveSettings(path, target));
    }
    const QByteArray expected = readAll(small);
    const QByteArray saved = readAll(large);
    // The blocks go where their section headers (and the start) put them.
    const qsizetype notes = expected.indexOf("[Notes]" + eol) + 7 + eol.size();
    const qsizetype extra = expected.indexOf("[Extra]" + eol) + 7 + eol.size();
    QVERIFY(notes > 0 && extra > notes);
    const QByteArray want = head + expected.left(notes) + middle +
                            expected.mid(notes, extra - notes) + tail + expected.mid(extra);
    QCOMPARE(saved.size(), want.size());
    QVERIFY(saved == want);
}

QTEST_GUILESS_MAIN(TestSettingsFile)
#include "test_settingsfile.moc"
