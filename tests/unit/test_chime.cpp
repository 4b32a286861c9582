#include "core/chime.h"

#include <QtTest>

class TestChime : public QObject
{
    Q_OBJECT
private slots:
    void firing_data();
    void firing();
    void timerWanted_data();
    void timerWanted();
    void nextChime_data();
    void nextChime();
};

void TestChime::firing_data()
{
    QTest::addColumn<QString>("boxes"); // H hour, S half, F fixed
    QTest::addColumn<QString>("fixed"); // "h:m" texts of the fixed-time boxes
    QTest::addColumn<QTime>("now");
    QTest::addColumn<int>("posted"); // -1: nothing

    QTest::newRow("on the hour") << "H"
                                 << "9:25" << QTime(10, 0, 37) << 10000;
    QTest::newRow("a minute later") << "H"
                                    << "9:25" << QTime(10, 1, 37) << -1;
    QTest::newRow("hour box at the half") << "H"
                                          << "9:25" << QTime(10, 30, 0) << -1;
    QTest::newRow("half hour") << "S"
                               << "9:25" << QTime(10, 30, 12) << 10030;
    QTest::newRow("half box on the hour") << "S"
                                          << "9:25" << QTime(11, 0, 0) << -1;
    QTest::newRow("hour and fixed together: one") << "HF"
                                                  << "10:0" << QTime(10, 0, 5) << 10000;
    QTest::newRow("fixed midnight") << "F"
                                    << "0:0" << QTime(0, 0, 59) << 0;
    QTest::newRow("fixed default 9:25") << "F"
                                        << "9:25" << QTime(9, 25, 1) << 9025;
    QTest::newRow("fixed, other minute") << "F"
                                         << "9:25" << QTime(9, 26, 1) << -1;
    QTest::newRow("fixed, other hour") << "F"
                                       << "9:25" << QTime(21, 25, 1) << -1;
    QTest::newRow("all three at midnight") << "HSF"
                                           << "0:0" << QTime(0, 0, 0) << 0;
    QTest::newRow("fixed time unticked") << "H"
                                         << "10:5" << QTime(10, 5, 0) << -1;
    QTest::newRow("fixed text not a number") << "F"
                                             << "abc:25" << QTime(9, 25, 0) << -1;
    QTest::newRow("fixed minute empty") << "F"
                                        << "9:" << QTime(9, 0, 0) << -1;
    QTest::newRow("fixed hour out of range") << "F"
                                             << "30:0" << QTime(6, 0, 0) << -1;
    QTest::newRow("late evening") << "HS"
                                  << "9:25" << QTime(23, 30, 59) << 23030;
    QTest::newRow("nothing ticked") << ""
                                    << "9:25" << QTime(10, 0, 0) << -1;
}

void TestChime::firing()
{
    QFETCH(QString, boxes);
    QFETCH(QString, fixed);
    QFETCH(QTime, now);
    QFETCH(int, posted);
    const QStringList hm = fixed.split(':');
    const hy::ChimeChoice choice{boxes.contains('H'), boxes.contains('S'), boxes.contains('F'),
                                 hm.value(0), hm.value(1)};
    const auto due = hy::chimeDue(choice, now);
    QCOMPARE(due.value_or(-1), posted);
}

void TestChime::timerWanted_data()
{
    QTest::addColumn<bool>("hour");
    QTest::addColumn<bool>("half");
    QTest::addColumn<bool>("fixed");
    QTest::addColumn<bool>("wanted");
    for (int bits = 0; bits < 8; ++bits)
        QTest::addRow("%d%d%d", bits & 1, (bits >> 1) & 1, (bits >> 2) & 1)
            << bool(bits & 1) << bool(bits & 2) << bool(bits & 4) << (bits != 0);
}

void TestChime::timerWanted()
{
    QFETCH(bool, hour);
    QFETCH(bool, half);
    QFETCH(bool, fixed);
    QFETCH(bool, wanted);
    QCOMPARE(hy::chimeTimerWanted({hour, half, fixed, "9", "25"}), wanted);
}

void TestChime::nextChime_data()
{
    QTest::addColumn<QTime>("now");
    QTest::addColumn<bool>("orNow");
    QTest::addColumn<int>("ms");
    QTest::newRow("22 s before the hour") << QTime(10, 59, 38) << true << 22000;
    QTest::newRow("a second before") << QTime(10, 59, 59) << true << 1000;
    QTest::newRow("on the minute, switched on") << QTime(11, 0, 0) << true << 0;
    QTest::newRow("on the minute, after a firing") << QTime(11, 0, 0) << false << 60000;
    QTest::newRow("a firing a little late") << QTime(11, 0, 0, 250) << false << 59750;
    QTest::newRow("a firing a little early") << QTime(10, 59, 59, 998) << false << 2;
    QTest::newRow("before midnight") << QTime(23, 59, 59, 999) << true << 1;
}

void TestChime::nextChime()
{
    QFETCH(QTime, now);
    QFETCH(bool, orNow);
    QFETCH(int, ms);
    QCOMPARE(hy::msToNextChime(now, orNow), ms);
}

QTEST_GUILESS_MAIN(TestChime)
#include "test_chime.moc"
