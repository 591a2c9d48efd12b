#include "module/ModuleParser.h"

#include "config/Settings.h"
#include "module/ModuleText.h"
#include "shell/LogWriter.h"

namespace orv {

namespace {

const QChar kMask = QLatin1Char('#');

// Link ids are small; anything else in their place is garbage, not a link.
constexpr int kMaxLinkId = 255;

// The headset's name (and any other quoted text) must never be read as an event, so the checks
// look at a copy in which everything between the first and the last double quote is masked.
QString MaskQuoted(const QString& text) {
    const int first = text.indexOf(QLatin1Char('"'));
    const int last = text.lastIndexOf(QLatin1Char('"'));
    if (first < 0 || last <= first + 1) {
        return text;
    }
    QString view = text;
    for (int i = first + 1; i < last; ++i) {
        view[i] = kMask;
    }
    return view;
}

// Key words of the module's event lines. A line is scanned once for all of them; a check skips
// every line that lacks its word, which keeps the parser far ahead of the adapter.
enum Word : unsigned {
    kHasAt = 1u << 0,             // "AT+"
    kHasVolume = 1u << 1,         // "VOLUME"
    kHasRelease = 1u << 2,        // "RELEASE"
    kHasNoCarrier = 1u << 3,      // "NO CARRIER"
    kHasInquiry = 1u << 4,        // "INQUIRY"
    kHasConnect = 1u << 5,        // "CONNECT"
    kHasRing = 1u << 6,           // "RING"
    kHasSco = 1u << 7,            // "SCO"
    kHasStreaming = 1u << 8,      // "STREAMING"
    kHasHfpAg = 1u << 9,          // "HFP-AG"
    kHasCapabilities = 1u << 10,  // "GET_CAPABILITIES"
    kHasReady = 1u << 11,         // "READY."
    kHasName = 1u << 12,          // "NAME"
    kHasRssi = 1u << 13,          // "RSSI"
};

// Whether `word` stands at `at`; the caller has matched its first letter already.
template <size_t N>
bool WordAt(QStringView text, qsizetype at, const char (&word)[N]) {
    constexpr qsizetype kLength = N - 1;
    if (text.size() - at < kLength) {
        return false;
    }
    const QChar* p = text.data() + at;
    for (qsizetype k = 1; k < kLength; ++k) {
        if (p[k].unicode() != static_cast<char16_t>(word[k])) {
            return false;
        }
    }
    return true;
}

unsigned ClassifyLine(QStringView view) {
    unsigned words = 0;
    const qsizetype n = view.size();
    for (qsizetype i = 0; i < n; ++i) {
        switch (view[i].unicode()) {
            case u'A':
                if (WordAt(view, i, "AT+"))
                    words |= kHasAt;
                break;
            case u'V':
                if (WordAt(view, i, "VOLUME"))
                    words |= kHasVolume;
                break;
            case u'R':
                if (WordAt(view, i, "RELEASE"))
                    words |= kHasRelease;
                else if (WordAt(view, i, "RING"))
                    words |= kHasRing;
                else if (WordAt(view, i, "READY."))
                    words |= kHasReady;
                else if (WordAt(view, i, "RSSI"))
                    words |= kHasRssi;
                break;
            case u'N':
                if (WordAt(view, i, "NO CARRIER"))
                    words |= kHasNoCarrier;
                else if (WordAt(view, i, "NAME"))
                    words |= kHasName;
                break;
            case u'I':
                if (WordAt(view, i, "INQUIRY"))
                    words |= kHasInquiry;
                break;
            case u'C':
                if (WordAt(view, i, "CONNECT"))
                    words |= kHasConnect;
                break;
            case u'S':
                if (WordAt(view, i, "SCO"))
                    words |= kHasSco;
                else if (WordAt(view, i, "STREAMING"))
                    words |= kHasStreaming;
                break;
            case u'H':
                if (WordAt(view, i, "HFP-AG"))
                    words |= kHasHfpAg;
                break;
            case u'G':
                if (WordAt(view, i, "GET_CAPABILITIES"))
                    words |= kHasCapabilities;
                break;
            default:
                break;
        }
    }
    return words;
}

// The text from `pattern` to the end of the line, without the pattern, trimmed.
QString AfterPattern(const QString& view, const QString& pattern) {
    const int at = view.indexOf(pattern);
    if (at < 0) {
        return QString();
    }
    return view.mid(at + pattern.size()).trimmed();
}

bool NumberInRange(const QString& text, int low, int high, int* value) {
    int v = 0;
    if (!ParseModuleNumber(text, &v) || v < low || v > high) {
        return false;
    }
    *value = v;
    return true;
}

bool SameMac(const QString& a, const QString& b) {
    return !a.isEmpty() && a.compare(b, Qt::CaseInsensitive) == 0;
}

bool IsConnectedFor(const LinkState& s, int a2dpConfigured, int hfpConfigured) {
    const bool a2dpOk = !a2dpConfigured || (s.a2dpLink != -1 && s.avrcpLink != -1);
    const bool hfpOk = !hfpConfigured || s.hfpLink != -1;
    return a2dpOk && hfpOk;
}

}  // namespace

CModuleParser::CModuleParser(IModuleHost* host) : m_host(host) {
    ResetLinkState();
}

CModuleParser::~CModuleParser() {
    Stop();
}

void CModuleParser::ResetLinkState() {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        ResetLocked();
    }
    m_stateChanged.notify_all();
}

void CModuleParser::ResetLocked() {
    m_state.targetName.clear();
    m_state.targetMac.clear();
    m_state.rssi = -128;
    m_state.hfpVolume = -1;
    m_state.avrcpVolume = -1;
    m_state.battery = -1;
    m_state.hfpLink = -1;
    m_state.a2dpLink = -1;
    m_state.avrcpLink = -1;
    m_state.scoLink = -1;
    m_state.streaming = 0;
    m_state.audioMode = 0;
    m_state.noCarrierWatch = 0;
    m_state.hasMusicMode = GetHasMusicMode(GetConfigPath());
}

void CModuleParser::AppendPending(const QString& text) {
    if (text.isEmpty()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_pending.append(text);
        // A parser that lags behind a stream without line ends must not let the pending text
        // grow without bound: keep the complete lines and the newest part of the unfinished one.
        if (m_pending.size() > kMaxUnfinishedLine) {
            const int lastCr = static_cast<int>(m_pending.lastIndexOf(QLatin1Char('\r')));
            const int unfinished = static_cast<int>(m_pending.size()) - lastCr - 1;
            if (unfinished > kMaxUnfinishedLine) {
                // Counted and logged by the cycle, which sees the same unfinished line.
                m_pending = m_pending.left(lastCr + 1) + m_pending.right(kMaxUnfinishedLine);
            }
        }
    }
    m_pendingArrived.notify_one();
}

void CModuleParser::Start() {
    if (m_thread.joinable()) {
        return;
    }
    {
        // A new session with the adapter: nothing of the last one's text is left over.
        std::lock_guard<std::mutex> cycle(m_cycleMutex);
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_stop = false;
        m_pending.clear();
        m_work.clear();
        m_overflowing = false;
    }
    m_thread = std::thread([this] { ThreadMain(); });
}

void CModuleParser::Stop() {
    if (!m_thread.joinable()) {
        return;
    }
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        m_stop = true;
    }
    m_pendingArrived.notify_all();
    if (m_thread.get_id() == std::this_thread::get_id()) {
        m_thread.detach();  // stopped from its own callback: it ends after this cycle
        return;
    }
    m_thread.join();
}

void CModuleParser::ThreadMain() {
    for (;;) {
        {
            std::unique_lock<std::mutex> lock(m_pendingMutex);
            m_pendingArrived.wait(lock, [this] { return m_stop || !m_pending.isEmpty(); });
            if (m_stop) {
                return;
            }
        }
        ProcessPending();
    }
}

bool CModuleParser::ProcessPending() {
    std::lock_guard<std::mutex> cycle(m_cycleMutex);
    QString chunk;
    {
        std::lock_guard<std::mutex> lock(m_pendingMutex);
        if (m_pending.isEmpty()) {
            return false;
        }
        chunk.swap(m_pending);
    }
    m_work.append(chunk);

    // Only complete lines are looked at, each in exactly one cycle; the unfinished last line
    // waits for the rest of its text.
    const qsizetype lastCr = m_work.lastIndexOf(QLatin1Char('\r'));
    SplitLines(QStringView(m_work).first(lastCr + 1));
    if (lastCr >= 0) {
        m_work.remove(0, lastCr + 1);
        m_overflowing = false;
    }
    if (m_work.size() > kMaxUnfinishedLine) {
        m_work = m_work.right(kMaxUnfinishedLine);
        if (!m_overflowing) {
            m_overflowing = true;
            m_overflows.fetch_add(1);
            LogInfo(QStringLiteral("module text without line end beyond %1 characters: "
                                   "oldest text dropped")
                        .arg(kMaxUnfinishedLine));
        }
    }
    RunCycle();
    return true;
}

void CModuleParser::SplitLines(QStringView complete) {
    m_lines.clear();
    qsizetype start = 0;
    while (start < complete.size()) {
        qsizetype end = complete.indexOf(u'\r', start);
        if (end < 0) {
            end = complete.size();
        }
        QStringView piece = complete.sliced(start, end - start);
        start = end + 1;
        // Every line but the first of a burst begins with the line feed of "\r\n".
        while (!piece.isEmpty() && piece.front() == u'\n') {
            piece = piece.sliced(1);
        }
        if (piece.isEmpty()) {
            continue;
        }
        Line& line = m_lines.emplace_back();
        line.text = piece.toString();
        line.view = MaskQuoted(line.text);  // shares the text when nothing is quoted
        line.words = ClassifyLine(line.view);
    }
}

void CModuleParser::RunCycle() {
    std::vector<Line>& lines = m_lines;

    std::vector<Action> actions;
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        CheckLinkLoss(lines);
        CheckBattery(lines);
        const bool hfpChanged = CheckHfpVolume(lines);
        const bool avrcpChanged = CheckAvrcpVolume(lines);
        if (hfpChanged || avrcpChanged) {
            m_actions.push_back({Action::Info, {}, 0});
        }
        CheckVoiceRecognition(lines);
        CheckMediaKeys(lines);

        switch (m_state.waitMode) {
            case kWaitInquiryEnd:
                CollectInquiry(lines);
                break;
            case kWaitConnections:
                CollectConnections(lines);
                break;
            case kWaitFirstInquiry:
                TakeFirstInquiry(lines);
                break;
            case kWaitStreaming:
                WaitStreaming(lines);
                break;
            case kWaitSco:
                WaitSco(lines);
                break;
            case kWaitKeys:
                CountKeys(lines);
                break;
            case kWaitReady: {
                for (const Line& line : lines) {
                    if (line.view.contains(QLatin1String("READY."))) {
                        ++m_state.eventCount;
                        break;
                    }
                }
                CollectInquiry(lines);
                break;
            }
            default:
                break;
        }
        // After the inquiry handlers: a name or RSSI that arrives in the same burst as the
        // headset's inquiry result must still reach its list entry.
        CheckName(lines);
        CheckRssi(lines);
        actions.swap(m_actions);
    }
    m_stateChanged.notify_all();

    if (m_host == nullptr) {
        return;
    }
    for (const Action& a : actions) {
        switch (a.kind) {
            case Action::Reply:
                m_host->SendReply(a.text);
                break;
            case Action::SyncVolume:
                m_host->SyncSystemVolume(a.value);
                break;
            case Action::Info:
                m_host->LinkInfoChanged();
                break;
            case Action::Dropped:
                m_host->LinksDropped();
                break;
            case Action::Key:
                m_host->MediaKeyReleased(static_cast<MediaKey>(a.value));
                break;
        }
    }
}

void CModuleParser::RemoveLine(std::vector<Line>& lines, size_t index) {
    // Removing a line removes every occurrence of its text.
    const QString text = lines[index].text;
    for (Line& line : lines) {
        if (line.text == text) {
            line.removed = true;
        }
    }
}

void CModuleParser::CheckLinkLoss(std::vector<Line>& lines) {
    if (m_state.noCarrierWatch != 1) {
        return;
    }
    static const QString kNoCarrier = QStringLiteral("NO CARRIER ");
    bool dropped = false;
    for (const Line& line : lines) {
        if (!(line.words & kHasNoCarrier)) {
            continue;
        }
        const int at = line.view.indexOf(kNoCarrier);
        if (at < 0) {
            continue;
        }
        // "NO CARRIER <link> ERROR <code> [reason]": a normal close has code 0, a link loss
        // "c0c RFC_L2CAP_LINK_LOSS"; either way that link is gone.
        const QStringList words =
            line.view.mid(at + kNoCarrier.size()).split(QLatin1Char(' '), Qt::SkipEmptyParts);
        int id = -1;
        if (words.size() < 2 || words.at(1) != QLatin1String("ERROR") ||
            !NumberInRange(words.at(0), 0, kMaxLinkId, &id)) {
            continue;
        }
        if (id == 0 || id == m_state.hfpLink || id == m_state.a2dpLink ||
            id == m_state.avrcpLink) {
            dropped = true;
            break;
        }
    }
    if (!dropped) {
        return;
    }
    ResetLocked();
    m_state.inquiryList.clear();
    m_state.waitMode = kWaitNone;
    m_state.eventCount = 0;
    m_actions.push_back({Action::Dropped, {}, 0});
}

void CModuleParser::CheckBattery(std::vector<Line>& lines) {
    if (m_state.battery != -1) {
        return;
    }
    static const QString kAppleEvent = QStringLiteral("AT+IPHONEACCEV");
    static const QString kIndicator = QStringLiteral("AT+BIEV");
    static const QString kLiteralCr = QStringLiteral("\\r");

    auto removeEverywhere = [&lines](const QString& word) {
        for (Line& line : lines) {
            line.text.remove(word);
            line.view.remove(word);
        }
    };

    for (const Line& line : lines) {
        if (!(line.words & kHasAt)) {
            continue;
        }
        const int at = line.view.indexOf(kAppleEvent);
        if (at < 0) {
            continue;
        }
        // "AT+IPHONEACCEV=<count>,<key>,<value>,...": key 1 is the battery, value 0 to 9.
        const QStringList fields = line.view.mid(at).split(QLatin1Char(','));
        if (fields.size() < 3 || !fields.at(1).contains(QLatin1Char('1'))) {
            continue;
        }
        int level = 0;
        if (!NumberInRange(fields.at(2).left(1), 0, 9, &level)) {
            continue;
        }
        m_state.battery = level * 10 + 10;
        removeEverywhere(kAppleEvent);
        m_actions.push_back({Action::Info, {}, 0});
        return;
    }

    for (const Line& line : lines) {
        if (!(line.words & kHasAt)) {
            continue;
        }
        const int at = line.view.indexOf(kIndicator);
        if (at < 0) {
            continue;
        }
        // "AT+BIEV=2,85\r": the module passes the headset's line end up as the two characters
        // backslash and r. Without them the number stands as it is.
        const QStringList fields = line.view.mid(at).split(QLatin1Char(','));
        if (fields.size() < 2) {
            continue;
        }
        QString value = fields.at(1).trimmed();
        if (value.endsWith(kLiteralCr)) {
            value.chop(kLiteralCr.size());
            value = value.trimmed();
        }
        int level = 0;
        if (!NumberInRange(value, 0, 100, &level)) {
            continue;
        }
        m_state.battery = level;
        removeEverywhere(kIndicator);
        m_actions.push_back({Action::Info, {}, 0});
        return;
    }
}

bool CModuleParser::CheckHfpVolume(std::vector<Line>& lines) {
    if (m_state.hfpLink == -1) {
        return false;
    }
    QString pattern;  // "HFP-AG <link> VOLUME ", built when a line may hold it
    bool changed = false;
    for (const Line& line : lines) {
        if ((line.words & (kHasVolume | kHasHfpAg)) != (kHasVolume | kHasHfpAg)) {
            continue;
        }
        if (pattern.isEmpty()) {
            pattern = QStringLiteral("HFP-AG %1 VOLUME ").arg(m_state.hfpLink);
        }
        if (!line.view.contains(pattern)) {
            continue;
        }
        int gain = 0;
        if (!NumberInRange(AfterPattern(line.view, pattern), 0, 15, &gain)) {
            continue;
        }
        m_state.hfpVolume = gain;
        m_actions.push_back({Action::SyncVolume, {}, gain * 100 / 15});
        changed = true;
    }
    return changed;
}

bool CModuleParser::CheckAvrcpVolume(std::vector<Line>& lines) {
    if (m_state.avrcpLink == -1) {
        return false;
    }
    static const QString kInterim = QStringLiteral(" INTERIM VOLUME_CHANGED ");
    static const QString kChanged = QStringLiteral("CHANGED VOLUME_CHANGED");
    // Every report is handled in the order it came: a change that arrives in the same burst as
    // the interim answer must still be answered with a new registration, or the headset's
    // volume reports stop.
    bool changed = false;
    for (const Line& line : lines) {
        if (!(line.words & kHasVolume)) {
            continue;
        }
        int volume = 0;
        if (line.view.contains(kInterim)) {
            if (!NumberInRange(AfterPattern(line.view, kInterim), 0, 100, &volume)) {
                continue;
            }
            const int previous = m_state.avrcpVolume;
            m_state.avrcpVolume = volume;
            m_actions.push_back({Action::SyncVolume, {}, volume});
            changed = changed || volume != previous;
        } else if (line.view.contains(kChanged)) {
            if (!NumberInRange(AfterPattern(line.view, kChanged), 0, 100, &volume)) {
                continue;
            }
            m_state.avrcpVolume = volume;
            m_actions.push_back(
                {Action::Reply, QStringLiteral("@%1 avrcp pdu 31 d").arg(m_state.avrcpLink), 0});
            changed = true;
        }
    }
    return changed;
}

void CModuleParser::CheckName(std::vector<Line>& lines) {
    static const QString kName = QStringLiteral("NAME ");
    bool info = false;
    for (const Line& line : lines) {
        if (!(line.words & kHasName)) {
            continue;
        }
        const QString view = line.view.trimmed();
        if (!view.startsWith(kName)) {
            continue;
        }
        const QString mac = MacInLine(view);
        if (mac.isEmpty()) {
            continue;
        }
        const int first = line.text.indexOf(QLatin1Char('"'));
        const int last = line.text.lastIndexOf(QLatin1Char('"'));
        QString name;
        if (first >= 0 && last > first) {
            // The name stands between the quotes exactly as the headset gave it.
            name = line.text.mid(first + 1, last - first - 1);
        } else {
            // "NAME ERROR 104 <mac> HCI_ERROR_PAGE_TIMEOUT": a failed request.
            if (view.contains(QLatin1String("ERROR"))) {
                continue;
            }
            name = QString(view).remove(QStringLiteral("NAME")).remove(mac).trimmed();
        }
        if (SameMac(mac, m_state.targetMac) && m_state.targetName != name) {
            m_state.targetName = name;
            info = true;
        }
        for (InquiryEntry& entry : m_state.inquiryList) {
            if (SameMac(entry.mac, mac)) {
                entry.name = name;
                info = true;
                break;
            }
        }
    }
    if (info) {
        m_actions.push_back({Action::Info, {}, 0});
    }
}

void CModuleParser::CheckRssi(std::vector<Line>& lines) {
    static const QString kRssi = QStringLiteral("RSSI ");
    bool info = false;
    for (const Line& line : lines) {
        if (!(line.words & kHasRssi)) {
            continue;
        }
        const QString view = line.view.trimmed();
        if (!view.startsWith(kRssi)) {
            continue;
        }
        const QString mac = MacInLine(view);
        if (mac.isEmpty()) {
            continue;
        }
        const QString rest = QString(view)
                                 .remove(QStringLiteral("RSSI"))
                                 .remove(mac)
                                 .remove(QLatin1Char('"'))
                                 .trimmed();
        int rssi = 0;
        if (!NumberInRange(rest, -1000, 1000, &rssi)) {
            continue;
        }
        if (SameMac(mac, m_state.targetMac)) {
            m_state.rssi = rssi;
            info = true;
        }
        for (InquiryEntry& entry : m_state.inquiryList) {
            if (SameMac(entry.mac, mac)) {
                entry.rssi = rssi;
                info = true;
                break;
            }
        }
    }
    if (info) {
        m_actions.push_back({Action::Info, {}, 0});
    }
}

void CModuleParser::CheckVoiceRecognition(std::vector<Line>& lines) {
    if (m_state.hfpLink == -1) {
        return;
    }
    // Every request gets its own OK: the headset waits for one result per AT command.
    for (const Line& line : lines) {
        if (!(line.words & kHasAt)) {
            continue;
        }
        if (line.view.contains(QLatin1String("AT+BVRA=1"))) {
            m_actions.push_back({Action::Reply, QStringLiteral("@%1 ok").arg(m_state.hfpLink), 0});
        }
    }
}

void CModuleParser::CheckMediaKeys(std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!(line.words & kHasRelease)) {
            continue;
        }
        const QString& v = line.view;
        if (v.contains(QLatin1String("PAUSE RELEASE")) ||
            v.contains(QLatin1String("PLAY RELEASE"))) {
            m_actions.push_back({Action::Key, {}, static_cast<int>(MediaKey::PlayPause)});
        } else if (v.contains(QLatin1String("FORWARD RELEASE"))) {
            m_actions.push_back({Action::Key, {}, static_cast<int>(MediaKey::Next)});
        } else if (v.contains(QLatin1String("BACKWARD RELEASE"))) {
            m_actions.push_back({Action::Key, {}, static_cast<int>(MediaKey::Previous)});
        }
    }
}

namespace {

// "INQUIRY_PARTIAL <mac> <class> "<cached name>" <rssi>": the RSSI stands after the last
// double quote (the whole line when there is none).
std::optional<InquiryEntry> InquiryResult(const QString& view, int minLength) {
    const QString line = view.trimmed();
    if (!line.contains(QLatin1String("INQUIRY_PARTIAL ")) || line.size() < minLength ||
        line.endsWith(QLatin1Char('"'))) {
        return std::nullopt;
    }
    const QString mac = MacInLine(line);
    if (mac.isEmpty()) {
        return std::nullopt;
    }
    const int quote = line.lastIndexOf(QLatin1Char('"'));
    const QString rssiText = quote >= 0 ? line.mid(quote + 1).trimmed() : line;
    InquiryEntry entry;
    entry.mac = mac;
    int rssi = 0;
    // An RSSI that is not a number is unknown: -128, the value of a headset not yet measured.
    entry.rssi = NumberInRange(rssiText, -1000, 1000, &rssi) ? rssi : -128;
    return entry;
}

// "INQUIRY <n>": the end of an inquiry with the number of devices found.
bool IsInquiryEnd(const QString& view) {
    const QString line = view.trimmed();
    int count = 0;
    return line.startsWith(QLatin1String("INQUIRY ")) && (line.size() == 9 || line.size() == 10) &&
           NumberInRange(line.mid(8), 0, 99, &count);
}

}  // namespace

void CModuleParser::CollectInquiry(std::vector<Line>& lines) {
    if (m_state.eventCount >= 1) {
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!(lines[i].words & kHasInquiry)) {
            continue;
        }
        if (lines[i].removed) {
            continue;
        }
        if (auto entry = InquiryResult(lines[i].view, 40)) {
            m_state.inquiryList.append(*entry);
            RemoveLine(lines, i);
            continue;
        }
        if (IsInquiryEnd(lines[i].view)) {
            ++m_state.eventCount;
            RemoveLine(lines, i);
            break;
        }
    }
}

void CModuleParser::TakeFirstInquiry(std::vector<Line>& lines) {
    if (m_state.eventCount >= 1) {
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!(lines[i].words & kHasInquiry)) {
            continue;
        }
        if (lines[i].removed) {
            continue;
        }
        if (auto entry = InquiryResult(lines[i].view, 45)) {
            m_state.inquiryList.append(*entry);
            ++m_state.eventCount;
            RemoveLine(lines, i);
            return;
        }
        if (lines[i].view.trimmed() == QLatin1String("INQUIRY 0")) {
            ++m_state.eventCount;
            RemoveLine(lines, i);
            return;
        }
    }
}

void CModuleParser::CollectConnections(std::vector<Line>& lines) {
    auto linkAfter = [](const QString& view, const QString& word, int* id) {
        const int at = view.indexOf(word);
        if (at < 0) {
            return false;
        }
        QString rest = view.mid(at + word.size());
        const int blank = rest.indexOf(QLatin1Char(' '));
        if (blank >= 0) {
            rest.truncate(blank);
        }
        return NumberInRange(rest.trimmed(), 0, kMaxLinkId, id);
    };
    auto connectId = [](const QString& view, const QString& profile, int* id) {
        const int at = view.indexOf(QLatin1String("CONNECT "));
        if (at < 0) {
            return false;
        }
        const QString rest =
            view.mid(at).remove(QStringLiteral("CONNECT")).remove(profile).trimmed();
        return NumberInRange(rest, 0, kMaxLinkId, id);
    };

    for (size_t i = 0; i < lines.size() && m_state.eventCount < 3; ++i) {
        if (!(lines[i].words &
              (kHasHfpAg | kHasConnect | kHasRing | kHasCapabilities | kHasNoCarrier))) {
            continue;
        }
        if (lines[i].removed) {
            continue;
        }
        const QString& v = lines[i].view;
        int id = -1;
        // An AT command the module passes up from the headset: "HFP-AG 0 UNKNOWN (0): ...".
        if (v.contains(QLatin1String(" UNKNOWN")) && v.contains(QLatin1String("HFP-AG")) &&
            linkAfter(v, QStringLiteral("HFP-AG "), &id) && m_state.hfpLink == -1) {
            m_state.hfpLink = id;
            RemoveLine(lines, i);
            ++m_state.eventCount;
            continue;
        }
        if (v.contains(QLatin1String("CONNECT")) && v.contains(QLatin1String("A2DP 19")) &&
            connectId(v, QStringLiteral("A2DP 19"), &id) && m_state.a2dpLink == -1) {
            m_state.a2dpLink = id;
            RemoveLine(lines, i);
            ++m_state.eventCount;
            continue;
        }
        if (v.contains(QLatin1String("CONNECT")) && v.contains(QLatin1String("AVRCP 17")) &&
            connectId(v, QStringLiteral("AVRCP 17"), &id) && m_state.avrcpLink == -1) {
            m_state.avrcpLink = id;
            RemoveLine(lines, i);
            ++m_state.eventCount;
            continue;
        }
        // The headset opened AVRCP itself: "RING <link> <mac> 17 AVRCP"; the whole number.
        if (v.contains(QLatin1String("RING")) && v.contains(QLatin1String("17 AVRCP")) &&
            linkAfter(v, QStringLiteral("RING "), &id) && m_state.avrcpLink == -1) {
            m_state.avrcpLink = id;
            RemoveLine(lines, i);
            ++m_state.eventCount;
            continue;
        }
        if (m_state.hasMusicMode && v.contains(QLatin1String("GET_CAPABILITIES")) &&
            v.contains(QLatin1String("AVRCP")) && m_state.avrcpLink != -1) {
            m_actions.push_back(
                {Action::Reply, QStringLiteral("@%1 avrcp rsp 1").arg(m_state.avrcpLink), 0});
            RemoveLine(lines, i);
            continue;
        }
        if (v.contains(QLatin1String("NO CARRIER"))) {
            RemoveLine(lines, i);
            ++m_state.eventCount;
        }
    }
}

void CModuleParser::WaitStreaming(std::vector<Line>& lines) {
    if (m_state.eventCount >= 1) {
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if (!(lines[i].words & kHasStreaming)) {
            continue;
        }
        if (!lines[i].removed && lines[i].view.contains(QLatin1String("A2DP STREAMING START"))) {
            m_state.streaming = 1;
            RemoveLine(lines, i);
            ++m_state.eventCount;
            return;
        }
    }
}

void CModuleParser::WaitSco(std::vector<Line>& lines) {
    if (m_state.eventCount >= 1) {
        return;
    }
    for (size_t i = 0; i < lines.size(); ++i) {
        if ((lines[i].words & (kHasConnect | kHasSco)) != (kHasConnect | kHasSco)) {
            continue;
        }
        const QString& v = lines[i].view;
        if (lines[i].removed || !v.contains(QLatin1String("CONNECT ")) ||
            !v.contains(QLatin1String("SCO"))) {
            continue;
        }
        int id = -1;
        const QString rest =
            QString(v).remove(QStringLiteral("CONNECT")).remove(QStringLiteral("SCO")).trimmed();
        if (!NumberInRange(rest, 0, kMaxLinkId, &id)) {
            continue;
        }
        m_state.scoLink = id;
        m_state.audioMode = 1;
        RemoveLine(lines, i);
        ++m_state.eventCount;
        return;
    }
}

void CModuleParser::CountKeys(std::vector<Line>& lines) {
    for (const Line& line : lines) {
        if (!(line.words & (kHasVolume | kHasRelease))) {
            continue;
        }
        m_keyParse.Parse(line.view);
    }
}

bool CModuleParser::IsConnectedState(const LinkState& s, int a2dpConfigured, int hfpConfigured) {
    return IsConnectedFor(s, a2dpConfigured, hfpConfigured);
}

bool CModuleParser::IsConnected() const {
    const QString path = GetConfigPath();
    const int a2dp = GetA2DPConnect(path);
    const int hfp = GetHFPConnect(path);
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return IsConnectedFor(m_state, a2dp, hfp);
}

int CModuleParser::GetStatusTextId() const {
    return IsConnected() ? 194 : 195;
}

QString CModuleParser::GetModeText() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    switch (m_state.audioMode) {
        case 1:
            return QStringLiteral("HFP");
        case 2:
            return QStringLiteral("Dial");
        case 3:
            return QStringLiteral("Ring");
        default:
            break;
    }
    return m_state.streaming ? QStringLiteral("A2DP") : QString();
}

QString CModuleParser::GetVolumeText() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (m_state.audioMode != 0 && m_state.hfpVolume >= 0) {
        return QString::number(m_state.hfpVolume);
    }
    if (m_state.avrcpVolume >= 0) {
        return QString::number(m_state.avrcpVolume);
    }
    return QString();
}

QString CModuleParser::GetBatteryText() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.battery > 0 ? QString::number(m_state.battery) : QString();
}

QString CModuleParser::GetRssiText() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.rssi >= -127 && m_state.rssi < 20 ? QString::number(m_state.rssi) : QString();
}

QString CModuleParser::GetName() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state.targetName;
}

int CModuleParser::SelectTarget(int nameWaitMs) {
    const QString path = GetConfigPath();
    const int pairName = GetPairName(path);
    const int pairRssi = GetPairRssi(path);
    const QString nameText = GetPairNameStr(path);
    const int rssiLimit = GetPairRssiValue(path);

    if (Read([](const LinkState& s) { return s.inquiryList.isEmpty(); })) {
        return 0;
    }
    if (pairName) {
        // Names arrive as name events while the search goes on.
        WaitFor(
            [](const LinkState& s) {
                for (const InquiryEntry& e : s.inquiryList) {
                    if (e.name.isEmpty()) {
                        return false;
                    }
                }
                return true;
            },
            nameWaitMs);
    }

    std::lock_guard<std::mutex> lock(m_stateMutex);
    const QList<InquiryEntry>& list = m_state.inquiryList;
    int picked = -1;
    if (pairRssi && !pairName) {
        int best = -200;
        for (int i = 0; i < list.size(); ++i) {
            if (list[i].rssi > best) {
                best = list[i].rssi;
                picked = i;
            }
        }
        if (best <= -128) {
            picked = -1;
        }
    } else if (pairRssi && pairName) {
        for (int i = 0; i < list.size() && picked < 0; ++i) {
            if (list[i].name.contains(nameText) && list[i].rssi >= rssiLimit) {
                picked = i;
            }
        }
    } else if (!pairRssi && !pairName) {
        picked = list.isEmpty() ? -1 : 0;
    } else {
        for (int i = 0; i < list.size() && picked < 0; ++i) {
            if (list[i].name.contains(nameText)) {
                picked = i;
            }
        }
    }
    if (picked < 0) {
        return 0;
    }
    m_state.targetMac = list[picked].mac;
    m_state.targetName = list[picked].name;
    m_state.rssi = list[picked].rssi;
    return 1;
}

LinkState CModuleParser::State() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_state;
}

void CModuleParser::Update(const std::function<void(LinkState&)>& change) {
    {
        std::lock_guard<std::mutex> lock(m_stateMutex);
        change(m_state);
    }
    m_stateChanged.notify_all();
}

bool CModuleParser::WaitFor(const std::function<bool(const LinkState&)>& done, int timeoutMs,
                            const std::atomic<bool>* abort) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(std::max(0, timeoutMs));
    std::unique_lock<std::mutex> lock(m_stateMutex);
    m_stateChanged.wait_until(
        lock, deadline, [&] { return done(m_state) || (abort != nullptr && abort->load()); });
    return done(m_state);
}

void CModuleParser::WakeWaiters() {
    { std::lock_guard<std::mutex> lock(m_stateMutex); }
    m_stateChanged.notify_all();
}

CKeyPressParse CModuleParser::KeyCounts() const {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    return m_keyParse;
}

void CModuleParser::ClearNewKey() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_keyParse.m_lastKey = kKeyNone;
    m_keyParse.m_newKey = 0;
}

void CModuleParser::ClearKeys() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    m_keyParse.Clear();
}

int CModuleParser::TakeNewKey() {
    std::lock_guard<std::mutex> lock(m_stateMutex);
    if (!m_keyParse.m_newKey) {
        return kKeyNone;
    }
    const int key = m_keyParse.m_lastKey;
    m_keyParse.m_newKey = 0;
    m_keyParse.m_lastKey = kKeyNone;
    return key;
}

}  // namespace orv
