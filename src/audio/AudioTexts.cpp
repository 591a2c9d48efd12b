#include "audio/AudioTexts.h"

namespace orv {

QString PlayTimeText(qint64 positionMs, qint64 durationMs) {
    const qint64 p = qMax<qint64>(0, positionMs) / 1000;
    const qint64 d = qMax<qint64>(0, durationMs) / 1000;
    return QString::asprintf("%02d:%02d|%02d:%02d", int(p / 60), int(p % 60), int(d / 60),
                             int(d % 60));
}

QString ElapsedText(qint64 seconds) {
    const qint64 s = qMax<qint64>(0, seconds);
    return QString::asprintf("%02d:%02d:%02d", int((s / 3600) % 24), int((s / 60) % 60),
                             int(s % 60));
}

}  // namespace orv
