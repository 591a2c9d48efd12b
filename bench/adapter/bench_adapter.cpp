// Figures of the adapter link: parser throughput, the voice-recognition reply latency through
// the whole link (monitor thread, parser thread, send), and the cost of an idle open link.
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>

#include <sys/resource.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "adapter/AdapterLink.h"
#include "adapter/ReportText.h"
#include "config/AppHome.h"
#include "config/Config.h"

using namespace orv;
using Clock = std::chrono::steady_clock;

namespace {

const char* const kMac = "00:1a:7d:da:71:13";

// What a connected headset and an inquiry make the module print.
QString RealisticText() {
    QString t;
    for (int i = 0; i < 8; ++i) {
        t += QStringLiteral("INQUIRY_PARTIAL 00:1a:7d:da:71:%1 240404 \"\" -%2\r\n")
                 .arg(i, 2, 10, QLatin1Char('0'))
                 .arg(40 + i);
    }
    t += QStringLiteral("INQUIRY 8\r\n");
    t += QStringLiteral("NAME %1 \"ORV Headset \xe8\x80\xb3\"\r\n").arg(kMac);
    t += QStringLiteral("RSSI %1 -46\r\n").arg(kMac);
    t += QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+XAPL=05AC-1234-0100,10\\r\r\n");
    t += QStringLiteral("HFP-AG 0 UNKNOWN (0): AT+BIEV=2,80\\r\r\n");
    t += QStringLiteral("HFP-AG 0 VOLUME 9\r\n");
    t += QStringLiteral("AVRCP 3 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED 55\r\n");
    t += QStringLiteral("AVRCP PLAY PRESS\r\nAVRCP PLAY RELEASE\r\n");
    t += QStringLiteral("A2DP STREAMING START 1\r\n");
    return t;
}

class CNullHost final : public IModuleHost {
public:
    void SendReply(const QString&) override { ++replies; }
    int SyncSystemVolume(int) override { return 1; }
    void LinkInfoChanged() override {}
    void LinksDropped() override {}
    void MediaKeyReleased(MediaKey) override {}
    long replies = 0;
};

// An adapter that answers nothing by itself; the bench feeds it reports and watches what the
// station writes.
class CBenchDevice final : public IReportDevice {
public:
    int ReadReport(Report& report, int timeoutMs) override {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                      [this] { return m_stop || !m_input.empty(); });
        if (m_stop) {
            return -1;
        }
        if (m_input.empty()) {
            return 0;
        }
        report = m_input.front();
        m_input.pop_front();
        return kReportSize;
    }
    bool WriteReport(const Report& report, int) override {
        if (ReportPayload(report) == "@0 ok\r\n") {
            std::lock_guard<std::mutex> lock(m_mutex);
            m_replyAt = Clock::now();
            m_replied = true;
            m_cv.notify_all();
        }
        return true;
    }
    void Interrupt() override {
        std::lock_guard<std::mutex> lock(m_mutex);
        m_stop = true;
        m_cv.notify_all();
    }
    Clock::time_point Inject(const QByteArray& text) {
        Report r{};
        std::copy(text.begin(), text.end(), r.begin() + 1);
        std::lock_guard<std::mutex> lock(m_mutex);
        m_replied = false;
        m_input.push_back(r);
        const auto at = Clock::now();
        m_cv.notify_all();
        return at;
    }
    Clock::time_point WaitReply() {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_cv.wait_for(lock, std::chrono::seconds(5), [this] { return m_replied; });
        return m_replyAt;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_cv;
    std::deque<Report> m_input;
    bool m_stop = false;
    bool m_replied = false;
    Clock::time_point m_replyAt;
};

class CBenchBus final : public IReportBus {
public:
    CBenchDevice* device = nullptr;
    QList<ReportDeviceInfo> Enumerate() override { return {}; }
    std::unique_ptr<IReportDevice> Open(std::uint16_t, std::uint16_t) override {
        auto d = std::make_unique<CBenchDevice>();
        device = d.get();
        return d;
    }
    void StartWatching() override {}
};

void ParserThroughput() {
    CNullHost host;
    CModuleParser parser(&host);
    parser.Update([](LinkState& s) {
        s.hfpLink = 0;
        s.avrcpLink = 3;
        s.a2dpLink = 1;
        s.waitMode = kWaitInquiryEnd;
    });
    const QString text = RealisticText();
    // Cut as the adapter cuts it: 64 characters per report, one cycle per report.
    std::vector<QString> reports;
    for (qsizetype at = 0; at < text.size(); at += 64) {
        reports.push_back(text.mid(at, 64));
    }
    const qsizetype bytesPerRound = text.toUtf8().size();
    // Five rounds of 400 ms; the best shows the parser, the others also the machine's load.
    std::vector<double> rounds;
    for (int round = 0; round < 5; ++round) {
        long long bytes = 0;
        QElapsedTimer clock;
        clock.start();
        while (clock.elapsed() < 400) {
            for (const QString& r : reports) {
                parser.AppendPending(r);
                parser.ProcessPending();
            }
            bytes += bytesPerRound;
            parser.Update([](LinkState& s) {
                s.inquiryList.clear();
                s.eventCount = 0;
                s.battery = -1;
            });
        }
        rounds.push_back(bytes / (clock.nsecsElapsed() / 1e9) / 1e6);
    }
    std::sort(rounds.begin(), rounds.end());
    std::printf(
        "adapter: parser throughput best %.1f MB/s (%.0f x the adapter's 64 KB/s), "
        "median %.1f MB/s; 64-byte reports of realistic module text, one cycle each\n",
        rounds.back(), rounds.back() * 1e6 / 64000.0, rounds[rounds.size() / 2]);
    std::fflush(stdout);
}

void ReplyLatencyAndIdle() {
    CBenchBus bus;
    CAdapterLink link(&bus);
    if (!link.Open()) {
        std::printf("adapter: cannot open the bench adapter\n");
        return;
    }
    link.Parser().Update([](LinkState& s) { s.hfpLink = 0; });
    CBenchDevice* dev = bus.device;
    const QByteArray line("HFP-AG 0 UNKNOWN (0): AT+BVRA=1\\r\r\n");
    std::vector<double> micros;
    for (int i = 0; i < 2000; ++i) {
        const auto in = dev->Inject(line);
        const auto out = dev->WaitReply();
        micros.push_back(std::chrono::duration<double, std::micro>(out - in).count());
    }
    std::sort(micros.begin(), micros.end());
    std::printf(
        "adapter: AT+BVRA=1 in -> \"@0 ok\" out: median %.3f ms, p99 %.3f ms "
        "(%zu replies, logging on)\n",
        micros[micros.size() / 2] / 1000.0, micros[micros.size() * 99 / 100] / 1000.0,
        micros.size());
    std::fflush(stdout);

    // Idle: an open link with no traffic for 10 s.
    rusage before{};
    rusage after{};
    getrusage(RUSAGE_SELF, &before);
    const auto t0 = Clock::now();
    std::this_thread::sleep_for(std::chrono::seconds(10));
    getrusage(RUSAGE_SELF, &after);
    const double wall = std::chrono::duration<double>(Clock::now() - t0).count();
    auto cpu = [](const rusage& r) {
        return r.ru_utime.tv_sec + r.ru_stime.tv_sec +
               (r.ru_utime.tv_usec + r.ru_stime.tv_usec) / 1e6;
    };
    // Every thread's voluntary switches; the bench's own sleeping thread adds one.
    const long wakes = (after.ru_nvcsw - before.ru_nvcsw) + (after.ru_nivcsw - before.ru_nivcsw);
    std::printf("adapter: idle open link over %.1f s: %.4f %% of a core, %.1f wake-ups/s\n", wall,
                (cpu(after) - cpu(before)) / wall * 100.0, wakes / wall);
    link.Close();
}

}  // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    QTemporaryDir home;
    SetAppHome(home.path());
    GetConfigPath();
    ParserThroughput();
    ReplyLatencyAndIdle();
    return 0;
}
