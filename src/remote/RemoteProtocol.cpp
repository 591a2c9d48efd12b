#include "remote/RemoteProtocol.h"

#include <QThread>

#include <algorithm>
#include <array>
#include <string_view>
#include <utility>

#include "station/MacText.h"

namespace orv {

namespace {

struct WordEntry {
    RemoteCommand command;
    std::string_view word;  // a literal: data() ends with a NUL
};

// Table order decides: "HFPA2DP" runs HFP, "VOLUMEADD" must be tested before "VOLUME".
constexpr std::array<WordEntry, 19> kWords = {{
    {RemoteCommand::AutoConnect, "AUTOCONNECT"},
    {RemoteCommand::SearchConnect, "SEARCHCONNECT"},
    {RemoteCommand::MacConnect, "MACCONNECT"},
    {RemoteCommand::Disconnect, "DISCONNECT"},
    {RemoteCommand::Hfp, "HFP"},
    {RemoteCommand::A2dp, "A2DP"},
    {RemoteCommand::Rssi, "RSSI"},
    {RemoteCommand::Name, "NAME"},
    {RemoteCommand::Battery, "BATTERY"},
    {RemoteCommand::MacAddr, "MACADDR"},
    {RemoteCommand::Reset, "RESET"},
    {RemoteCommand::AnswerCall, "ANSWERCALL"},
    {RemoteCommand::EndCall, "ENDCALL"},
    {RemoteCommand::VolumeAdd, "VOLUMEADD"},
    {RemoteCommand::VolumeDel, "VOLUMEDEL"},
    {RemoteCommand::Volume, "VOLUME"},
    {RemoteCommand::ReadInfo, "READINFO"},
    {RemoteCommand::StartKey, "STARTKEY"},
    {RemoteCommand::StopKey, "STOPKEY"},
}};

// Characters of the longest command word.
constexpr qsizetype LongestWord() {
    qsizetype longest = 0;
    for (const WordEntry& entry : kWords) {
        longest = std::max(longest, qsizetype(entry.word.size()));
    }
    return longest;
}
constexpr qsizetype kLongestWord = LongestWord();

QString WithoutBlanks(QString text) {
    text.remove(QLatin1Char(' '));
    return text;
}

constexpr QChar kFullWidthColon(0xFF1A);

// Pause lengths of the command table, in milliseconds.
constexpr int kReplyPauseMs = 100;
constexpr int kVolumeStepPauseMs = 100;
constexpr int kVolumeSetPauseMs = 200;
constexpr int kReadInfoPauseMs = 2000;  // lets the name, RSSI and volume answers arrive
constexpr int kKeyTestPauseMs = 1000;

constexpr int kHfpFullGain = 15;
constexpr int kA2dpFullVolume = 100;

// Bytes at the end of `bytes` that start a UTF-8 sequence without finishing it (0 to 3).
qsizetype IncompleteUtf8Tail(const QByteArray& bytes) {
    const qsizetype size = bytes.size();
    for (qsizetype back = 1; back <= std::min<qsizetype>(3, size); ++back) {
        const auto byte = static_cast<unsigned char>(bytes.at(size - back));
        if ((byte & 0xC0) == 0x80) {
            continue;  // a continuation byte: the lead is further back
        }
        const qsizetype need = (byte & 0xE0) == 0xC0   ? 2
                               : (byte & 0xF0) == 0xE0 ? 3
                               : (byte & 0xF8) == 0xF0 ? 4
                                                       : 1;
        return need > back ? back : 0;
    }
    return 0;
}

}  // namespace

const char* RemoteCommandWord(RemoteCommand command) {
    for (const WordEntry& entry : kWords) {
        if (entry.command == command) {
            return entry.word.data();
        }
    }
    return "";
}

RemoteCommand FindRemoteCommand(const QString& text) {
    if (text.isEmpty()) {
        return RemoteCommand::None;
    }
    // The words in UTF-16 once: a Latin-1 needle is converted again on every search.
    static const std::array<QString, kWords.size()> wide = [] {
        std::array<QString, kWords.size()> w;
        for (size_t i = 0; i < kWords.size(); ++i) {
            w[i] = QLatin1StringView(kWords[i].word.data(), qsizetype(kWords[i].word.size()));
        }
        return w;
    }();
    for (size_t i = 0; i < kWords.size(); ++i) {
        if (text.contains(wide[i], Qt::CaseSensitive)) {
            return kWords[i].command;
        }
    }
    return RemoteCommand::None;
}

QString RemoteMacArgument(const QString& compact) {
    // indexOf gives -1 without a ':', so the whole text becomes the argument (and fails).
    QString mac = compact.mid(compact.indexOf(QLatin1Char(':')) + 1);
    mac.replace(kFullWidthColon, QLatin1Char(':'));
    return mac;
}

bool IsRemoteMacText(const QString& text) {
    return IsValidMacText(text);  // the rule of the MAC field: six hex pairs, ' ' and ':' between
}

QString RemoteKeyText(int keyCode) {
    switch (keyCode) {
        case 1:
            return QStringLiteral("VOL+");
        case 2:
            return QStringLiteral("VOL-");
        case 3:
            return QStringLiteral("PLAY/PAUSE");
        case 4:
            return QStringLiteral("NEXT");
        case 5:
            return QStringLiteral("PREVIOUS");
        default:
            return {};
    }
}

QString FormatRemoteInfo(const RemoteInfo& info) {
    return QStringList{info.name, info.mac, info.mode, info.volume, info.battery, info.rssi}.join(
        QLatin1Char(','));
}

CRemoteProtocol::CRemoteProtocol(IRemoteStation& station, PauseFunction pause)
    : m_station(station), m_pause(std::move(pause)) {
    if (!m_pause) {
        m_pause = [](int ms) { QThread::msleep(static_cast<unsigned long>(ms)); };
    }
}

void CRemoteProtocol::OnSerialReceive(
    const std::function<qsizetype(char* buffer, qsizetype n)>& read) {
    char piece[kReadPiece];
    qsizetype drained = 0;
    while (drained < kDrainLimit) {
        const qsizetype n = read(piece, std::min(kReadPiece, kDrainLimit - drained));
        if (n <= 0) {
            break;
        }
        AppendReceived(piece, n);
        drained += n;
    }
    if (DispatchRemoteCommand()) {
        m_remoteText.clear();
        m_searched = 0;
    } else {
        TrimRemoteText();
    }
}

void CRemoteProtocol::AppendReceived(const char* bytes, qsizetype n) {
    if (n <= 0) {
        return;
    }
    // Decoded per reception without carrying decoder state: Qt's stateful decoder drops the
    // byte after an unfinished sequence, which would cost the first letter of the next command.
    m_partial.append(bytes, n);
    const qsizetype tail = IncompleteUtf8Tail(m_partial);
    m_remoteText +=
        QString::fromLocal8Bit(QByteArrayView(m_partial).first(m_partial.size() - tail));
    m_partial.remove(0, m_partial.size() - tail);
}

void CRemoteProtocol::TrimRemoteText() {
    if (m_remoteText.size() <= kRemoteTextLimit) {
        return;
    }
    qsizetype cut = m_remoteText.size() - kRemoteTextLimit;
    if (m_remoteText.at(cut).isLowSurrogate()) {
        ++cut;  // never keep half a character
    }
    m_remoteText.remove(0, cut);
    m_searched = std::max<qsizetype>(0, m_searched - cut);
}

bool CRemoteProtocol::DispatchRemoteCommand() {
    if (m_remoteText.isEmpty()) {
        return false;
    }
    // The text searched before holds no word, so a word now must end in what came since. The
    // search starts as many non-blank characters before that as a word has, less one (blanks
    // do not break a word). Which word wins is still the table's order over the whole text:
    // every word the whole text holds lies in this window. Searching only the window keeps a
    // controller that sends byte by byte from costing the whole kept text per byte.
    qsizetype from = std::min(m_searched, m_remoteText.size());
    for (qsizetype need = kLongestWord - 1; from > 0 && need > 0;) {
        --from;
        if (m_remoteText.at(from) != QLatin1Char(' ')) {
            --need;
        }
    }
    const RemoteCommand command = FindRemoteCommand(WithoutBlanks(m_remoteText.mid(from)));
    if (command == RemoteCommand::None) {
        m_searched = m_remoteText.size();
        return false;
    }
    Run(command, WithoutBlanks(m_remoteText));
    return true;
}

void CRemoteProtocol::Run(RemoteCommand command, const QString& compact) {
    const QString ok = QStringLiteral("OK");
    switch (command) {
        case RemoteCommand::None:
            break;
        case RemoteCommand::AutoConnect:
            // "OK" follows when the connection completes (OnHeadsetConnected).
            m_station.PressAutoPair();
            break;
        case RemoteCommand::SearchConnect:
            m_station.PressSearchPair();
            break;
        case RemoteCommand::MacConnect: {
            const QString mac = RemoteMacArgument(compact);
            if (IsRemoteMacText(mac)) {
                m_station.PressMacPair(mac.trimmed());
            } else {
                m_station.PromptForMac();
            }
            break;
        }
        case RemoteCommand::Disconnect:
            m_station.PressDisconnect();
            SendText(ok);
            break;
        case RemoteCommand::Hfp:
            m_station.PressHfpMode();
            if (m_station.AudioState() == 2) {
                SendText(ok);
            }
            break;
        case RemoteCommand::A2dp:
            m_station.PressA2dpMode();
            if (m_station.AudioState() == 1) {
                SendText(ok);
            }
            break;
        case RemoteCommand::Rssi:
            SendText(m_station.RssiText());
            Pause(kReplyPauseMs);
            SendText(ok);
            break;
        case RemoteCommand::Name:
            SendText(m_station.QueryName());
            Pause(kReplyPauseMs);
            SendText(ok);
            break;
        case RemoteCommand::Battery:
            SendText(m_station.BatteryText());
            Pause(kReplyPauseMs);
            SendText(ok);
            break;
        case RemoteCommand::MacAddr:
            SendText(m_station.TargetMac());
            break;
        case RemoteCommand::Reset:
            m_station.ResetFromRemote();
            SendText(ok);
            break;
        case RemoteCommand::AnswerCall:
            m_station.PressDialMode();
            break;
        case RemoteCommand::EndCall:
            m_station.PressA2dpMode();
            break;
        case RemoteCommand::VolumeAdd:
            m_station.PressVolumeUp();
            Pause(kVolumeStepPauseMs);
            break;
        case RemoteCommand::VolumeDel:
            m_station.PressVolumeDown();
            Pause(kVolumeStepPauseMs);
            break;
        case RemoteCommand::Volume:
            m_station.SetHfpVolume(kHfpFullGain);
            Pause(kVolumeSetPauseMs);
            m_station.SetA2dpVolume(kA2dpFullVolume);
            Pause(kVolumeSetPauseMs);
            m_station.RefreshDeviceList();
            break;
        case RemoteCommand::ReadInfo:
            if (m_station.RefreshInfo() == 1) {
                Pause(kReadInfoPauseMs);
            }
            SendText(FormatRemoteInfo(m_station.ReadInfo()));
            break;
        case RemoteCommand::StartKey:
            m_station.PressKeyStart();
            Pause(kKeyTestPauseMs);
            SendText(ok);
            break;
        case RemoteCommand::StopKey:
            m_station.PressKeyStop();
            Pause(kKeyTestPauseMs);
            SendText(ok);
            break;
    }
}

void CRemoteProtocol::OnHeadsetConnected() {
    SendText(QStringLiteral("OK"));
}

void CRemoteProtocol::OnKeyPressed(int keyCode) {
    SendText(RemoteKeyText(keyCode));
}

void CRemoteProtocol::SendText(const QString& text) {
    // An empty reply puts nothing on the wire; the controller sees only what follows it.
    if (!text.isEmpty()) {
        m_station.WriteRemote(text.toLocal8Bit());
    }
}

void CRemoteProtocol::Pause(int ms) {
    m_pause(ms);
}

}  // namespace orv
