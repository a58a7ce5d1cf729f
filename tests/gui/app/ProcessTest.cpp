// The real program as a process: session-end signals save the settings, a second start ends at
// once, and a lock left by a killed run does not block the next start.

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

#include <csignal>

class ProcessTest : public QObject {
    Q_OBJECT

    struct Run {
        QTemporaryDir dir;
        QString home() const { return dir.path() + "/home"; }
        QString runtime() const { return dir.path() + "/runtime"; }
        QString ini() const { return home() + "/.config/quorvel/set.ini"; }
        QString lock() const { return runtime() + "/TFmain-Quorvel.lock"; }

        Run()
        {
            QDir().mkpath(home());
            QDir().mkpath(runtime());
            QFile::setPermissions(runtime(), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        }
        std::unique_ptr<QProcess> start() const
        {
            auto process = std::make_unique<QProcess>();
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            env.insert("HOME", home());
            env.insert("XDG_CONFIG_HOME", home() + "/.config");
            env.insert("XDG_RUNTIME_DIR", runtime());
            env.insert("QT_QPA_PLATFORM", "offscreen");
            env.remove("DISPLAY");
            env.remove("WAYLAND_DISPLAY");
            process->setProcessEnvironment(env);
            process->setProcessChannelMode(QProcess::ForwardedErrorChannel);
            process->start(QStringLiteral(QUORVEL_BINARY), {"-s"}); // the argument is ignored
            return process;
        }
        // The lock names its holder's process id on the first line.
        qint64 lockHolder() const
        {
            QFile file(lock());
            if (!file.open(QIODevice::ReadOnly))
                return -1;
            return file.readLine().trimmed().toLongLong();
        }
    };

    static void stop(QProcess& process)
    {
        if (process.state() == QProcess::NotRunning)
            return;
        ::kill(pid_t(process.processId()), SIGTERM);
        if (!process.waitForFinished(60000))
            process.kill();
    }

private slots:
    void signalsSaveSettings_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
        QTest::newRow("SIGHUP") << int(SIGHUP);
    }
    void signalsSaveSettings()
    {
        QFETCH(int, signal);
        Run run;
        QDir().mkpath(QFileInfo(run.ini()).absolutePath());
        {
            QFile ini(run.ini());
            QVERIFY(ini.open(QIODevice::WriteOnly));
            ini.write("[set]\nRate=25\ncbme=0\n");
        }
        auto process = run.start();
        QVERIFY(process->waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(run.lockHolder() == process->processId(), 60000);
        ::kill(pid_t(process->processId()), signal);
        QVERIFY(process->waitForFinished(60000));
        QCOMPARE(process->exitStatus(), QProcess::NormalExit);
        QCOMPARE(process->exitCode(), 0);
        QFile ini(run.ini());
        QVERIFY(ini.open(QIODevice::ReadOnly));
        const QByteArray content = ini.readAll();
        QVERIFY2(content.contains("Rate=10\n"), content.constData()); // read, clamped and written back
        QVERIFY2(content.contains("cbme=0\n"), content.constData());
        QVERIFY2(content.contains("showtime=1\n"), content.constData());
    }

    void secondStartEndsAtOnce()
    {
        Run run;
        auto first = run.start();
        QVERIFY(first->waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(run.lockHolder() == first->processId(), 60000);
        auto second = run.start();
        QVERIFY(second->waitForFinished(60000));
        QCOMPARE(second->exitStatus(), QProcess::NormalExit);
        QCOMPARE(second->exitCode(), 0);
        QCOMPARE(first->state(), QProcess::Running);
        QCOMPARE(run.lockHolder(), first->processId());
        stop(*first);
        QCOMPARE(first->exitCode(), 0);
    }

    void staleLockDoesNotBlock()
    {
        Run run;
        auto crashed = run.start();
        QVERIFY(crashed->waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(run.lockHolder() == crashed->processId(), 60000);
        crashed->kill(); // SIGKILL: no chance to remove the lock
        QVERIFY(crashed->waitForFinished(30000));
        QVERIFY(QFile::exists(run.lock()));

        auto next = run.start();
        QVERIFY(next->waitForStarted(30000));
        QTRY_VERIFY_WITH_TIMEOUT(run.lockHolder() == next->processId(), 60000);
        QCOMPARE(next->state(), QProcess::Running);
        stop(*next);
        QCOMPARE(next->exitCode(), 0);
    }
};

QTEST_GUILESS_MAIN(ProcessTest)
#include "ProcessTest.moc"
