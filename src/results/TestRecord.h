#pragma once

#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <mutex>

#include <functional>
#include <limits>

// The per-headset test record: the item rows the simple test window shows, the clocks that time
// each item, and the values the saved result needs. Pure logic; a window only displays it.
namespace orv {

// Step numbers of the one-key test; a concluded test reports the step that failed (0 = passed).
enum TestStep : int {
    kStepNone = 0,
    kStepConnection = 1,  // also name, battery and RSSI
    kStepName = 2,
    kStepBattery = 3,
    kStepRssi = 4,
    kStepA2dpListening = 5,
    kStepHfpRecord = 6,
    kStepHfpListening = 7,
    kStepKeyTest = 8,
    kStepRingTest = 9,
};

inline constexpr const char* kResultPass = "PASS";
inline constexpr const char* kResultFail = "FAIL";
inline constexpr const char* kResultUntested = "UNTESTED";

// Cell colours as 0xRRGGBB.
inline constexpr unsigned kPassRgb = 0x00FF00;
inline constexpr unsigned kFailRgb = 0xFF0000;
inline constexpr unsigned kNewCellRgb = 0xF0FFF0;  // item and result cells of a fresh row
inline constexpr unsigned kNoRgb = 0xFFFFFFFFu;    // cell keeps the view's own background

// Which items the one-key test runs, read from config.ini afresh for every layout and save.
struct ItemSwitches {
    bool battery = true;        // [AutoTest] "3"
    bool rssi = true;           // [AutoTest] "4"
    bool a2dpListening = true;  // [AutoTest] "5"
    bool hfpRecord = true;      // [AutoTest] "6"
    bool hfpListening = true;   // [AutoTest] "7" and "6": playback needs the recording
    bool keyTest = true;        // [AutoTest] "8"
    bool ringTest = false;      // [RingCheckTest] "RingCheckTest"

    // Whether the item with this step (5 … 9) is run; steps 1 … 4 are always judged.
    bool StepEnabled(int step) const;

    static ItemSwitches Read(const QString& configPath);
};

// The texts the record and the saved result use, in the interface language. Built from the UI
// string table by id, so the item cells match the texts the one-key test sends.
struct ResultTexts {
    QString groupConnection;  // 197 "BT connection"
    QString groupFunction;    // 202 "BT function test"
    QString macInput;         // 196 "MAC input"
    QString connection;       // 197 "BT connection"
    QString name;             // 159 "Name"
    QString battery;          // 164 "Battery"
    QString rssi;             // "RSSI", the same in both languages
    QString a2dpListening;    // 182
    QString hfpRecord;        // 185
    QString hfpListening;     // 187
    QString keyVolume;        // 212 "VOL+/-"
    QString keyMedia;         // 213 "Play/Pause/Pre/Next"
    QString ringTest;         // 191
    QString tableName;        // 214 "TEST_EN" / "TEST_CN"
    QStringList columns;      // the 13 columns of a saved result, in order

    // `text(id)` returns the string-table entry `id` of the current language.
    static ResultTexts FromStringTable(const std::function<QString(int)>& text);
};

// The saved verdict of an item with step `step` of a test that failed at `failedStep`
// (0 = the test passed): "PASS" before the failing step, "FAIL" at it, "UNTESTED" after it;
// "UNTESTED" for an item that was not run.
QString StepVerdict(bool enabled, int step, int failedStep);

struct ItemRow {
    QString group;
    QString item;
    QString info;
    QString result;
    QString time;
    int step = kStepNone;  // step a failure of this item is reported with (0: none of its own)
    unsigned itemRgb = kNewCellRgb;
    unsigned infoRgb = kNoRgb;
    unsigned resultRgb = kNewCellRgb;
};

// The rows of one headset's test and the item clocks. Thread-safe: the one-key test and the key
// test call SetItemInfo/SetItemResult from their own threads while the window reads the rows on
// the GUI thread; the signals are emitted after the lock is released, so a queued connection to a
// view never blocks the sender.
class CTestRecord final : public QObject {
    Q_OBJECT
public:
    // `clockMs` gives a monotonic time in milliseconds; the default is a steady clock.
    explicit CTestRecord(std::function<qint64()> clockMs = {}, QObject* parent = nullptr);

    // Lays the rows out afresh for the next headset: the table order, skipping disabled items.
    void RebuildItemRows(const ItemSwitches& switches, const ResultTexts& texts);

    // The first row whose item text equals `item` exactly gets `info`. No match: nothing
    // changes. Returns whether a row matched.
    bool SetItemInfo(const QString& item, const QString& info);

    // The first row whose item text equals `item` with spaces removed from both and letter case
    // ignored gets `info`, "PASS" or "FAIL", the colours and the item's time (since the previous
    // result, "Start test" or RestartItemClock). No match: neither the row nor the clocks change.
    bool SetItemResult(const QString& item, const QString& info, bool pass);

    // Starts the item clock now (also used by "Start test").
    void RestartItemClock();
    // Starts the run clock and the item clock ("Start test").
    void StartRun();
    // Milliseconds since StartRun.
    qint64 RunElapsedMs() const;

    // The highest level of this headset's HFP recording, dBFS. NaN until the record item sets
    // it; laying the rows out for the next headset forgets it, so a headset whose recording
    // never ran is not saved with the level of the one before.
    void SetHfpMaxLevel(double dbfs);
    double HfpMaxLevel() const;

    QList<ItemRow> Rows() const;
    int RowCount() const;

signals:
    void rowsReset();
    void rowChanged(int row);

private:
    std::function<qint64()> m_clockMs;
    mutable std::mutex m_lock;  // guards every member below
    QList<ItemRow> m_rows;
    qint64 m_runStart = 0;
    qint64 m_itemStart = 0;
    double m_hfpMaxLevel = std::numeric_limits<double>::quiet_NaN();
};

// The result label of the simple test window: "PASS" or "FAIL" and the seconds since "Start
// test", as in "PASS(12.30 s)".
QString ResultLabelText(bool pass, qint64 runElapsedMs);

// Pass and fail counters of the test run, in memory only.
class CStatistics final : public QObject {
    Q_OBJECT
public:
    using QObject::QObject;

    void Count(bool pass);
    void Reset();

    int PassCount() const;
    int FailCount() const;
    int Total() const;

    // The rate cell: empty with no test; else pass × 100 / total as "%.2f" with trailing zeros
    // and then the point removed, and "%" appended ("12.5%", "66.67%", "100%", "0%").
    QString RateText() const;
    static QString RateText(int pass, int fail);

signals:
    void changed();

private:
    mutable std::mutex m_lock;  // guards both counters
    int m_pass = 0;
    int m_fail = 0;
};

}  // namespace orv
