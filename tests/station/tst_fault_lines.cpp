// Faults of the module's lines and of the controller's serial line while a headset is tested,
// end to end with sound: the station through the simulated adapter, the simple test window and
// the SQLite file in the test's home folder. Each case ends with the verdict recorded and the
// same station testing the next headset.
#include <QApplication>
#include <QRandomGenerator>
#include <QTest>
#include <QTimer>

#include <cstdio>
#include <cstdlib>

#include "audio/BTPlayMusic.h"
#include "audiodriver/MediaBackend.h"
#include "config/Settings.h"
#include "remote/CnComm.h"
#include "remote/PtyPair.h"
#include "station/StationFixture.h"

using namespace orv;
using orv::test::StationFixture;

class TestFaultLines final : public QObject {
    Q_OBJECT

private:
    StationFixture m_f;

private slots:
    void initTestCase() {
        const QString error = m_f.Init();
        QVERIFY2(error.isEmpty(), qPrintable(error));
    }

    void cleanup() { m_f.CloseStation(); }

    // Lines that run into each other or come with binary noise, through a whole one-key test.
    // Glued lines hide events (the module never glues them; a corrupting cable might).
    void brokenLines_data() {
        QTest::addColumn<QString>("fault");
        QTest::newRow("glued lines") << QStringLiteral("glue-lines");
        QTest::newRow("garbage between lines") << QStringLiteral("garbage");
    }
    void brokenLines() {
        QFETCH(QString, fault);
        m_f.NewCase({});
        const QString made =
            m_f.MakeStation(test::FixtureScenario({QStringLiteral("Faults=") + fault}, {}, true));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        QString text;
        const int code = m_f.Run(&text, 60000);
        int rows = 0;
        m_f.CheckOutcome(code, text, &rows);
        if (QTest::currentTestFailed())
            return;
        if (code != kAutoTestNotTested) {
            QCOMPARE(m_f.Rows().first().values.value(test::kSavedName),
                     QStringLiteral("Line Headset"));
        }
        // The next headset, without the fault, on the same station.
        m_f.NextHeadsetPasses(rows, test::kSecondMac);
    }

    // A 10,000-character line while the headset's music plays, then the rest of the test.
    void longLineDuringTest() {
        m_f.NewCase({QStringLiteral("AutoTest/6=0"), QStringLiteral("AutoTest/7=0"),
                     QStringLiteral("Play/PlayTimes=2.0")});
        const QString made = m_f.MakeStation(test::FixtureScenario({}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        QString answer;
        QTimer poll;
        poll.setInterval(5);
        connect(&poll, &QTimer::timeout, this, [&] {
            if (m_f.dlg->TestStage() != 5)
                return;
            poll.stop();
            QString line;
            while (line.size() < 10000)
                line += QStringLiteral("lorem ipsum %1 ").arg(line.size());
            line.truncate(10000);
            answer = m_f.sim->Control(QStringLiteral("say ") + line);
        });
        poll.start();
        QString text;
        const int code = m_f.Run(&text, 60000);
        QCOMPARE(answer, QStringLiteral("OK"));
        QVERIFY2(code == kAutoTestPass, qPrintable(text));
        QVERIFY(m_f.Window()->Results().WaitForSaves(10000));
        QCOMPARE(m_f.Rows().size(), 1);
        m_f.NextHeadsetPasses(1);
    }

    // The line controller floods the serial port while a headset is tested: the test ends with
    // its row saved and the controller's next command is answered.
    void serialFloodDuringTest() {
        test::PtyPair line;
        if (!line.IsValid())
            QSKIP("no pseudo-terminals on this system");
        m_f.NewCase({QStringLiteral("AutoTest/6=0"), QStringLiteral("AutoTest/7=0"),
                     QStringLiteral("AutoTest/8=0"), QStringLiteral("Play/PlayTimes=2.0")});
        SetSerialPortName(GetConfigPath(), line.SlavePath());
        SetSerialPort(GetConfigPath(), 1, 115200, 1);
        const QString made = m_f.MakeStation(test::FixtureScenario({}));
        QVERIFY2(made.isEmpty(), qPrintable(made));
        QVERIFY(m_f.dlg->RemotePort()->IsOpen());

        constexpr qsizetype kFlood = 2 * 1024 * 1024;
        QByteArray flood(kFlood, Qt::Uninitialized);
        QRandomGenerator random(20261210);
        random.fillRange(reinterpret_cast<quint32*>(flood.data()), kFlood / 4);
        for (char& c : flood) {
            if (c >= 'A' && c <= 'Z')
                c = char(c - 'A' + 'a');  // no command word among them
        }
        QTimer start;
        start.setInterval(5);
        connect(&start, &QTimer::timeout, this, [&] {
            if (m_f.dlg->TestRunning()) {
                start.stop();
                line.StartWriter(flood);
            }
        });
        start.start();
        QString text;
        const int code = m_f.Run(&text, 60000);
        QVERIFY2(code == kAutoTestPass, qPrintable(text));
        QVERIFY(m_f.Window()->Results().WaitForSaves(10000));
        QCOMPARE(m_f.Rows().size(), 1);
        CnComm* port = m_f.dlg->RemotePort();
        QVERIFY(
            QTest::qWaitFor([&] { return line.WriterDone() && port->Buffered() == 0; }, 60000));
        QVERIFY(line.WriterOk());
        QVERIFY(line.Send("BATTERY"));
        QByteArray answer;
        // A marker that never comes: each call takes what has arrived, without waiting.
        QVERIFY2(QTest::qWaitFor(
                     [&] {
                         answer += line.ReceiveUntil(QByteArrayLiteral("\x7f\x7f"), 0);
                         return answer.contains("OK");
                     },
                     10000),
                 answer.constData());
        m_f.NextHeadsetPasses(1);
    }
};

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    QApplication app(argc, argv);
    TestFaultLines test;
    const int code = QTest::qExec(&test, argc, argv);
    if (orv::CBTPlayMusic::PlayersLeftBehind() > 0) {
        std::fflush(nullptr);
        std::_Exit(code);  // as the program does: see CBTPlayMusic::PlayersLeftBehind
    }
    return code;
}
#include "tst_fault_lines.moc"
