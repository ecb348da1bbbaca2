#include "engineprogram.h"
#include "gamefolder.h"
#include "startsequence.h"
#include "tempgamefolder.h"

#include <QTest>
#include <QtEndian>

// How the start sequence starts the engine: through Wine or not, by its
// first bytes. Starting the stand-in engine in its role is played by the
// whole-game tests (tests/e2e).
class TestEngineStart : public QObject
{
    Q_OBJECT

private slots:
    // The engine's first bytes decide whether Wine starts it.
    void headerCheck_data()
    {
        QTest::addColumn<QByteArray>("bytes");
        QTest::addColumn<EngineProgram::Kind>("kind");
        QTest::newRow("x86-64 PE")
            << fileBytes(HVD_WINDOWS_ENGINE_PATH) << EngineProgram::Kind::WindowsX8664;
        QTest::newRow("i386 PE") << pe(0x40, QByteArray("PE\0\0\x4c\x01", 6))
                                 << EngineProgram::Kind::WindowsI386;
        QTest::newRow("lying offset")
            << pe(0x7FFFFFFA, QByteArray("PE\0\0\x64\x86", 6)) << EngineProgram::Kind::Other;
        QTest::newRow("native stand-in")
            << fileBytes(HVD_ENGINE_PATH) << EngineProgram::Kind::Other;
        QTest::newRow("shell script")
            << QByteArray("#!/bin/sh\nexit 0\n") << EngineProgram::Kind::Other;
        QTest::newRow("zero bytes") << QByteArray() << EngineProgram::Kind::Other;
    }

    void headerCheck()
    {
        QFETCH(QByteArray, bytes);
        QFETCH(EngineProgram::Kind, kind);
        if (bytes.isEmpty() && QTest::currentDataTag() == QLatin1String("x86-64 PE")) {
            if (qEnvironmentVariableIsSet("CI"))
                QFAIL("mingw-w64 is not installed");
            QSKIP("mingw-w64 is not installed");
        }
        TempGameFolder tmp;
        QVERIFY(tmp.write(QStringLiteral("HvdAIS2p.EXE"), bytes));
        QCOMPARE(EngineProgram::kindOf(tmp.file(QStringLiteral("HvdAIS2p.EXE"))), kind);
    }

    // A 32-bit Windows engine with no Wine on the PATH nor in Debian's
    // place: the start fails with what to do, after writing the files as
    // always.
    void windowsEngineWithoutWine()
    {
        TempGameFolder tmp, noWine;
        QVERIFY(
            tmp.write(QStringLiteral("HvdAIS2p.EXE"), pe(0x40, QByteArray("PE\0\0\x4c\x01", 6))));
        // A "wine" that is no program does not count.
        QVERIFY(noWine.write(QStringLiteral("wine"), "#!/bin/sh\n"));
        QProcessEnvironment environment;
        environment.insert(QStringLiteral("PATH"), noWine.path());
        const GameFolder folder(tmp.path());
        const QDateTime now(QDate(2026, 3, 4), QTime(5, 6, 7));
        QString error;
        QVERIFY(!StartSequence::run(folder, Role::Client, "Castle.map", true, &error, now,
                                    EngineProgram(environment, noWine.path())));
        QVERIFY2(error.contains(QLatin1String("Windows program")) &&
                     error.contains(QLatin1String("sudo apt install wine")) &&
                     error.contains(QLatin1String("dpkg --add-architecture i386")),
                 qPrintable(error));
        QCOMPARE(tmp.read(QStringLiteral("GameLog.txt")) + tmp.read(QStringLiteral("Control.ini")),
                 "GameLog: 03-04-2026 05:06:07\r\nCastle.map\r\nClientGame.sav\r\n1\r\nClient\r\n");
        QCOMPARE(QDir(tmp.path()).entryList(QDir::Files).size(), 3);
    }

private:
    /// A header that says "MZ" and holds offset at 0x3C, tail after it.
    static QByteArray pe(quint32 offset, const QByteArray &tail)
    {
        QByteArray bytes = "MZ" + QByteArray(0x3E, '\0') + tail;
        qToLittleEndian(offset, bytes.data() + 0x3C);
        return bytes;
    }

    static QByteArray fileBytes(const char *path)
    {
        QFile file(QString::fromLocal8Bit(path));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }
};

QTEST_GUILESS_MAIN(TestEngineStart)
#include "tst_enginestart.moc"
