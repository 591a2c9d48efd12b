#pragma once

#include <QString>

namespace orv {

// The player's time text: position and duration each as minutes and remaining whole seconds,
// "%02d:%02d|%02d:%02d", e.g. "00:05|00:20". Times in milliseconds, truncated to seconds.
QString PlayTimeText(qint64 positionMs, qint64 durationMs);

// The recorder's elapsed text, "%H:%M:%S" of a span of whole seconds ("00:00:08").
QString ElapsedText(qint64 seconds);

}  // namespace orv
