#pragma once

#include <QDateTime>
#include <QString>
#include <QStringList>

#include "results/TestRecord.h"

// One saved test result: the 13 text values of a row of "TEST_EN" / "TEST_CN".
namespace orv {

// Key presses counted by the key test.
struct KeyPressCounts {
    int volUp = 0;
    int volDown = 0;
    int playPause = 0;
    int previous = 0;
    int next = 0;
};

// The headset's identity and measured values, read from the link state when the test ends.
struct HeadsetValues {
    QString mac;
    QString name;
    int battery = 0;  // percent; 0 or less is saved as an empty text
    int rssi = 0;     // dBm; saved only when -127 <= rssi < 20
    KeyPressCounts keys;
};

// A row ready to be written. `id` names it uniquely for ever, so a row that was kept in the
// journal and written later is never written twice.
struct ResultRow {
    QString id;
    QString table;
    QStringList columns;
    QStringList values;  // same count and order as `columns`

    bool IsValid() const;
};

// "%d" of the battery level when greater than 0, else empty.
QString BatteryText(int battery);
// "%d" of the RSSI when -127 <= RSSI < 20, else empty.
QString RssiText(int rssi);

// The 13 values of a finished test: time, overall result, MAC, name, battery, RSSI, the five
// verdicts and the two details texts. `failedStep` is 0 for a passed test; a NaN
// `hfpMaxLevel` (not measured) leaves the HFP record details empty.
ResultRow BuildResultRow(const ResultTexts& texts, const ItemSwitches& switches,
                         const HeadsetValues& headset, bool pass, int failedStep,
                         double hfpMaxLevel, const QDateTime& savedAt);

// A new row id (a random UUID without braces).
QString NewResultRowId();

}  // namespace orv
