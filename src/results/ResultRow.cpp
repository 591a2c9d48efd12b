#include "results/ResultRow.h"

#include <QUuid>

#include <cmath>

namespace orv {

bool ResultRow::IsValid() const {
    return !id.isEmpty() && !table.isEmpty() && !columns.isEmpty() &&
           columns.size() == values.size();
}

QString BatteryText(int battery) {
    return battery > 0 ? QString::number(battery) : QString();
}

QString RssiText(int rssi) {
    return (rssi >= -127 && rssi < 20) ? QString::number(rssi) : QString();
}

ResultRow BuildResultRow(const ResultTexts& texts, const ItemSwitches& switches,
                         const HeadsetValues& headset, bool pass, int failedStep,
                         double hfpMaxLevel, const QDateTime& savedAt) {
    const int failed = pass ? kStepNone : failedStep;
    auto verdict = [&](int step) { return StepVerdict(switches.StepEnabled(step), step, failed); };
    // A details text is kept when its item was judged, passed or failed.
    auto judged = [&](int step) {
        return switches.StepEnabled(step) && verdict(step) != QLatin1String(kResultUntested);
    };

    // No level measured for this headset (the switch to HFP failed): no level to show.
    const QString hfpDetails = judged(kStepHfpRecord) && !std::isnan(hfpMaxLevel)
                                   ? QString::asprintf("MAX=%.2fdB", hfpMaxLevel)
                                   : QString();
    const KeyPressCounts& k = headset.keys;
    const QString keyDetails =
        judged(kStepKeyTest)
            ? QString::asprintf("VOL+ = %d,VOL- = %d,Play/Pause=%d,Previous=%d,Next=%d", k.volUp,
                                k.volDown, k.playPause, k.previous, k.next)
            : QString();

    ResultRow row;
    row.id = NewResultRowId();
    row.table = texts.tableName;
    row.columns = texts.columns;
    row.values = QStringList{
        savedAt.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")),
        QString::fromLatin1(pass ? kResultPass : kResultFail),
        headset.mac,
        headset.name,
        BatteryText(headset.battery),
        RssiText(headset.rssi),
        verdict(kStepA2dpListening),
        verdict(kStepHfpRecord),
        hfpDetails,
        verdict(kStepHfpListening),
        verdict(kStepKeyTest),
        keyDetails,
        verdict(kStepRingTest),
    };
    return row;
}

QString NewResultRowId() {
    return QUuid::createUuid().toString(QUuid::WithoutBraces);
}

}  // namespace orv
