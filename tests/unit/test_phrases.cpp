#include "core/announce.h"
#include "core/speech/cliptable.h"
#include "core/speech/phrases.h"

#include <QtTest>

using hy::ClipSequence;
Q_DECLARE_METATYPE(ClipSequence)

class TestPhrases : public QObject
{
    Q_OBJECT
private slots:
    void requests_data();
    void requests();
    void neverOutsideTable_data();
    void neverOutsideTable();
    void clipTableFromResources();
};

void TestPhrases::requests_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("argument");
    QTest::addColumn<ClipSequence>("clips");
    using hy::Alert, hy::ClockTime, hy::MinuteCount, hy::SecondCount;

    QTest::newRow("time 0:00") << +ClockTime << 0 << ClipSequence{11, 12, 10, 13, 0, 14, 15};
    QTest::newRow("time 9:05") << +ClockTime << 9005 << ClipSequence{11, 12, 10, 13, 9, 14, 0, 5};
    QTest::newRow("time 10:10") << +ClockTime << 10010
                                << ClipSequence{11, 12, 10, 13, 10, 14, 0, 10};
    QTest::newRow("time 12:30") << +ClockTime << 12030
                                << ClipSequence{11, 12, 10, 13, 10, 2, 14, 16};
    QTest::newRow("time 23:59") << +ClockTime << 23059
                                << ClipSequence{11, 12, 10, 13, 2, 10, 3, 14, 5, 10, 9};
    QTest::newRow("time 15:11") << +ClockTime << 15011
                                << ClipSequence{11, 12, 10, 13, 10, 5, 14, 1, 10, 1};
    // Round tens end on the ten clip: 二十, not 二十零.
    QTest::newRow("time 20:20") << +ClockTime << 20020
                                << ClipSequence{11, 12, 10, 13, 2, 10, 14, 2, 10};
    QTest::newRow("time 7:40") << +ClockTime << 7040 << ClipSequence{11, 12, 10, 13, 7, 14, 4, 10};
    QTest::newRow("time 21:50") << +ClockTime << 21050
                                << ClipSequence{11, 12, 10, 13, 2, 10, 1, 14, 5, 10};

    QTest::newRow("seconds 0") << +SecondCount << 0 << ClipSequence{};
    QTest::newRow("seconds -5") << +SecondCount << -5 << ClipSequence{};
    QTest::newRow("seconds 7") << +SecondCount << 7 << ClipSequence{7};
    QTest::newRow("seconds 10") << +SecondCount << 10 << ClipSequence{10};
    QTest::newRow("seconds 11") << +SecondCount << 11 << ClipSequence{10, 1};
    QTest::newRow("seconds 20") << +SecondCount << 20 << ClipSequence{2, 10};
    QTest::newRow("seconds 25") << +SecondCount << 25 << ClipSequence{2, 5};
    QTest::newRow("seconds 60") << +SecondCount << 60 << ClipSequence{6, 10};
    QTest::newRow("seconds 99") << +SecondCount << 99 << ClipSequence{9, 9};
    QTest::newRow("seconds 100") << +SecondCount << 100 << ClipSequence{1, 0, 0};
    QTest::newRow("seconds 120") << +SecondCount << 120 << ClipSequence{1, 2, 0};
    QTest::newRow("seconds 2345") << +SecondCount << 2345 << ClipSequence{2, 3, 4, 5};

    QTest::newRow("minutes 0") << +MinuteCount << 0 << ClipSequence{};
    QTest::newRow("minutes -1") << +MinuteCount << -1 << ClipSequence{};
    QTest::newRow("minutes 1") << +MinuteCount << 1 << ClipSequence{18, 19, 1, 20, 21};
    QTest::newRow("minutes 10") << +MinuteCount << 10 << ClipSequence{18, 19, 10, 20, 21};
    QTest::newRow("minutes 15") << +MinuteCount << 15 << ClipSequence{18, 19, 10, 5, 20, 21};
    QTest::newRow("minutes 25") << +MinuteCount << 25 << ClipSequence{18, 19, 2, 10, 5, 20, 21};
    QTest::newRow("minutes 60") << +MinuteCount << 60 << ClipSequence{18, 19, 6, 10, 20, 21};
    QTest::newRow("minutes 120") << +MinuteCount << 120 << ClipSequence{18, 19, 1, 2, 0, 20, 21};

    QTest::newRow("alert 0") << +Alert << 0 << ClipSequence{};
    QTest::newRow("alert -22") << +Alert << -22 << ClipSequence{};
    QTest::newRow("alert 22") << +Alert << 22 << ClipSequence{22};
    QTest::newRow("alert user") << +Alert << hy::UserAlertSound << ClipSequence{hy::UserAlertSound};
    QTest::newRow("alert 23") << +Alert << 23 << ClipSequence{};

    QTest::newRow("kind 5") << 5 << 10 << ClipSequence{};
    QTest::newRow("kind -1") << -1 << 0 << ClipSequence{};
}

void TestPhrases::requests()
{
    QFETCH(int, kind);
    QFETCH(int, argument);
    QFETCH(ClipSequence, clips);
    QCOMPARE(hy::phrases::forRequest(kind, argument), clips);
}

void TestPhrases::neverOutsideTable_data()
{
    QTest::addColumn<int>("kind");
    for (int kind = hy::ClockTime; kind <= hy::Alert; ++kind)
        QTest::addRow("kind %d", kind) << kind;
}

void TestPhrases::neverOutsideTable()
{
    QFETCH(int, kind);
    const int arguments[] = {-100000, -1,  0,   1,     9,     99,    100,
                             229,     230, 999, 23059, 45000, 98765, 2147483647};
    for (int arg : arguments) {
        for (int i : hy::phrases::forRequest(kind, arg)) {
            if (i == hy::UserAlertSound && kind == hy::Alert)
                continue;
            QVERIFY2(
                i >= 0 && i < hy::ClipTable::kClipCount,
                qPrintable(QStringLiteral("kind %1 arg %2 gave %3").arg(kind).arg(arg).arg(i)));
        }
    }
}

void TestPhrases::clipTableFromResources()
{
    hy::ClipTable table;
    table.load();
    QCOMPARE(table.loadedCount(), hy::ClipTable::kClipCount);
    // Played in place: the view points into the executable, not a copy.
    QCOMPARE(static_cast<const void*>(table.clip(7).data()),
             static_cast<const void*>(QResource(QStringLiteral(":/clips/WAV7.wav")).data()));
    QCOMPARE(table.clip(22).size(), 20044);
    QCOMPARE(table.clip(0).size(), 21720); // with its trailing metadata chunks
    QVERIFY(table.clip(0).startsWith("RIFF"));
    QVERIFY(table.clip(23).isEmpty());
    QVERIFY(table.clip(-1).isEmpty());
    table.release();
    QCOMPARE(table.loadedCount(), 0);

    // A directory without some clips leaves their entries empty.
    hy::ClipTable none;
    none.load(QStringLiteral(":/no-such-dir"));
    QCOMPARE(none.loadedCount(), 0);
}

QTEST_GUILESS_MAIN(TestPhrases)
#include "test_phrases.moc"
