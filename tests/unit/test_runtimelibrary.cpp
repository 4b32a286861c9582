// A library loaded at run time: usable only when it loads and has every
// function asked for; otherwise one line says which is missing.
#include "core/runtimelibrary.h"

#include <QtTest>

class TestRuntimeLibrary : public QObject
{
    Q_OBJECT
private slots:
    void usableOnlyWithEverything_data();
    void usableOnlyWithEverything();
};

void TestRuntimeLibrary::usableOnlyWithEverything_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QStringList>("symbols");
    QTest::addColumn<bool>("usable");
    QTest::addColumn<QString>("errorNames");

    QTest::newRow("all there") << "m" << QStringList{"cos", "sqrt"} << true << "";
    QTest::newRow("one missing") << "m" << QStringList{"cos", "hy_no_such", "sqrt"} << false
                                 << "hy_no_such";
    QTest::newRow("two missing") << "m" << QStringList{"hy_a", "hy_b"} << false << "hy_a, hy_b";
    QTest::newRow("no library") << "hytune-no-such" << QStringList{"cos"} << false
                                << "hytune-no-such";
}

void TestRuntimeLibrary::usableOnlyWithEverything()
{
    QFETCH(QString, name);
    QFETCH(QStringList, symbols);
    QFETCH(bool, usable);
    QFETCH(QString, errorNames);

    hy::RuntimeLibrary library(name, 6);
    bool allResolved = true;
    for (const QString& symbol : symbols) {
        void (*fn)() = reinterpret_cast<void (*)()>(1);
        library.resolve(fn, symbol.toLatin1().constData());
        allResolved = allResolved && fn;
    }
    QCOMPARE(library.isUsable(), usable);
    QCOMPARE(allResolved, usable);
    if (usable)
        QVERIFY(library.error().isEmpty());
    else
        QVERIFY2(library.error().contains(errorNames), qPrintable(library.error()));
}

QTEST_GUILESS_MAIN(TestRuntimeLibrary)
#include "test_runtimelibrary.moc"
