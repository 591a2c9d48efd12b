// Jitter of the capture block hand-over: the driver hands a 24000-byte block to its listener
// every 125 ms; this records the intervals over a few seconds from a PulseAudio null-sink
// monitor described as the adapter (a private server is started when PULSE_SERVER is unset).

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QMutex>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <vector>

#include "audio/PulseDevices.h"
#include "audiodriver/MediaBackend.h"
#include "audiodriver/ORVAudioDriver.h"

namespace {

class Stamps final : public orv::ICaptureListener {
public:
    void OnCaptureChunk(const unsigned char*, unsigned long) override {
        QMutexLocker guard(&lock);
        ns.push_back(clock.nsecsElapsed());
    }
    QElapsedTimer clock;
    QMutex lock;  // guards ns
    std::vector<qint64> ns;
};

bool PulseRunning() {
    QProcess p;
    p.start(QStringLiteral("pactl"), {QStringLiteral("info")});
    return p.waitForFinished(5000) && p.exitStatus() == QProcess::NormalExit && p.exitCode() == 0;
}

}  // namespace

int main(int argc, char* argv[]) {
    orv::UseFfmpegMediaBackend();
    bool startedServer = false;
    if (qEnvironmentVariableIsEmpty("PULSE_SERVER")) {
        const QByteArray dir = ORV_BINARY_DIR "/pulse-runtime";
        qputenv("ORV_PULSE_DIR", dir);
        qputenv("PULSE_SERVER", "unix:" + dir + "/pulse/native");
        if (!PulseRunning()) {
            QProcess p;
            p.start(QStringLiteral(ORV_SOURCE_DIR "/scripts/pulse-server"), {});
            if (!p.waitForFinished(15000) || p.exitCode() != 0) {
                std::printf("audio hand-over jitter: skipped (no PulseAudio server)\n");
                return 0;
            }
            startedServer = true;
        }
    }
    QCoreApplication app(argc, argv);
    int rc = 0;
    {
        orv::test::PulseAdapterDevices devices(QStringLiteral("ORV318Pro"),
                                               QStringLiteral("bench"));
        if (!devices.Loaded() || !devices.WaitVisible()) {
            std::printf("audio hand-over jitter: skipped (no test devices)\n");
            return 0;
        }
        QTemporaryDir dir;
        const QAudioDevice in = devices.Input();
        Stamps stamps;
        stamps.clock.start();
        orv::CORVAudioDriver driver;
        driver.SetMsgWnd(&stamps);
        constexpr int kBlocks = 41;
        if (!driver.DirectSound_InitCaptureAudioSound(dir.filePath("bench.wav"), &in) ||
            !driver.DirectSound_CaptureAudioData()) {
            std::printf("audio hand-over jitter: capture failed: %s\n",
                        qPrintable(driver.LastErrorText()));
            return 1;
        }
        QTimer poll;
        QObject::connect(&poll, &QTimer::timeout, &app, [&] {
            QMutexLocker guard(&stamps.lock);
            if (int(stamps.ns.size()) >= kBlocks) {
                app.quit();
            }
        });
        poll.start(50);
        QTimer::singleShot(20000, &app, &QCoreApplication::quit);
        app.exec();
        driver.DirectSound_StopCaptureAudioData();
        driver.WaitCaptureFinish(5000);
        driver.SetMsgWnd(nullptr);

        QMutexLocker guard(&stamps.lock);
        std::vector<double> ms;
        for (size_t i = 2; i < stamps.ns.size(); ++i) {  // the first blocks come in a burst
            ms.push_back(double(stamps.ns[i] - stamps.ns[i - 1]) / 1e6);
        }
        if (ms.size() < 5) {
            std::printf("audio hand-over jitter: too few blocks (%zu)\n", stamps.ns.size());
            rc = 1;
        } else {
            double mean = 0;
            for (double v : ms) {
                mean += v;
            }
            mean /= double(ms.size());
            double var = 0;
            double worst = 0;
            for (double v : ms) {
                var += (v - mean) * (v - mean);
                worst = std::max(worst, std::abs(v - 125.0));
            }
            const double sd = std::sqrt(var / double(ms.size()));
            const auto [mn, mx] = std::minmax_element(ms.begin(), ms.end());
            std::printf(
                "audio hand-over: %zu intervals, mean %.2f ms (expected 125), "
                "std dev %.2f ms, min %.2f ms, max %.2f ms, worst deviation %.2f ms; "
                "first block %.0f ms after start\n",
                ms.size(), mean, sd, *mn, *mx, worst, double(stamps.ns[0]) / 1e6);
        }
    }
    if (startedServer) {
        QProcess p;
        p.start(QStringLiteral(ORV_SOURCE_DIR "/scripts/pulse-server"), {"--stop"});
        p.waitForFinished(5000);
    }
    return rc;
}
