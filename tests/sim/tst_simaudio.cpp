// The simulated adapter's sound card on a private PulseAudio server (ctest fixture "pulse"):
// devices that come and go with the adapter, the headset's ear and its microphone.

#include "SimHarness.h"
#include "sim/SimAudio.h"

#include <QProcess>
#include <QRegularExpression>
#include <QTest>

#include <unistd.h>

#include <cmath>
#include <vector>

namespace {

struct PaDevice {
    QString name;
    QString description;
};

QString Run(const QString& program, const QStringList& args, const QByteArray& input = {}) {
    QProcess p;
    p.start(program, args);
    if (!p.waitForStarted(5000))
        return {};
    if (!input.isEmpty())
        p.write(input);
    p.closeWriteChannel();
    p.waitForFinished(10000);
    return QString::fromUtf8(p.readAllStandardOutput());
}

// "pactl list sinks|sources" as name and description pairs.
QList<PaDevice> List(const char* kind) {
    QList<PaDevice> out;
    PaDevice cur;
    for (const QString& raw : Run("pactl", {"list", kind}).split('\n')) {
        const QString l = raw.trimmed();
        if (l.startsWith(QLatin1String("Name: ")))
            cur.name = l.mid(6);
        else if (l.startsWith(QLatin1String("Description: "))) {
            cur.description = l.mid(13);
            out << cur;
        }
    }
    return out;
}

// Record streams ("source outputs") this process has on the server.
int OurSourceOutputs() {
    const QString mine = QStringLiteral("application.process.id = \"%1\"").arg(getpid());
    int n = 0;
    for (const QString& l : Run("pactl", {"list", "source-outputs"}).split('\n'))
        n += l.trimmed() == mine ? 1 : 0;
    return n;
}

QString Prefix() {
    return QStringLiteral("orvsim.%1.").arg(getpid());
}

// Our devices described `description`, by role suffix (".render", ".capture").
QStringList Ours(const char* kind, const QString& description, const QString& suffix) {
    QStringList names;
    for (const PaDevice& d : List(kind))
        if (d.name.startsWith(Prefix()) && d.name.endsWith(suffix) && d.description == description)
            names << d.name;
    return names;
}

QString Scenario(const QString& product, const QString& mic) {
    return QStringLiteral(
               "[Adapter]\nProductId=%1\nConnectMs=5\n"
               "[Headset1]\nName=Ear\nMac=00:1a:7d:da:71:13\nProfiles=hfp,a2dp,avrcp\n"
               "KeysRepeatMs=0\nMicLevelDb=%2\nMicToneHz=700\n")
        .arg(product, mic);
}

bool Connect(SimHarness& h) {
    const QString m = QStringLiteral("00:1a:7d:da:71:13");
    return h.Send("call " + m + " 111e hfp-ag") && h.Send("call " + m + " 19 a2dp") &&
           h.Send("call " + m + " 17 avrcp") && h.WaitLine(QStringLiteral("CONNECT 3 AVRCP 17"));
}

QByteArray Tone(double hz, double rmsDb, double seconds) {
    const int n = static_cast<int>(48000 * seconds);
    std::vector<float> s(n);
    const double amp = std::sqrt(2.0) * std::pow(10.0, rmsDb / 20.0);
    for (int i = 0; i < n; ++i)
        s[i] = static_cast<float>(amp * std::sin(2 * M_PI * hz * i / 48000.0));
    return QByteArray(reinterpret_cast<const char*>(s.data()), n * 4);
}

// Records about `seconds` from a source and measures its last 100 ms.
bool Record(const QString& source, double seconds, double* db, double* hz) {
    QProcess p;
    p.start("parec", {"--device=" + source, "--format=float32le", "--rate=48000", "--channels=1",
                      "--raw", "--latency-msec=20"});
    if (!p.waitForStarted(5000))
        return false;
    QByteArray data;
    const qsizetype want = static_cast<qsizetype>(48000 * 4 * seconds);
    while (data.size() < want && p.waitForReadyRead(3000))
        data += p.readAllStandardOutput();
    p.kill();
    p.waitForFinished(3000);
    if (data.size() < want)
        return false;
    const int n = 4800;
    const float* last = reinterpret_cast<const float*>(data.constData() + data.size() - n * 4);
    orv::sim::MeasureBlock(last, n, 48000, db, hz);
    return true;
}

}  // namespace

class TestSimAudio : public QObject {
    Q_OBJECT
private slots:
    void initTestCase();
    void measurement();
    void devicesFollowTheAdapter_data();
    void devicesFollowTheAdapter();
    void staleDevicesReplaced();
    void earHearsTheRenderSink();
    void microphoneReachesTheCaptureSource();
    void earListensAsLongAsTheDevicesExist();
};

void TestSimAudio::initTestCase() {
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER"))
        QSKIP("needs the ctest fixture \"pulse\" (PULSE_SERVER)");
    QVERIFY2(!Run("pactl", {"info"}).isEmpty(), "the PulseAudio server does not answer");
}

void TestSimAudio::measurement() {
    const QByteArray t = Tone(1000, -12, 0.1);
    double db = 0, hz = 0;
    orv::sim::MeasureBlock(reinterpret_cast<const float*>(t.constData()), 4800, 48000, &db, &hz);
    QVERIFY2(std::abs(db + 12) < 0.1, qPrintable(QString::number(db)));
    QVERIFY2(std::abs(hz - 1000) < 5, qPrintable(QString::number(hz)));
    std::vector<float> silence(4800, 0.0f);
    orv::sim::MeasureBlock(silence.data(), 4800, 48000, &db, &hz);
    QVERIFY(db <= -200);
}

void TestSimAudio::devicesFollowTheAdapter_data() {
    QTest::addColumn<QString>("product");
    QTest::addColumn<QString>("description");
    QTest::newRow("ORV318Pro") << "0x5750"
                               << "ORV318Pro";
    QTest::newRow("ORV318Pro B") << "0x5751"
                                 << "ORV318Pro B";
}

void TestSimAudio::devicesFollowTheAdapter() {
    QFETCH(QString, product);
    QFETCH(QString, description);
    {
        SimHarness h;
        QVERIFY(h.Start(Scenario(product, {})));
        QCOMPARE(Ours("sinks", description, ".render").size(), 1);
        QCOMPARE(Ours("sources", description, ".capture").size(), 1);
        QVERIFY(h.Control("state").contains(QLatin1String("audio=1")));

        QCOMPARE(h.Control("unplug"), QStringLiteral("OK"));
        QVERIFY(Ours("sinks", description, ".render").isEmpty());
        QVERIFY(Ours("sources", description, ".capture").isEmpty());

        QCOMPARE(h.Control("plug"), QStringLiteral("OK"));
        QCOMPARE(Ours("sinks", description, ".render").size(), 1);
        QCOMPARE(Ours("sources", description, ".capture").size(), 1);
    }
    // The program ends: the sound card goes with it.
    for (const PaDevice& d : List("sinks"))
        QVERIFY2(!d.name.startsWith(Prefix()), qPrintable(d.name));
    for (const PaDevice& d : List("sources"))
        QVERIFY2(!d.name.startsWith(Prefix()), qPrintable(d.name));
}

void TestSimAudio::staleDevicesReplaced() {
    // A run that crashed left its sink behind: its process id no longer lives.
    const QString deadPid = Run("sh", {"-c", "echo $$"}).trimmed();
    QVERIFY(!deadPid.isEmpty());
    const QString stale = QStringLiteral("orvsim.%1.1.render").arg(deadPid);
    Run("pactl", {"load-module", "module-null-sink", "sink_name=" + stale,
                  "sink_properties=device.description=ORV318Pro"});
    bool present = false;
    for (const PaDevice& d : List("sinks"))
        present = present || d.name == stale;
    QVERIFY(present);

    SimHarness h;
    QVERIFY(h.Start(Scenario("0x5750", {})));
    for (const PaDevice& d : List("sinks"))
        QVERIFY2(d.name != stale, "the stale sink is still there");
    QCOMPARE(Ours("sinks", "ORV318Pro", ".render").size(), 1);
}

void TestSimAudio::earHearsTheRenderSink() {
    SimHarness h;
    QVERIFY(h.Start(Scenario("0x5750", {})));
    const QStringList render = Ours("sinks", "ORV318Pro", ".render");
    QCOMPARE(render.size(), 1);
    QVERIFY(Connect(h));
    QVERIFY(h.Control("state").contains(QLatin1String("heard=none")));
    QVERIFY(h.Send("@1 a2dp streaming start 1"));
    QVERIFY(h.WaitLine("A2DP STREAMING START 1"));

    QProcess play;
    play.start("pacat", {"--playback", "--device=" + render.first(), "--format=float32le",
                         "--rate=48000", "--channels=1", "--raw"});
    QVERIFY(play.waitForStarted(5000));
    play.write(Tone(440, -12, 1.0));
    play.closeWriteChannel();
    static const QRegularExpression re(QStringLiteral("heard=(-?[0-9.]+)dBFS@([0-9]+)Hz"));
    QRegularExpressionMatch m;
    QTRY_VERIFY_WITH_TIMEOUT((m = re.match(h.Control("state"))).hasMatch(), 5000);
    // The loudest block is a whole block of the tone once it has played a while.
    QTRY_VERIFY_WITH_TIMEOUT(
        (m = re.match(h.Control("state"))).hasMatch() && m.captured(1).toDouble() > -13.0, 5000);
    QVERIFY2(std::abs(m.captured(1).toDouble() + 12) < 1.0, qPrintable(m.captured(0)));
    QVERIFY2(std::abs(m.captured(2).toDouble() - 440) < 10, qPrintable(m.captured(0)));
    play.waitForFinished(5000);
}

void TestSimAudio::microphoneReachesTheCaptureSource() {
    SimHarness h;
    QVERIFY(h.Start(Scenario("0x5750", "-20")));
    const QStringList capture = Ours("sources", "ORV318Pro", ".capture");
    QCOMPARE(capture.size(), 1);
    QVERIFY(Connect(h));
    double db = 0, hz = 0;

    // No SCO: the microphone is silent.
    QVERIFY(Record(capture.first(), 0.3, &db, &hz));
    QVERIFY2(db < -80, qPrintable(QString::number(db)));

    QVERIFY(h.Send("sco open 0"));
    QVERIFY(h.WaitLine("CONNECT 4 SCO"));
    QTRY_VERIFY_WITH_TIMEOUT(h.Control("state").contains(QLatin1String("mic=on")), 3000);
    QVERIFY(Record(capture.first(), 0.5, &db, &hz));
    QVERIFY2(std::abs(db + 20) < 1.0, qPrintable(QString::number(db)));
    QVERIFY2(std::abs(hz - 700) < 10, qPrintable(QString::number(hz)));

    // With SCO closed the microphone stops, and what the station plays into the render sink
    // never reaches the capture source.
    QVERIFY(h.Send("close 4"));
    QVERIFY(h.WaitLine("NO CARRIER 4 ERROR 0"));
    QTRY_VERIFY_WITH_TIMEOUT(h.Control("state").contains(QLatin1String("mic=off")), 3000);
    QProcess play;
    play.start("pacat",
               {"--playback", "--device=" + Ours("sinks", "ORV318Pro", ".render").value(0),
                "--format=float32le", "--rate=48000", "--channels=1", "--raw"});
    QVERIFY(play.waitForStarted(5000));
    play.write(Tone(440, -6, 1.0));
    play.closeWriteChannel();
    QVERIFY(Record(capture.first(), 0.4, &db, &hz));
    QVERIFY2(db < -80, qPrintable(QString::number(db)));
    play.kill();
    play.waitForFinished(5000);
}

// A sink's latency in microseconds, -1 if unknown: how far ahead it has rendered now, or (with
// `configured`) the latency its streams ask it to keep.
qint64 SinkLatencyUs(const QString& sink, bool configured) {
    bool inSink = false;
    static const QRegularExpression re(
        QStringLiteral("^Latency: ([0-9]+) usec, configured ([0-9]+) usec"));
    for (const QString& raw : Run("pactl", {"list", "sinks"}).split('\n')) {
        const QString l = raw.trimmed();
        if (l.startsWith(QLatin1String("Name: ")))
            inSink = l.mid(6) == sink;
        const QRegularExpressionMatch m = re.match(l);
        if (inSink && m.hasMatch())
            return m.captured(configured ? 2 : 1).toLongLong();
    }
    return -1;
}

// The ear's stream lives as long as the devices: switching the ear on and off (a headset whose
// links open and close one after the other) neither adds nor leaks streams, and the render
// sink keeps a low latency throughout, so a player started on it is taken at once rather than
// in the idle null sink's 2 s blocks. Sound played while the ear is off is not counted.
void TestSimAudio::earListensAsLongAsTheDevicesExist() {
    orv::sim::CSimAudio audio;
    QVERIFY(audio.AddDevices(0x5750));
    QTRY_COMPARE_WITH_TIMEOUT(OurSourceOutputs(), 1, 5000);
    // Both sinks run at a low latency from the start, not only once their first 2 s block
    // has played out.
    const QString render = audio.renderSinkName();
    const QString mic = QString(render).replace(QLatin1String(".render"), QLatin1String(".mic"));
    for (const QString& sink : {render, mic}) {
        const qint64 now = SinkLatencyUs(sink, false);
        const qint64 configured = SinkLatencyUs(sink, true);
        QVERIFY2(
            now >= 0 && now <= 100000 && configured > 0 && configured <= 50000,
            qPrintable(
                QStringLiteral("%1: %2 us, configured %3 us").arg(sink).arg(now).arg(configured)));
    }
    for (int i = 0; i < 20; ++i) {
        audio.SetEarOn(true);
        audio.SetEarOn(false);
    }
    QCOMPARE(OurSourceOutputs(), 1);

    QProcess play;
    play.start("pacat", {"--playback", "--device=" + render, "--format=float32le", "--rate=48000",
                         "--channels=1", "--raw"});
    QVERIFY(play.waitForStarted(5000));
    play.write(Tone(440, -12, 0.6));
    play.closeWriteChannel();
    QVERIFY(play.waitForFinished(5000));
    QTest::qWait(200);
    QVERIFY(!audio.Heard().valid);
    audio.SetEarOn(true);
    QTest::qWait(300);
    QVERIFY2(!audio.Heard().valid || audio.Heard().levelDb < -80,
             qPrintable(QString::number(audio.Heard().levelDb)));
    audio.SetEarOn(false);

    audio.RemoveDevices();
    QTRY_COMPARE_WITH_TIMEOUT(OurSourceOutputs(), 0, 5000);
}

QTEST_GUILESS_MAIN(TestSimAudio)
#include "tst_simaudio.moc"
