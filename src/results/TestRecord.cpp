#include "results/TestRecord.h"

#include <chrono>

#include "config/Settings.h"

namespace orv {
namespace {

qint64 SteadyMs() {
    using namespace std::chrono;
    return duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count();
}

QString WithoutSpaces(const QString& text) {
    QString out = text;
    out.remove(QLatin1Char(' '));
    return out;
}

}  // namespace

bool ItemSwitches::StepEnabled(int step) const {
    switch (step) {
        case kStepA2dpListening:
            return a2dpListening;
        case kStepHfpRecord:
            return hfpRecord;
        case kStepHfpListening:
            return hfpListening;
        case kStepKeyTest:
            return keyTest;
        case kStepRingTest:
            return ringTest;
        default:
            return step >= kStepConnection && step <= kStepRssi;
    }
}

ItemSwitches ItemSwitches::Read(const QString& configPath) {
    ItemSwitches s;
    s.battery = GetAutoTestItem(configPath, 3) != 0;
    s.rssi = GetAutoTestItem(configPath, 4) != 0;
    s.a2dpListening = GetAutoTestItem(configPath, 5) != 0;
    s.hfpRecord = GetAutoTestItem(configPath, 6) != 0;
    // The playback item plays the recording back, so the one-key test runs it only after the
    // record item; with "6" off it never runs and must not be shown or saved as passed.
    s.hfpListening = s.hfpRecord && GetAutoTestItem(configPath, 7) != 0;
    s.keyTest = GetAutoTestItem(configPath, 8) != 0;
    s.ringTest = GetRingCheckTest(configPath) != 0;
    return s;
}

ResultTexts ResultTexts::FromStringTable(const std::function<QString(int)>& text) {
    ResultTexts t;
    t.groupConnection = text(197);
    t.groupFunction = text(202);
    t.macInput = text(196);
    t.connection = text(197);
    t.name = text(159);
    t.battery = text(164);
    t.rssi = QStringLiteral("RSSI");
    t.a2dpListening = text(182);
    t.hfpRecord = text(185);
    t.hfpListening = text(187);
    t.keyVolume = text(212);
    t.keyMedia = text(213);
    t.ringTest = text(191);
    t.tableName = text(214);
    t.columns =
        QStringList{text(203), text(204), text(160), text(159), text(164), QStringLiteral("RSSI"),
                    text(182), text(185), text(205), text(187), text(189), text(206),
                    text(191)};
    return t;
}

QString StepVerdict(bool enabled, int step, int failedStep) {
    if (!enabled) {
        return QString::fromLatin1(kResultUntested);
    }
    if (failedStep == kStepNone || step < failedStep) {
        return QString::fromLatin1(kResultPass);
    }
    return QString::fromLatin1(step == failedStep ? kResultFail : kResultUntested);
}

CTestRecord::CTestRecord(std::function<qint64()> clockMs, QObject* parent)
    : QObject(parent),
      m_clockMs(clockMs ? std::move(clockMs) : std::function<qint64()>(SteadyMs)) {
    m_runStart = m_itemStart = m_clockMs();
}

void CTestRecord::RebuildItemRows(const ItemSwitches& switches, const ResultTexts& texts) {
    struct Entry {
        const QString* group;
        const QString* item;
        int step;
        bool shown;
    };
    const Entry table[] = {
        {&texts.groupConnection, &texts.macInput, kStepNone, true},
        {&texts.groupConnection, &texts.connection, kStepNone, true},
        {&texts.groupFunction, &texts.name, kStepNone, true},
        {&texts.groupFunction, &texts.battery, kStepNone, switches.battery},
        {&texts.groupFunction, &texts.rssi, kStepNone, switches.rssi},
        {&texts.groupFunction, &texts.a2dpListening, kStepA2dpListening, switches.a2dpListening},
        {&texts.groupFunction, &texts.hfpRecord, kStepHfpRecord, switches.hfpRecord},
        {&texts.groupFunction, &texts.hfpListening, kStepHfpListening, switches.hfpListening},
        {&texts.groupFunction, &texts.keyVolume, kStepKeyTest, switches.keyTest},
        {&texts.groupFunction, &texts.keyMedia, kStepKeyTest, switches.keyTest},
        {&texts.groupFunction, &texts.ringTest, kStepRingTest, switches.ringTest},
    };
    QList<ItemRow> rows;
    for (const Entry& e : table) {
        if (!e.shown) {
            continue;
        }
        ItemRow row;
        row.group = *e.group;
        row.item = *e.item;
        row.step = e.step;
        rows.append(row);
    }
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_rows = std::move(rows);
        m_hfpMaxLevel = std::numeric_limits<double>::quiet_NaN();
    }
    emit rowsReset();
}

bool CTestRecord::SetItemInfo(const QString& item, const QString& info) {
    int changed = -1;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int i = 0; i < m_rows.size(); ++i) {
            if (m_rows[i].item == item) {
                m_rows[i].info = info;
                changed = i;
                break;
            }
        }
    }
    if (changed < 0) {
        return false;
    }
    emit rowChanged(changed);
    return true;
}

bool CTestRecord::SetItemResult(const QString& item, const QString& info, bool pass) {
    const QString wanted = WithoutSpaces(item);
    int changed = -1;
    {
        std::lock_guard<std::mutex> lock(m_lock);
        for (int i = 0; i < m_rows.size(); ++i) {
            ItemRow& row = m_rows[i];
            if (WithoutSpaces(row.item).compare(wanted, Qt::CaseInsensitive) != 0) {
                continue;
            }
            const unsigned rgb = pass ? kPassRgb : kFailRgb;
            row.info = info;
            row.infoRgb = rgb;
            row.result = QString::fromLatin1(pass ? kResultPass : kResultFail);
            row.resultRgb = rgb;
            const qint64 now = m_clockMs();
            row.time = QString::asprintf("%.2f s", double(now - m_itemStart) / 1000.0);
            m_itemStart = now;
            changed = i;
            break;
        }
    }
    if (changed < 0) {
        return false;
    }
    emit rowChanged(changed);
    return true;
}

void CTestRecord::RestartItemClock() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_itemStart = m_clockMs();
}

void CTestRecord::StartRun() {
    std::lock_guard<std::mutex> lock(m_lock);
    m_runStart = m_itemStart = m_clockMs();
}

qint64 CTestRecord::RunElapsedMs() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_clockMs() - m_runStart;
}

void CTestRecord::SetHfpMaxLevel(double dbfs) {
    std::lock_guard<std::mutex> lock(m_lock);
    m_hfpMaxLevel = dbfs;
}

double CTestRecord::HfpMaxLevel() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_hfpMaxLevel;
}

QList<ItemRow> CTestRecord::Rows() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_rows;
}

int CTestRecord::RowCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return int(m_rows.size());
}

QString ResultLabelText(bool pass, qint64 runElapsedMs) {
    return QString::fromLatin1(pass ? kResultPass : kResultFail) +
           QString::asprintf("(%.2f s)", double(runElapsedMs) / 1000.0);
}

void CStatistics::Count(bool pass) {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        (pass ? m_pass : m_fail) += 1;
    }
    emit changed();
}

void CStatistics::Reset() {
    {
        std::lock_guard<std::mutex> lock(m_lock);
        m_pass = m_fail = 0;
    }
    emit changed();
}

int CStatistics::PassCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pass;
}

int CStatistics::FailCount() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_fail;
}

int CStatistics::Total() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return m_pass + m_fail;
}

QString CStatistics::RateText() const {
    std::lock_guard<std::mutex> lock(m_lock);
    return RateText(m_pass, m_fail);
}

QString CStatistics::RateText(int pass, int fail) {
    const int total = pass + fail;
    if (total == 0) {
        return QString();
    }
    QString text = QString::asprintf("%.2f", pass * 100.0 / total);
    while (text.endsWith(QLatin1Char('0'))) {
        text.chop(1);
    }
    while (text.endsWith(QLatin1Char('.'))) {
        text.chop(1);
    }
    return text + QLatin1Char('%');
}

}  // namespace orv
