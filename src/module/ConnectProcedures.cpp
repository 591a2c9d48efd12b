// Inquiry and connect procedures of CAdapterLink.
#include <QElapsedTimer>

#include "adapter/AdapterLink.h"
#include "config/Settings.h"
#include "module/ModuleText.h"

namespace orv {

namespace {

QString FullWidthColonsToPlain(QString text) {
    return text.replace(QChar(0xFF1A), QLatin1Char(':'));
}

}  // namespace

QString CAdapterLink::ConnectMacText() const {
    std::lock_guard<std::mutex> lock(m_connectMacMutex);
    return m_connectMac;
}

// Sends the inquiry and waits, attempt after attempt, until something is listed, another
// operation takes the wait mode, or `seconds` have passed.
int CAdapterLink::RunInquiryRounds(int mode, const QString& command, int seconds) {
    QElapsedTimer clock;
    clock.start();
    m_parser.Update([mode](LinkState& s) {
        s.waitMode = mode;
        s.eventCount = 0;
    });
    while (clock.elapsed() < static_cast<qint64>(seconds) * 1000 && IsOpen()) {
        Send(command);
        WaitFor([mode](const LinkState& s) { return s.eventCount >= 1 || s.waitMode != mode; },
                m_timing.inquiryAttempt);
        const bool done = m_parser.Read(
            [mode](const LinkState& s) { return !s.inquiryList.isEmpty() || s.waitMode != mode; });
        if (done) {
            break;
        }
        m_parser.Update([mode](LinkState& s) {
            s.waitMode = mode;
            s.eventCount = 0;
        });
        Pause(m_timing.inquiryRetryPause);
    }
    return m_parser.Read([](const LinkState& s) { return s.inquiryList.size(); });
}

int CAdapterLink::Inquiry(int seconds) {
    if (!IsOpen()) {
        return 0;
    }
    m_parser.Update([](LinkState& s) { s.inquiryList.clear(); });
    const bool withName = GetInquiryWithName(GetConfigPath()) != 0;
    RunInquiryRounds(kWaitInquiryEnd,
                     withName ? QStringLiteral("inquiry 5 name") : QStringLiteral("inquiry 5"),
                     seconds);
    EndWait();
    // The connected headset is always listed, first.
    if (IsOpen() && m_parser.IsConnected()) {
        m_parser.Update([](LinkState& s) {
            s.inquiryList.prepend(InquiryEntry{s.targetName, s.targetMac, s.rssi});
        });
    }
    bool found = false;
    m_parser.Update([&found](LinkState& s) {
        found = !s.inquiryList.isEmpty();
        if (!found) {
            s.inquiryList.clear();
        }
    });
    return found ? 1 : 0;
}

int CAdapterLink::ConnectMac(const QString& macText) {
    const auto mac = ParseMacText(FullWidthColonsToPlain(macText));
    if (!mac) {
        return 0;
    }
    const QString address = FormatMac(*mac);
    {
        std::lock_guard<std::mutex> lock(m_connectMacMutex);
        m_connectMac = address;
    }
    const QString path = GetConfigPath();
    const int a2dp = GetA2DPConnect(path);
    const int hfp = GetHFPConnect(path);
    const int avrcp = GetAvrcpConnect(path);
    if (!a2dp && !hfp) {
        return 0;
    }
    const int expected = (a2dp ? 2 : 0) + (hfp ? 1 : 0);
    BeginWait(kWaitConnections);

    Send(QStringLiteral("ic"));  // cancels a running inquiry
    if (GetPairWhenConnect(path)) {
        Send(QStringLiteral("pair %1").arg(address));
    }
    if (hfp) {
        Send(QStringLiteral("call %1 111e hfp-ag").arg(address));
    }
    if (a2dp) {
        Send(QStringLiteral("call %1 19 a2dp").arg(address));
        if (avrcp) {
            Send(QStringLiteral("call %1 17 avrcp").arg(address));
        }
    }
    // Every link that comes up and every failed attempt counts; all configured links up ends
    // the wait as well.
    auto settled = [expected, a2dp, hfp](const LinkState& s) {
        return s.eventCount >= expected || CModuleParser::IsConnectedState(s, a2dp, hfp);
    };
    WaitFor(settled, m_timing.connectWait);

    // Call what is missing once more. A failed attempt was counted; taking it off keeps the
    // count for the second round. AVRCP is retried whenever A2DP is configured.
    const LinkState s = m_parser.State();
    auto retry = [&](bool missing, const QString& command) {
        if (!missing) {
            return;
        }
        m_parser.Update([](LinkState& st) { --st.eventCount; });
        Send(command);
    };
    retry(s.a2dpLink == -1 && a2dp, QStringLiteral("call %1 19 a2dp").arg(address));
    retry(s.hfpLink == -1 && hfp, QStringLiteral("call %1 111e hfp-ag").arg(address));
    retry(s.avrcpLink == -1 && a2dp, QStringLiteral("call %1 17 avrcp").arg(address));
    WaitFor(settled, m_timing.connectRetryWait);
    EndWait();

    if (!m_parser.IsConnected()) {
        return 0;  // the links that did come up stay up
    }
    m_parser.Update([&address](LinkState& st) { st.targetMac = address; });
    GreetHeadset();
    if (a2dp) {
        m_parser.Update([](LinkState& st) { st.streaming = 1; });
    } else {
        OpenHfpAudio(1);
    }
    m_parser.Update([](LinkState& st) { st.noCarrierWatch = 1; });
    emit connected();
    return 1;
}

int CAdapterLink::ConnectTarget(const QString& macText) {
    if (!IsOpen()) {
        return 0;
    }
    Pause(GetInquiryWaitTime(GetConfigPath()));
    const QString text = macText.trimmed();
    std::optional<InquiryEntry> known;
    QString targetMac;
    m_parser.Read([&](const LinkState& s) {
        for (int i = static_cast<int>(s.inquiryList.size()) - 1; i >= 0; --i) {
            if (s.inquiryList[i].mac == text) {
                known = s.inquiryList[i];
                break;
            }
        }
        targetMac = s.targetMac;
        return 0;
    });
    if (IsOpen() && m_parser.IsConnected()) {
        if (!targetMac.isEmpty() && text.contains(targetMac, Qt::CaseInsensitive)) {
            return 1;  // already connected to it
        }
        ResetModule();
    }
    m_parser.ResetLinkState();
    m_parser.Update([&](LinkState& s) {
        s.inquiryList.clear();
        if (known && IsMacText(known->mac)) {
            s.inquiryList.append(*known);
            s.targetMac = known->mac;
            s.targetName = known->name;
            s.rssi = known->rssi;
        } else {
            s.inquiryList.append(InquiryEntry{QString(), text, -128});
            s.targetMac = text;
        }
    });
    return ConnectMac(text);
}

int CAdapterLink::ConnectFirstFound(int seconds) {
    if (!IsOpen()) {
        return 0;
    }
    Pause(GetInquiryWaitTime(GetConfigPath()));
    if (m_parser.IsConnected()) {
        ResetModule();
    }
    m_parser.ResetLinkState();
    m_parser.Update([](LinkState& s) { s.inquiryList.clear(); });
    // Always without names: the first answer is wanted, not the best one.
    RunInquiryRounds(kWaitFirstInquiry, QStringLiteral("inquiry 5"), seconds);
    QString target;
    m_parser.Update([&target](LinkState& s) {
        if (!s.inquiryList.isEmpty()) {
            s.targetMac = s.inquiryList.first().mac;
            s.rssi = s.inquiryList.first().rssi;
        }
        target = s.targetMac;
    });
    if (IsMacText(target)) {
        return ConnectMac(target);
    }
    EndWait();
    return 0;
}

int CAdapterLink::SearchConnect(int seconds) {
    if (!IsOpen()) {
        return 0;
    }
    if (m_parser.IsConnected()) {
        ResetModule();
    }
    m_parser.ResetLinkState();
    m_parser.Update([](LinkState& s) { s.inquiryList.clear(); });
    const bool withName = GetInquiryWithName(GetConfigPath()) != 0;
    RunInquiryRounds(kWaitInquiryEnd,
                     withName ? QStringLiteral("inquiry 5 name") : QStringLiteral("inquiry 5"),
                     seconds);
    if (m_parser.SelectTarget(m_timing.selectNameWait)) {
        const QString target = GetTargetMac();
        if (IsMacText(target)) {
            return ConnectMac(target);
        }
    }
    EndWait();
    return 0;
}

}  // namespace orv
