#include "sim/SimModule.h"

#include "shell/LogWriter.h"
#include "sim/ReportPipe.h"
#include "sim/SimAudio.h"

#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QRandomGenerator>
#include <QRegularExpression>

#include <algorithm>
#include <atomic>

namespace orv::sim {

namespace {

constexpr int kMaxLinks = 16;   // link ids 0..15
constexpr int kAvrcpStep = 10;  // absolute volume change per volume key, of 100
constexpr int kMaxControlLine = 4096;

QStringList Words(const QString& line) {
    static const QRegularExpression blanks(QStringLiteral("\\s+"));
    return line.split(blanks, Qt::SkipEmptyParts);
}

bool ToInt(const QString& text, int* out) {
    bool ok = false;
    const int v = text.toInt(&ok, 10);
    if (ok)
        *out = v;
    return ok;
}

}  // namespace

template <typename Fn>
void CSimModule::After(int ms, Fn fn) {
    const int epoch = m_epoch;
    // Coarse timers may fire up to 5 % early; a module delay is a minimum, so keep it precise.
    QTimer::singleShot(std::max(0, ms), Qt::PreciseTimer, this, [this, epoch, fn]() {
        if (epoch == m_epoch && m_plugged)
            fn();
    });
}

CSimModule::CSimModule(Scenario scenario, std::shared_ptr<CReportPipe> pipe)
    : m_scenario(std::move(scenario)), m_pipe(std::move(pipe)), m_dueTimer(this) {
    m_clock.start();
    m_dueTimer.setSingleShot(true);
    m_dueTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_dueTimer, &QTimer::timeout, this, &CSimModule::FlushDue);
    for (const HeadsetScenario& cfg : m_scenario.headsets) {
        Headset h;
        h.cfg = cfg;
        h.garbageSeed = static_cast<quint32>(qHash(cfg.mac)) | 1u;
        m_headsets.append(h);
        if (cfg.faults.noReady)
            m_noReady = true;
        if (cfg.faults.rebootAfterMs >= 0)
            m_rebootAfterMs = cfg.faults.rebootAfterMs;
    }
}

CSimModule::~CSimModule() = default;

bool CSimModule::Start(QString* error) {
    m_audio = std::make_unique<CSimAudio>();
    const QString path = m_scenario.adapter.controlSocket;
    if (!path.isEmpty()) {
        m_control = new QLocalServer(this);
        // The socket can drop links and inject module lines: only this user may use it.
        m_control->setSocketOptions(QLocalServer::UserAccessOption);
        // A socket file left by a crashed run would make listen() fail; one that still
        // answers belongs to a running simulator and is not taken from it.
        {
            QLocalSocket probe;
            probe.connectToServer(path);
            if (probe.waitForConnected(200)) {
                if (error)
                    *error = QStringLiteral("control socket %1 is in use by another simulator")
                                 .arg(path);
                delete m_control;
                m_control = nullptr;
                return false;
            }
        }
        QLocalServer::removeServer(path);
        if (!m_control->listen(path)) {
            if (error)
                *error =
                    QStringLiteral("control socket %1: %2").arg(path, m_control->errorString());
            delete m_control;
            m_control = nullptr;
            return false;
        }
        connect(m_control, &QLocalServer::newConnection, this, [this]() {
            while (QLocalSocket* s = m_control->nextPendingConnection()) {
                connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
                connect(s, &QLocalSocket::readyRead, this, [this, s]() {
                    while (s->canReadLine()) {
                        const QString cmd = QString::fromUtf8(s->readLine()).trimmed();
                        if (cmd.isEmpty())
                            continue;
                        s->write(Control(cmd).toUtf8() + '\n');
                    }
                    if (s->bytesAvailable() > kMaxControlLine) {
                        s->write("ERROR line too long\n");
                        s->readAll();
                    }
                });
            }
        });
    }
    PlugIn();
    return true;
}

void CSimModule::Shutdown() {
    if (m_plugged)
        Unplug();
    if (m_control) {
        m_control->close();
        delete m_control;
        m_control = nullptr;
    }
    m_audio.reset();
}

// ---------------------------------------------------------------------------------------
// Output

void CSimModule::Print(const QStringList& lines, int headset, bool delayed) {
    if (!m_plugged)
        return;
    const int delay = delayed ? m_scenario.adapter.replyDelayMs : 0;
    QByteArray burst;
    for (const QString& line : lines) {
        QByteArray bytes = line.toUtf8();
        if (headset >= 0) {
            Headset& h = m_headsets[headset];
            if (h.cfg.faults.garbage) {
                // Binary noise of 8..40 bytes (invalid UTF-8 included) ending in a line end,
                // then a report that starts with a zero byte and hides the rest.
                if (!burst.isEmpty()) {
                    Schedule(burst, false, delay);
                    burst.clear();
                }
                QRandomGenerator rng(h.garbageSeed);
                h.garbageSeed = rng.generate() | 1u;
                QByteArray junk;
                const int n = 8 + static_cast<int>(rng.bounded(33));
                for (int i = 0; i < n; ++i) {
                    char c = static_cast<char>(1 + rng.bounded(255));
                    if (c == '\r' || c == '\n')
                        c = static_cast<char>(0xC3);
                    junk.append(c);
                }
                junk.append("\r\n");
                Schedule(junk, true, delay);
                Schedule(QByteArray("\0hidden\xff\xfe", 9), true, delay);
            }
            if (h.cfg.faults.glueLines && (h.glue++ % 2) == 0) {
                burst.append(bytes);  // the line end is lost: this line runs into the next
                continue;
            }
        }
        burst.append(bytes).append("\r\n");
    }
    Schedule(burst, false, delay);
}

void CSimModule::Schedule(const QByteArray& bytes, bool alone, int delayMs) {
    if (bytes.isEmpty())
        return;
    if (delayMs <= 0 && m_due.empty()) {
        m_pipe->Push(bytes, alone);
        return;
    }
    // The module's output is one serial stream: a line never overtakes one printed before it,
    // whatever delay each was given.
    qint64 at = m_clock.elapsed() + std::max(0, delayMs);
    if (!m_due.empty())
        at = std::max(at, m_due.rbegin()->first);
    m_due.emplace(at, Due{bytes, alone});
    FlushDue();
}

void CSimModule::FlushDue() {
    const qint64 now = m_clock.elapsed();
    while (!m_due.empty() && m_due.begin()->first <= now) {
        m_pipe->Push(m_due.begin()->second.bytes, m_due.begin()->second.alone);
        m_due.erase(m_due.begin());
    }
    if (!m_due.empty())
        m_dueTimer.start(static_cast<int>(std::max<qint64>(0, m_due.begin()->first - now)));
}

// ---------------------------------------------------------------------------------------
// Power

void CSimModule::PlugIn() {
    if (m_plugged)
        return;
    m_plugged = true;
    ++m_epoch;
    m_nameCache.clear();
    for (Headset& h : m_headsets) {
        h.battery = h.cfg.battery;
        h.hfpVolume = h.cfg.hfpVolume;
        h.avrcpVolume = h.cfg.avrcpVolume;
        h.a2dpRefused = false;
    }
    m_rebootArmed = m_rebootAfterMs >= 0;
    m_pipe->SetPlugged(true);
    if (m_audio && !m_audio->AddDevices(m_scenario.adapter.productId)) {
        static std::atomic<bool> logged{false};
        if (!logged.exchange(true)) {
            LogInfo(QStringLiteral("simulated adapter: no sound devices, headsets are silent (%1)")
                        .arg(m_audio->lastError()));
        }
    }
    // The module has booted by the time the USB device shows up; nobody has it open yet, so
    // its banner goes nowhere (as with hidraw).
    Boot(true);
    emit pluggedChanged(true);
}

void CSimModule::Unplug() {
    if (!m_plugged)
        return;
    ForgetLinks();
    m_plugged = false;
    ++m_epoch;
    m_ready = false;
    m_due.clear();
    m_dueTimer.stop();
    m_inputLine.clear();
    m_pipe->SetPlugged(false);
    if (m_audio)
        m_audio->RemoveDevices();
    emit pluggedChanged(false);
}

void CSimModule::Boot(bool immediate) {
    ++m_epoch;
    m_ready = false;
    m_inputLine.clear();
    const auto banner = [this]() {
        QStringList lines{QStringLiteral("WRAP THOR AI (%1)").arg(m_scenario.adapter.firmware),
                          QStringLiteral("Copyright (c) 2003-2015 Bluegiga Technologies Inc.")};
        if (!m_noReady)
            lines << QStringLiteral("READY.");
        Print(lines, -1, false);
        m_ready = true;
    };
    if (immediate)
        banner();
    else
        After(m_scenario.adapter.bootMs, banner);
}

// A reboot or power loss: the links vanish without NO CARRIER lines.
void CSimModule::ForgetLinks() {
    m_links.clear();
    m_calls.clear();
    m_callRunning = false;
    m_inquiring = false;
    for (Headset& h : m_headsets) {
        h.connected = false;
        h.volumeRegistered = false;
        h.playing = false;
        ++h.keyRun;
        ++h.dropRun;
    }
    UpdateAudio();
}

// ---------------------------------------------------------------------------------------
// Input

void CSimModule::Input(const QByteArray& payload) {
    if (!m_plugged)
        return;
    // The module takes both CR and LF as line ends; one report may hold several commands.
    for (char c : payload) {
        if (c == '\r' || c == '\n') {
            const QString line = QString::fromLatin1(m_inputLine).trimmed();
            m_inputLine.clear();
            if (!line.isEmpty() && m_ready)
                Command(line);
        } else if (m_inputLine.size() < 1024) {
            m_inputLine.append(c);
        }
    }
}

void CSimModule::Command(const QString& line) {
    const QStringList w = Words(line);
    const QString cmd = w.value(0).toLower();

    if (cmd.startsWith(QLatin1Char('@'))) {
        int id = -1;
        if (!ToInt(cmd.mid(1), &id)) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        LinkCommand(id, line.section(QLatin1Char(' '), 1).trimmed());
        return;
    }
    if (cmd == QLatin1String("set")) {
        SetCommand(w, line);
        return;
    }
    if (cmd == QLatin1String("reset")) {
        ForgetLinks();
        Boot(false);
        return;
    }
    if (cmd == QLatin1String("close")) {
        int id = -1;
        if (w.size() != 2 || !ToInt(w[1], &id)) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        CloseLink(id, true);
        return;
    }
    if (cmd == QLatin1String("inquiry")) {
        int units = 4;
        bool names = false;
        for (int i = 1; i < w.size(); ++i) {
            int v = 0;
            if (w[i].compare(QLatin1String("name"), Qt::CaseInsensitive) == 0)
                names = true;
            else if (i == 1 && ToInt(w[i], &v) && v >= 1 && v <= 48)
                units = v;
            else {
                Print(QStringLiteral("SYNTAX ERROR"));
                return;
            }
        }
        Inquiry(units, names);
        return;
    }
    if (cmd == QLatin1String("ic")) {
        if (m_inquiring)
            FinishInquiry();
        return;
    }
    if (cmd == QLatin1String("name")) {
        const QString mac = NormaliseMac(w.value(1));
        if (w.size() != 2 || mac.isEmpty()) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        NameRequest(mac);
        return;
    }
    if (cmd == QLatin1String("rssi")) {
        int id = -1;
        if (w.size() != 2 || !ToInt(w[1], &id) || !m_links.count(id)) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        const Headset& h = m_headsets[m_links[id].headset];
        Print(QStringLiteral("RSSI %1 %2").arg(h.cfg.mac).arg(h.cfg.rssi), m_links[id].headset);
        return;
    }
    if (cmd == QLatin1String("pair")) {
        const QString mac = NormaliseMac(w.value(1));
        if (mac.isEmpty()) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        const int h = FindHeadset(mac);
        const int ms = h >= 0 && m_headsets[h].cfg.faults.slowConnectMs >= 0
                           ? m_headsets[h].cfg.faults.slowConnectMs
                           : m_scenario.adapter.connectMs;
        After(ms + m_scenario.adapter.replyDelayMs, [this, mac, h]() {
            Print(QStringLiteral("PAIR %1 %2").arg(mac, h >= 0 ? "OK" : "FAIL"), h, false);
        });
        return;
    }
    if (cmd == QLatin1String("call")) {
        if (w.size() != 4 || NormaliseMac(w[1]).isEmpty()) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        Call(NormaliseMac(w[1]), w[2].toLower(), w[3].toLower());
        return;
    }
    if (cmd == QLatin1String("sco")) {
        int id = -1;
        if (w.size() == 3 && w[1].compare(QLatin1String("open"), Qt::CaseInsensitive) == 0 &&
            ToInt(w[2], &id) && m_links.count(id) && m_links[id].kind == LinkKind::Hfp) {
            OpenSco(id, false);
            return;
        }
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    if (cmd == QLatin1String("answer")) {
        return;  // the call is taken at the phone side; audio is already open
    }
    if (cmd == QLatin1String("avrcp") && w.size() == 2) {
        // Pass-through volume buttons sent to the headset that has AVRCP.
        const QString dir = w[1].toLower();
        for (const auto& [id, link] : m_links) {
            if (link.kind != LinkKind::Avrcp)
                continue;
            if (dir == QLatin1String("up") || dir == QLatin1String("dn")) {
                QString why;
                Press(link.headset,
                      dir == QLatin1String("up") ? HeadsetKey::VolUp : HeadsetKey::VolDown, &why);
                return;
            }
        }
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    if (cmd.startsWith(QLatin1Char('+'))) {
        // A bare AG result code ("+brsf:3684", "+bind:2,1", "+CIEV:3,1") goes to the HFP link.
        for (const auto& [id, link] : m_links) {
            if (link.kind == LinkKind::Hfp) {
                AgResult(id, line);
                return;
            }
        }
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    Print(QStringLiteral("SYNTAX ERROR"));
}

void CSimModule::SetCommand(const QStringList& w, const QString& line) {
    // The module answers SET lines with nothing; a few are remembered for `state`.
    const QString key = QStringList(w.mid(0, 3)).join(QLatin1Char(' ')).toUpper();
    const QString value = QStringList(w.mid(3)).join(QLatin1Char(' '));
    if (key == QLatin1String("SET BT NAME"))
        m_settings[QStringLiteral("name")] = value;
    else if (key == QLatin1String("SET BT CLASS"))
        m_settings[QStringLiteral("class")] = value;
    else if (key == QLatin1String("SET BT AUTH"))
        m_settings[QStringLiteral("pin")] = QStringList(w.mid(4)).join(QLatin1Char(' '));
    else if (key == QLatin1String("SET BT POWER"))
        m_settings[QStringLiteral("power")] = value;
    else if (key == QLatin1String("SET CONTROL CODEC") && w.size() >= 7 &&
             w[6] == QLatin1String("1"))
        m_settings[QStringLiteral("codec")] = w[3] + QLatin1Char('/') + w[5];
    else if (key.startsWith(QLatin1String("SET BT SCO")))
        m_settings[QStringLiteral("sco")] =
            line.contains(QLatin1String("NOWBS"), Qt::CaseInsensitive) ? "nowbs" : "wbs";
}

void CSimModule::LinkCommand(int id, const QString& rest) {
    if (!m_links.count(id)) {
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    const Link link = m_links[id];
    Headset& h = m_headsets[link.headset];
    const QStringList w = Words(rest.toLower());
    const QString verb = w.value(0);

    if (verb == QLatin1String("a2dp") && w.value(1) == QLatin1String("streaming") &&
        (link.kind == LinkKind::A2dpSignal || link.kind == LinkKind::A2dpMedia)) {
        if (w.value(2) == QLatin1String("start")) {
            h.playing = true;
            Print(QStringLiteral("A2DP STREAMING START %1").arg(w.value(3, QString::number(id))),
                  link.headset);
            UpdateAudio();
            return;
        }
        if (w.value(2) == QLatin1String("stop")) {
            Print(QStringLiteral("A2DP STREAMING STOP %1").arg(w.value(3, QString::number(id))),
                  link.headset);
            h.playing = false;
            UpdateAudio();
            return;
        }
    }
    if (verb == QLatin1String("avrcp") && link.kind == LinkKind::Avrcp) {
        if (w.value(1) == QLatin1String("pdu") && w.value(2) == QLatin1String("31")) {
            // Register for the next absolute-volume change (event 0x0d); one-shot.
            h.volumeRegistered = true;
            Print(
                QStringLiteral("AVRCP %1 PDU_REGISTER_NOTIFICATION_RSP INTERIM VOLUME_CHANGED %2")
                    .arg(id)
                    .arg(h.avrcpVolume),
                link.headset);
            return;
        }
        if (w.value(1) == QLatin1String("pdu") && w.value(2) == QLatin1String("50")) {
            int v = -1;
            if (ToInt(w.value(3), &v) && v >= 0 && v <= 100) {
                h.avrcpVolume = v;
                Print(QStringLiteral("AVRCP %1 PDU_SET_ABSOLUTE_VOLUME_RSP %2").arg(id).arg(v),
                      link.headset);
                return;
            }
        }
        if (w.value(1) == QLatin1String("nfy") && w.value(2) == QLatin1String("changed")) {
            // Play status: "1 1 1" playing, "1 1 2" paused.
            h.playing = w.value(5) == QLatin1String("1");
            return;
        }
        if (w.value(1) == QLatin1String("rsp"))
            return;
    }
    if (link.kind == LinkKind::Hfp) {
        if (verb == QLatin1String("dial") || verb == QLatin1String("ring")) {
            OpenSco(id, true);
            return;
        }
        if (verb == QLatin1String("hangup")) {
            const int sco = LinkOf(link.headset, LinkKind::Sco);
            if (sco >= 0 && m_links[sco].callAudio)
                CloseLink(sco, true);
            return;
        }
        AgResult(id, rest);
        return;
    }
    Print(QStringLiteral("SYNTAX ERROR"));
}

// ---------------------------------------------------------------------------------------
// Inquiry and names

void CSimModule::Inquiry(int units, bool withNames) {
    const int run = ++m_inquiryRun;
    m_inquiring = true;
    m_inquiryNames = withNames;
    m_found.clear();
    const int total = units * m_scenario.adapter.inquiryUnitMs;
    const int n = m_headsets.size();
    // Headsets answer spread over the first half of the inquiry, in scenario order.
    for (int i = 0; i < n; ++i) {
        const int at = total * (i + 1) / (2 * (n + 1));
        After(at, [this, run, i]() {
            if (!m_inquiring || run != m_inquiryRun)
                return;
            m_found.append(i);
            const Headset& h = m_headsets[i];
            Print(QStringLiteral("INQUIRY_PARTIAL %1 %2 \"%3\" %4")
                      .arg(h.cfg.mac, h.cfg.deviceClass, m_nameCache.value(h.cfg.mac))
                      .arg(h.cfg.rssi),
                  i, false);
        });
    }
    After(total, [this, run]() {
        if (m_inquiring && run == m_inquiryRun)
            FinishInquiry();
    });
}

void CSimModule::FinishInquiry() {
    m_inquiring = false;
    ++m_inquiryRun;
    QStringList lines{QStringLiteral("INQUIRY %1").arg(m_found.size())};
    for (int i : m_found)
        lines << QStringLiteral("INQUIRY %1 %2")
                     .arg(m_headsets[i].cfg.mac, m_headsets[i].cfg.deviceClass);
    Print(lines, -1, false);
    if (m_inquiryNames) {
        for (int i : m_found)
            NameRequest(m_headsets[i].cfg.mac);
    }
}

void CSimModule::NameRequest(const QString& mac) {
    const int h = FindHeadset(mac);
    const int ms = m_scenario.adapter.connectMs + m_scenario.adapter.replyDelayMs;
    After(ms, [this, mac, h]() {
        if (h < 0 || m_headsets[h].cfg.faults.nameError) {
            Print(QStringLiteral("NAME ERROR 104 %1 HCI_ERROR_PAGE_TIMEOUT").arg(mac), h, false);
            return;
        }
        const Headset& hs = m_headsets[h];
        const QString name = hs.cfg.faults.noName ? QString() : hs.cfg.name;
        m_nameCache[mac] = name;
        Print(QStringLiteral("NAME %1 \"%2\"").arg(mac, name), h, false);
    });
}

// ---------------------------------------------------------------------------------------
// Links

void CSimModule::Call(const QString& mac, const QString& target, const QString& profile) {
    PendingCall call;
    call.mac = mac;
    call.headset = FindHeadset(mac);
    if (profile == QLatin1String("hfp-ag") && target == QLatin1String("111e"))
        call.kind = LinkKind::Hfp;
    else if (profile == QLatin1String("a2dp") && target == QLatin1String("19"))
        call.kind = LinkKind::A2dpSignal;
    else if (profile == QLatin1String("avrcp") && target == QLatin1String("17"))
        call.kind = LinkKind::Avrcp;
    else {
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    // Ids are taken when the call is placed; an A2DP call also holds the next free id for its
    // media channel, so a headset called for HFP, A2DP and AVRCP gets links 0, 1+2 and 3.
    call.id = FreeLinkId();
    if (call.id < 0) {
        Print(QStringLiteral("SYNTAX ERROR"));
        return;
    }
    if (call.kind == LinkKind::A2dpSignal)
        call.mediaId = FreeLinkId(call.id);
    m_calls.append(call);
    Print(QStringLiteral("CALL %1").arg(call.id), call.headset);
    if (call.headset >= 0 && m_rebootArmed) {
        m_rebootArmed = false;
        After(m_rebootAfterMs, [this]() {
            ForgetLinks();
            Boot(false);
        });
    }
    if (!m_callRunning)
        RunNextCall();
}

void CSimModule::RunNextCall() {
    if (m_calls.isEmpty()) {
        m_callRunning = false;
        return;
    }
    m_callRunning = true;
    const PendingCall call = m_calls.first();
    int ms = m_scenario.adapter.connectMs;
    if (call.headset >= 0 && m_headsets[call.headset].cfg.faults.slowConnectMs >= 0)
        ms = m_headsets[call.headset].cfg.faults.slowConnectMs;
    After(ms + m_scenario.adapter.replyDelayMs, [this]() {
        if (m_calls.isEmpty())
            return;
        const PendingCall c = m_calls.takeFirst();
        CompleteCall(c);
        RunNextCall();
    });
}

void CSimModule::CompleteCall(const PendingCall& call) {
    const auto fail = [this, &call](const QString& why) {
        Print(QStringLiteral("NO CARRIER %1 ERROR %2").arg(call.id).arg(why), call.headset, false);
    };
    if (call.headset < 0) {
        fail(QStringLiteral("104 HCI_ERROR_PAGE_TIMEOUT"));
        return;
    }
    Headset& h = m_headsets[call.headset];
    const int hi = call.headset;
    if (m_links.count(call.id) || (call.mediaId >= 0 && m_links.count(call.mediaId))) {
        fail(QStringLiteral("902 OUT_OF_HANDLES"));
        return;
    }
    switch (call.kind) {
        case LinkKind::Hfp:
            if (!h.cfg.hfp) {
                fail(QStringLiteral("900 SERVICE_NOT_FOUND"));
                return;
            }
            if (h.cfg.faults.refuseHfp) {
                fail(QStringLiteral("904 REJECTED"));
                return;
            }
            if (LinkOf(hi, LinkKind::Hfp) >= 0) {
                fail(QStringLiteral("901 ALREADY_CONNECTED"));
                return;
            }
            m_links[call.id] = Link{call.id, LinkKind::Hfp, hi, false};
            Print(QStringLiteral("CONNECT %1 HFP-AG 2").arg(call.id), hi, false);
            // Right after the service-level connection the headset sends its Apple accessory
            // command (passed up as UNKNOWN) and its speaker gain.
            After(5, [this, hi, id = call.id]() {
                if (!m_links.count(id))
                    return;
                Print(
                    {QStringLiteral("HFP-AG %1 UNKNOWN (0): AT+XAPL=05AC-1234-0100,10\\r").arg(id),
                     QStringLiteral("HFP-AG %1 VOLUME %2").arg(id).arg(m_headsets[hi].hfpVolume)},
                    hi, false);
            });
            break;
        case LinkKind::A2dpSignal:
            if (!h.cfg.a2dp) {
                fail(QStringLiteral("900 SERVICE_NOT_FOUND"));
                return;
            }
            if (h.cfg.faults.refuseA2dpOnce && !h.a2dpRefused) {
                h.a2dpRefused = true;
                fail(QStringLiteral("904 REJECTED"));
                return;
            }
            if (LinkOf(hi, LinkKind::A2dpSignal) >= 0) {
                fail(QStringLiteral("901 ALREADY_CONNECTED"));
                return;
            }
            m_links[call.id] = Link{call.id, LinkKind::A2dpSignal, hi, false};
            m_links[call.mediaId] = Link{call.mediaId, LinkKind::A2dpMedia, hi, false};
            Print({QStringLiteral("CONNECT %1 A2DP 19").arg(call.id),
                   QStringLiteral("CONNECT %1 A2DP 19").arg(call.mediaId)},
                  hi, false);
            if (h.cfg.avrcp && h.cfg.avrcpFromHeadset && LinkOf(hi, LinkKind::Avrcp) < 0) {
                After(30, [this, hi]() {
                    if (LinkOf(hi, LinkKind::Avrcp) >= 0 || LinkOf(hi, LinkKind::A2dpSignal) < 0)
                        return;
                    const int id = FreeLinkId();
                    if (id < 0)
                        return;
                    m_links[id] = Link{id, LinkKind::Avrcp, hi, false};
                    Print(
                        QStringLiteral("RING %1 %2 17 AVRCP").arg(id).arg(m_headsets[hi].cfg.mac),
                        hi, false);
                    AskCapabilities(hi, id);
                });
            }
            break;
        case LinkKind::Avrcp:
            if (!h.cfg.avrcp) {
                fail(QStringLiteral("900 SERVICE_NOT_FOUND"));
                return;
            }
            if (LinkOf(hi, LinkKind::Avrcp) >= 0) {
                fail(QStringLiteral("901 ALREADY_CONNECTED"));
                return;
            }
            m_links[call.id] = Link{call.id, LinkKind::Avrcp, hi, false};
            Print(QStringLiteral("CONNECT %1 AVRCP 17").arg(call.id), hi, false);
            AskCapabilities(hi, call.id);
            break;
        default:
            return;
    }
    HeadsetConnected(hi);
}

// An AVRCP 1.4 headset asks the phone which events it supports (capability 3) once AVRCP is up;
// the station answers with "@<id> avrcp rsp ...".
void CSimModule::AskCapabilities(int hi, int avrcpId) {
    After(5, [this, hi, avrcpId]() {
        if (m_links.count(avrcpId) && m_links[avrcpId].kind == LinkKind::Avrcp)
            Print(QStringLiteral("AVRCP %1 GET_CAPABILITIES 3").arg(avrcpId), hi, false);
    });
}

void CSimModule::HeadsetConnected(int hi) {
    Headset& h = m_headsets[hi];
    if (h.connected)
        return;
    h.connected = true;
    h.volumeRegistered = false;
    if (h.cfg.faults.dropAfterMs >= 0) {
        const int run = ++h.dropRun;
        After(h.cfg.faults.dropAfterMs, [this, hi, run]() {
            if (m_headsets[hi].dropRun == run && m_headsets[hi].connected)
                LinkLoss(hi);
        });
    }
    if (!h.cfg.keys.isEmpty() && h.cfg.keysRepeatMs > 0) {
        // The operator starts pressing once the headset is connected; the delays count
        // from the connection.
        RunKey(hi, ++h.keyRun, 0);
    }
}

void CSimModule::CloseLink(int id, bool print) {
    if (!m_links.count(id))
        return;
    const Link link = m_links[id];
    QList<int> ids;
    if (link.kind == LinkKind::Hfp) {
        const int sco = LinkOf(link.headset, LinkKind::Sco);
        if (sco >= 0)
            ids << sco;
        ids << id;
    } else if (link.kind == LinkKind::A2dpSignal || link.kind == LinkKind::A2dpMedia) {
        // The two channels of one A2DP connection close together.
        for (const auto& [other, l] : m_links)
            if (l.headset == link.headset &&
                (l.kind == LinkKind::A2dpSignal || l.kind == LinkKind::A2dpMedia))
                ids << other;
        m_headsets[link.headset].playing = false;
    } else {
        ids << id;
    }
    QStringList lines;
    for (int i : ids) {
        m_links.erase(i);
        lines << QStringLiteral("NO CARRIER %1 ERROR 0").arg(i);
    }
    if (link.kind == LinkKind::Avrcp)
        m_headsets[link.headset].volumeRegistered = false;
    if (print)
        Print(lines, link.headset);
    Headset& h = m_headsets[link.headset];
    if (LinkOf(link.headset, LinkKind::Hfp) < 0 &&
        LinkOf(link.headset, LinkKind::A2dpSignal) < 0 &&
        LinkOf(link.headset, LinkKind::Avrcp) < 0) {
        h.connected = false;
        ++h.keyRun;
        ++h.dropRun;
    }
    UpdateAudio();
}

void CSimModule::OpenSco(int hfpId, bool callAudio) {
    const int hi = m_links[hfpId].headset;
    int sco = LinkOf(hi, LinkKind::Sco);
    if (sco < 0) {
        sco = FreeLinkId();
        if (sco < 0) {
            Print(QStringLiteral("SYNTAX ERROR"));
            return;
        }
        m_links[sco] = Link{sco, LinkKind::Sco, hi, callAudio};
    } else {
        m_links[sco].callAudio = m_links[sco].callAudio || callAudio;
    }
    Print(QStringLiteral("CONNECT %1 SCO").arg(sco), hi);
    UpdateAudio();
}

// The headset went out of range or lost power: the RFCOMM (HFP) link reports the link loss,
// the L2CAP channels and SCO close.
void CSimModule::LinkLoss(int hi) {
    QStringList lines;
    QList<int> ids;
    for (const auto& [id, link] : m_links)
        if (link.headset == hi)
            ids << id;
    for (int id : ids) {
        if (m_links[id].kind == LinkKind::Hfp)
            lines << QStringLiteral("NO CARRIER %1 ERROR c0c RFC_L2CAP_LINK_LOSS").arg(id);
        else
            lines << QStringLiteral("NO CARRIER %1 ERROR 0").arg(id);
        m_links.erase(id);
    }
    for (int i = m_calls.size() - 1; i >= 0; --i)
        if (m_calls[i].headset == hi)
            m_calls[i].headset = -1;  // a call in progress now finds nobody
    Headset& h = m_headsets[hi];
    h.connected = false;
    h.playing = false;
    h.volumeRegistered = false;
    ++h.keyRun;
    ++h.dropRun;
    Print(lines, hi, false);
    UpdateAudio();
}

// A result code or AT reply the station sends the headset over HFP.
void CSimModule::AgResult(int hfpId, const QString& text) {
    const int hi = m_links[hfpId].headset;
    Headset& h = m_headsets[hi];
    const QString t = text.trimmed().toLower();
    static const QRegularExpression vgs(QStringLiteral("^\\+vgs\\s*[=:]?\\s*(\\d+)$"));
    const auto m = vgs.match(t);
    if (m.hasMatch()) {
        const int v = m.captured(1).toInt();
        if (v >= 0 && v <= 15)
            h.hfpVolume = v;
        return;
    }
    if (t.startsWith(QLatin1String("+xapl")) && h.cfg.batteryReport == BatteryReport::IPhoneAccEv)
        ReportBattery(hi, BatteryReport::IPhoneAccEv);
    else if (t.startsWith(QLatin1String("+bind")) && h.cfg.batteryReport == BatteryReport::Biev)
        ReportBattery(hi, BatteryReport::Biev);
    // "ok", "+brsf", "+ciev" and the rest need no answer from the headset.
}

void CSimModule::ReportBattery(int hi, BatteryReport style) {
    const Headset& h = m_headsets[hi];
    const int hfp = LinkOf(hi, LinkKind::Hfp);
    if (hfp < 0 || h.battery < 0)
        return;
    QString at;
    if (style == BatteryReport::IPhoneAccEv) {
        // Key 1 is the battery level 0..9, meaning (n + 1) * 10 percent.
        const int level = std::clamp(h.battery / 10 - 1, 0, 9);
        at = QStringLiteral("AT+IPHONEACCEV=1,1,%1").arg(level);
    } else if (style == BatteryReport::Biev) {
        at = QStringLiteral("AT+BIEV=2,%1").arg(h.battery);  // HF indicator 2: battery, 0..100
    } else {
        return;
    }
    After(m_scenario.adapter.replyDelayMs + 10, [this, hi, hfp, at]() {
        if (m_links.count(hfp))
            Print(QStringLiteral("HFP-AG %1 UNKNOWN (0): %2\\r").arg(hfp).arg(at), hi, false);
    });
}

// ---------------------------------------------------------------------------------------
// Keys

bool CSimModule::Press(int hi, HeadsetKey key, QString* why) {
    Headset& h = m_headsets[hi];
    const int hfp = LinkOf(hi, LinkKind::Hfp);
    const int avrcp = LinkOf(hi, LinkKind::Avrcp);
    const int sco = LinkOf(hi, LinkKind::Sco);
    QStringList recent = h.lastKeys.split(QLatin1Char(','), Qt::SkipEmptyParts);
    recent << HeadsetKeyText(key);
    h.lastKeys = recent.mid(std::max<qsizetype>(0, recent.size() - 5)).join(QLatin1Char(','));
    if (key == HeadsetKey::VolUp || key == HeadsetKey::VolDown) {
        const int step = key == HeadsetKey::VolUp ? 1 : -1;
        // During a call or SCO audio the keys move the HFP speaker gain; otherwise the AVRCP
        // absolute volume (reported when a notification is armed).
        if (hfp >= 0 && (sco >= 0 || avrcp < 0)) {
            h.hfpVolume = std::clamp(h.hfpVolume + step, 0, 15);
            Print(QStringLiteral("HFP-AG %1 VOLUME %2").arg(hfp).arg(h.hfpVolume), hi, false);
            return true;
        }
        if (avrcp >= 0) {
            h.avrcpVolume = std::clamp(h.avrcpVolume + step * kAvrcpStep, 0, 100);
            if (h.volumeRegistered) {
                h.volumeRegistered = false;
                Print(QStringLiteral(
                          "AVRCP %1 PDU_REGISTER_NOTIFICATION_RSP CHANGED VOLUME_CHANGED %2")
                          .arg(avrcp)
                          .arg(h.avrcpVolume),
                      hi, false);
            }
            return true;
        }
        *why = QStringLiteral("%1 is not connected").arg(h.cfg.mac);
        return false;
    }
    if (key == HeadsetKey::Voice) {
        if (hfp < 0) {
            *why = QStringLiteral("%1 has no HFP link").arg(h.cfg.mac);
            return false;
        }
        Print(QStringLiteral("HFP-AG %1 UNKNOWN (0): AT+BVRA=1\\r").arg(hfp), hi, false);
        return true;
    }
    if (avrcp < 0) {
        *why = QStringLiteral("%1 has no AVRCP link").arg(h.cfg.mac);
        return false;
    }
    QString op;
    if (key == HeadsetKey::PlayPause)
        op = h.playing ? QStringLiteral("PAUSE") : QStringLiteral("PLAY");
    else if (key == HeadsetKey::Next)
        op = QStringLiteral("FORWARD");
    else
        op = QStringLiteral("BACKWARD");
    if (key == HeadsetKey::PlayPause)
        h.playing = !h.playing;
    Print({QStringLiteral("AVRCP %1 PRESS").arg(op), QStringLiteral("AVRCP %1 RELEASE").arg(op)},
          hi, false);
    return true;
}

void CSimModule::StartKeys(int hi) {
    const int run = ++m_headsets[hi].keyRun;
    RunKey(hi, run, 0);
}

void CSimModule::RunKey(int hi, int run, int index) {
    Headset& h = m_headsets[hi];
    if (h.keyRun != run || index >= h.cfg.keys.size())
        return;
    const int prev = index == 0 ? 0 : h.cfg.keys[index - 1].delayMs;
    After(h.cfg.keys[index].delayMs - prev, [this, hi, run, index]() {
        Headset& hs = m_headsets[hi];
        if (hs.keyRun != run)
            return;
        QString why;
        Press(hi, hs.cfg.keys[index].key, &why);
        if (index + 1 < hs.cfg.keys.size()) {
            RunKey(hi, run, index + 1);
        } else if (hs.cfg.keysRepeatMs > 0 && hs.connected) {
            After(hs.cfg.keysRepeatMs, [this, hi, run]() { RunKey(hi, run, 0); });
        }
    });
}

// ---------------------------------------------------------------------------------------
// Audio

void CSimModule::UpdateAudio() {
    if (!m_audio)
        return;
    // One adapter, one sound card: the headset with an A2DP connection or SCO open listens
    // (the module streams whatever the station plays into the adapter), and the one with SCO
    // open talks.
    int listener = -1;
    const Headset* talker = nullptr;
    for (int i = 0; i < m_headsets.size(); ++i) {
        const Headset& h = m_headsets[i];
        const bool sco = LinkOf(i, LinkKind::Sco) >= 0;
        const bool a2dp = LinkOf(i, LinkKind::A2dpMedia) >= 0;
        if ((sco || a2dp) && listener < 0)
            listener = i;
        if (sco && !talker)
            talker = &h;
    }
    if (listener >= 0 && listener != m_listener)
        m_audio->SetEarOn(false);  // a new listener starts a new measurement
    if (listener >= 0)
        m_listener = listener;
    m_audio->SetEarOn(listener >= 0);
    if (talker && talker->cfg.micLevelDb)
        m_audio->SetMic(true, talker->cfg.micToneHz, *talker->cfg.micLevelDb);
    else
        m_audio->SetMic(false, 0, 0);
}

// ---------------------------------------------------------------------------------------
// Helpers

int CSimModule::FindHeadset(const QString& mac) const {
    for (int i = 0; i < m_headsets.size(); ++i)
        if (m_headsets[i].cfg.mac == mac)
            return i;
    return -1;
}

int CSimModule::LinkOf(int hi, LinkKind kind) const {
    for (const auto& [id, link] : m_links)
        if (link.headset == hi && link.kind == kind)
            return id;
    return -1;
}

int CSimModule::FreeLinkId(int after) const {
    for (int id = after + 1; id < kMaxLinks; ++id) {
        if (m_links.count(id))
            continue;
        bool held = false;
        for (const PendingCall& c : m_calls)
            held = held || c.id == id || c.mediaId == id;
        if (!held)
            return id;
    }
    return -1;
}

// ---------------------------------------------------------------------------------------
// Control commands

QString CSimModule::StateText() const {
    QStringList parts;
    QStringList module{QStringLiteral("adapter=%1").arg(m_plugged ? "plugged" : "unplugged"),
                       QStringLiteral("product=%1").arg(m_scenario.adapter.productId, 0, 16),
                       QStringLiteral("ready=%1").arg(m_ready ? 1 : 0),
                       QStringLiteral("open=%1").arg(m_pipe->IsOpen() ? 1 : 0),
                       QStringLiteral("audio=%1").arg(m_audio && m_audio->HasDevices() ? 1 : 0)};
    for (auto it = m_settings.cbegin(); it != m_settings.cend(); ++it)
        module << QStringLiteral("%1=%2").arg(it.key(), QString(it.value()).replace(' ', '_'));
    parts << module.join(QLatin1Char(' '));
    const HeardSound heard = m_audio ? m_audio->Heard() : HeardSound{};
    for (int i = 0; i < m_headsets.size(); ++i) {
        const Headset& h = m_headsets[i];
        QStringList f{h.cfg.mac};
        const auto id = [this, i](LinkKind k) {
            const int v = LinkOf(i, k);
            return v < 0 ? QStringLiteral("-") : QString::number(v);
        };
        f << QStringLiteral("hfp=%1").arg(id(LinkKind::Hfp))
          << QStringLiteral("a2dp=%1").arg(id(LinkKind::A2dpSignal))
          << QStringLiteral("avrcp=%1").arg(id(LinkKind::Avrcp))
          << QStringLiteral("sco=%1").arg(id(LinkKind::Sco));
        const bool streaming = h.playing && LinkOf(i, LinkKind::A2dpSignal) >= 0;
        f << QStringLiteral("streaming=%1").arg(streaming ? 1 : 0)
          << QStringLiteral("hfpvol=%1").arg(h.hfpVolume)
          << QStringLiteral("avrcpvol=%1").arg(h.avrcpVolume)
          << QStringLiteral("registered=%1").arg(h.volumeRegistered ? 1 : 0)
          << QStringLiteral("battery=%1").arg(h.battery);
        // What the headset heard stays readable after the audio has stopped.
        if (i == m_listener && heard.valid)
            f << QStringLiteral("heard=%1dBFS@%2Hz")
                     .arg(heard.levelDb, 0, 'f', 1)
                     .arg(heard.frequencyHz, 0, 'f', 0);
        else
            f << QStringLiteral("heard=none");
        f << QStringLiteral("mic=%1").arg(LinkOf(i, LinkKind::Sco) >= 0 && h.cfg.micLevelDb &&
                                                  m_audio && m_audio->MicOn()
                                              ? "on"
                                              : "off");
        f << QStringLiteral("keys=%1").arg(h.lastKeys.isEmpty() ? "-" : h.lastKeys);
        parts << f.join(QLatin1Char(' '));
    }
    return parts.join(QStringLiteral(" | "));
}

QString CSimModule::Control(const QString& command) {
    const QString line = command.trimmed();
    const QStringList w = Words(line);
    const QString cmd = w.value(0).toLower();
    const auto headset = [this, &w](int* out, QString* why) {
        const QString mac = NormaliseMac(w.value(1));
        *out = mac.isEmpty() ? -1 : FindHeadset(mac);
        if (*out < 0)
            *why = QStringLiteral("ERROR unknown headset \"%1\"").arg(w.value(1));
        return *out >= 0;
    };
    QString err;
    int h = -1;
    if (cmd == QLatin1String("state")) {
        if (w.size() != 1)
            return QStringLiteral("ERROR usage: state");
        return QStringLiteral("OK ") + StateText();
    }
    if (cmd == QLatin1String("plug")) {
        if (m_plugged)
            return QStringLiteral("ERROR already plugged in");
        PlugIn();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("unplug")) {
        if (!m_plugged)
            return QStringLiteral("ERROR already unplugged");
        Unplug();
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("say")) {
        if (!m_plugged)
            return QStringLiteral("ERROR the adapter is unplugged");
        const QString raw = line.mid(3).trimmed();
        if (raw.isEmpty())
            return QStringLiteral("ERROR usage: say <module line>");
        Print(raw, -1, false);
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("press")) {
        if (w.size() != 3)
            return QStringLiteral("ERROR usage: press <mac> <VOL+|VOL-|PLAY/PAUSE|NEXT|PREVIOUS>");
        if (!headset(&h, &err))
            return err;
        const auto key = ParseHeadsetKey(w[2]);
        if (!key)
            return QStringLiteral("ERROR unknown key \"%1\"").arg(w[2]);
        if (!m_plugged)
            return QStringLiteral("ERROR the adapter is unplugged");
        QString why;
        if (!Press(h, *key, &why))
            return QStringLiteral("ERROR ") + why;
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("keys")) {
        if (w.size() != 2)
            return QStringLiteral("ERROR usage: keys <mac>");
        if (!headset(&h, &err))
            return err;
        if (m_headsets[h].cfg.keys.isEmpty())
            return QStringLiteral("ERROR %1 has no Keys").arg(m_headsets[h].cfg.mac);
        if (!m_headsets[h].connected)
            return QStringLiteral("ERROR %1 is not connected").arg(m_headsets[h].cfg.mac);
        StartKeys(h);
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("drop")) {
        if (w.size() != 2)
            return QStringLiteral("ERROR usage: drop <mac>");
        if (!headset(&h, &err))
            return err;
        if (!m_headsets[h].connected)
            return QStringLiteral("ERROR %1 is not connected").arg(m_headsets[h].cfg.mac);
        LinkLoss(h);
        return QStringLiteral("OK");
    }
    if (cmd == QLatin1String("battery")) {
        int n = -1;
        if (w.size() != 3)
            return QStringLiteral("ERROR usage: battery <mac> <0..100>");
        if (!headset(&h, &err))
            return err;
        if (!ToInt(w[2], &n) || n < 0 || n > 100)
            return QStringLiteral("ERROR battery \"%1\" is not 0..100").arg(w[2]);
        m_headsets[h].battery = n;
        ReportBattery(h, m_headsets[h].cfg.batteryReport);
        return QStringLiteral("OK");
    }
    if (cmd.isEmpty())
        return QStringLiteral("ERROR empty command");
    return QStringLiteral("ERROR unknown command \"%1\"").arg(w.value(0));
}

}  // namespace orv::sim
