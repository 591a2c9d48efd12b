// The system volume and the default devices on a real PulseAudio server. The test starts a
// server of its own (scripts/pulse-server in a private folder), so changing its defaults and
// volumes cannot disturb other tests that play or record at the same time.
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QTest>

#include "audio/SystemVolume.h"
#include "config/AppHome.h"

using namespace orv;

namespace {

QString Pactl(const QStringList& args) {
    QProcess p;
    p.start(QStringLiteral("pactl"), args);
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput()).trimmed();
}

int SinkPercent() {
    const QString out = Pactl({"get-sink-volume", "@DEFAULT_SINK@"});
    const QRegularExpressionMatch m = QRegularExpression(QStringLiteral("(\\d+)%")).match(out);
    return m.hasMatch() ? m.captured(1).toInt() : -1;
}

bool SinkMuted() {
    return Pactl({"get-sink-mute", "@DEFAULT_SINK@"}).endsWith("yes");
}

}  // namespace

class TestSystemVolume final : public QObject {
    Q_OBJECT
    QTemporaryDir m_home;
    QTemporaryDir m_pulse;
    QString m_script;

private slots:
    void initTestCase() {
        QVERIFY(m_home.isValid() && m_pulse.isValid());
        SetAppHome(m_home.path());
        m_script = QStringLiteral(ORV_SOURCE_DIR "/scripts/pulse-server");
        QProcess start;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORV_PULSE_DIR"), m_pulse.path());
        start.setProcessEnvironment(env);
        start.start(m_script);
        QVERIFY(start.waitForFinished(30000));
        QVERIFY2(start.exitCode() == 0, start.readAllStandardError().constData());
        qputenv("PULSE_SERVER",
                QString::fromUtf8(start.readAllStandardOutput()).trimmed().toUtf8());
        QVERIFY(!Pactl({"info"}).isEmpty());
    }

    void cleanupTestCase() {
        QProcess stop;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ORV_PULSE_DIR"), m_pulse.path());
        stop.setProcessEnvironment(env);
        stop.start(m_script, {QStringLiteral("--stop")});
        stop.waitForFinished(10000);
    }

    void setsPercentAndUnmutes_data() {
        QTest::addColumn<int>("gain");  // HFP gain 0 to 15, as the link converts it
        QTest::addColumn<int>("percent");
        QTest::newRow("gain 7 gives 46 %") << 7 << 46;
        QTest::newRow("gain 15 gives 100 %") << 15 << 100;
        QTest::newRow("gain 0 gives 0 %, unmuted") << 0 << 0;
    }
    void setsPercentAndUnmutes() {
        QFETCH(int, gain);
        QFETCH(int, percent);
        Pactl({"set-sink-mute", "@DEFAULT_SINK@", "1"});
        const int legacy = 0;
        QString error;
        QCOMPARE(SetSystemVolume(&legacy, gain * 100 / 15, &error), 1);
        QVERIFY2(error.isEmpty(), qPrintable(error));
        QCOMPARE(SinkPercent(), percent);
        QVERIFY(!SinkMuted());
    }

    void legacyAudioLeavesMixerAlone() {
        const int normal = 0;
        QCOMPARE(SetSystemVolume(&normal, 30), 1);
        const int legacy = 1;
        QCOMPARE(SetSystemVolume(&legacy, 80), 0);
        QCOMPARE(SinkPercent(), 30);
    }

    void selectsAdapterDevices() {
        Pactl({"load-module", "module-null-sink", "sink_name=orv_a",
               "sink_properties=device.description=ORV318Pro"});
        Pactl({"load-module", "module-null-sink", "sink_name=orv_other",
               "sink_properties=device.description=Other"});
        Pactl({"load-module", "module-remap-source", "master=orv_a.monitor", "source_name=orv_mic",
               "source_properties=device.description=ORV318Pro"});
        Pactl({"set-default-sink", "orv_other"});
        QVERIFY(SelectDefaultDevices(QStringLiteral("ORV318Pro")));
        QCOMPARE(Pactl({"get-default-sink"}), QStringLiteral("orv_a"));
        // The monitor of the adapter's sink also has it in its description; the remapped
        // source is the recording device.
        QCOMPARE(Pactl({"get-default-source"}), QStringLiteral("orv_mic"));

        // A default that already is an adapter device stays.
        Pactl({"load-module", "module-null-sink", "sink_name=orv_b",
               "sink_properties=device.description=ORV318Pro_B"});
        Pactl({"set-default-sink", "orv_b"});
        QVERIFY(SelectDefaultDevices(QStringLiteral("ORV318Pro")));
        QCOMPARE(Pactl({"get-default-sink"}), QStringLiteral("orv_b"));
    }

    void noServer() {
        const QByteArray saved = qgetenv("PULSE_SERVER");
        qputenv("PULSE_SERVER", "unix:/nonexistent/pulse/native");
        const int legacy = 0;
        QString error;
        QCOMPARE(SetSystemVolume(&legacy, 50, &error), 0);
        QCOMPARE(error, QStringLiteral("pa_context_connect"));
        QVERIFY(!SelectDefaultDevices(QStringLiteral("ORV318Pro"), &error));
        qputenv("PULSE_SERVER", saved);
    }
};

QTEST_GUILESS_MAIN(TestSystemVolume)
#include "tst_systemvolume.moc"
