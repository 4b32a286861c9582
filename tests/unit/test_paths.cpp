#include "core/paths.h"

#include <QTemporaryDir>
#include <QtTest>

class TestPaths : public QObject
{
    Q_OBJECT
private slots:
    void locations_data();
    void locations();
    void defaultSettingsForInstalledProgram();
    void installedOrPortable_data();
    void installedOrPortable();
};

void TestPaths::locations_data()
{
    QTest::addColumn<bool>("installed");
    QTest::addColumn<QString>("settings");
    QTest::addColumn<QString>("cache");
    QTest::newRow("build or unpacked folder") << false << "/opt/hy/bin/hytunetm.db"
                                              << "/opt/hy/bin/tipsupd.dat";
    QTest::newRow("installed") << true << "/home/u/.config/hytune/hytunetm.db"
                               << "/home/u/.cache/hytune/tipsupd.dat";
}

void TestPaths::locations()
{
    QFETCH(bool, installed);
    QFETCH(QString, settings);
    QFETCH(QString, cache);
    const hy::DataLocations where =
        hy::dataLocationsFor("/opt/hy/bin", installed, "/home/u/.config", "/home/u/.cache",
                             "/usr/share/hytune/hytunetm.db");
    QCOMPARE(where.settingsFile, settings);
    QCOMPARE(where.tipsCache, cache);
    QCOMPARE(where.portable, !installed);
    QCOMPARE(where.shippedSettings.isEmpty(), !installed);
}

void TestPaths::defaultSettingsForInstalledProgram()
{
    QTemporaryDir dir;
    const QString shipped = dir.filePath("share/hytunetm.db");
    QDir().mkpath(dir.filePath("share"));
    QFile f(shipped);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[Common]\nHourCounter=0\n");
    f.close();

    const auto installed = hy::dataLocationsFor(dir.filePath("bin"), true, dir.filePath("config"),
                                                dir.filePath("cache"), shipped);
    QVERIFY(hy::provideDefaultSettings(installed));
    QFile copied(installed.settingsFile);
    QVERIFY(copied.open(QIODevice::ReadOnly));
    QCOMPARE(copied.readAll(), QByteArray("[Common]\nHourCounter=0\n"));
    copied.close();
    QVERIFY(QFileInfo(installed.settingsFile).isWritable());
    QVERIFY(QFileInfo(QFileInfo(installed.tipsCache).path()).isDir());

    // The user's own file is never overwritten.
    QFile own(installed.settingsFile);
    QVERIFY(own.open(QIODevice::WriteOnly | QIODevice::Truncate));
    own.write("[Common]\nHourCounter=5\n");
    own.close();
    QVERIFY(!hy::provideDefaultSettings(installed));
    QVERIFY(own.open(QIODevice::ReadOnly));
    QCOMPARE(own.readAll(), QByteArray("[Common]\nHourCounter=5\n"));

    // Run from a folder, nothing is copied anywhere.
    const auto portable = hy::dataLocationsFor(dir.filePath("bin"), false, dir.filePath("config2"),
                                               dir.filePath("cache2"), shipped);
    QVERIFY(!hy::provideDefaultSettings(portable));
    QVERIFY(!QFile::exists(portable.settingsFile));
}

void TestPaths::installedOrPortable_data()
{
    QTest::addColumn<bool>("shipped");
    QTest::addColumn<bool>("writable");
    QTest::addColumn<bool>("settingsBeside");
    QTest::addColumn<bool>("installed");
    QTest::newRow("build folder") << false << true << true << false;
    QTest::newRow("unpacked, settings deleted") << false << true << false << false;
    QTest::newRow("installed under a prefix") << true << true << false << true;
    QTest::newRow("system folder, nothing beside") << false << false << false << true;
    QTest::newRow("read-only medium with its settings") << false << false << true << false;
}

void TestPaths::installedOrPortable()
{
    QFETCH(bool, shipped);
    QFETCH(bool, writable);
    QFETCH(bool, settingsBeside);
    QFETCH(bool, installed);
    QCOMPARE(hy::isInstalledCopy(shipped, writable, settingsBeside), installed);
}

QTEST_GUILESS_MAIN(TestPaths)
#include "test_paths.moc"
