#include "audiodriver/MediaBackend.h"

#include <QByteArray>
#include <QtGlobal>

namespace orv {

void UseFfmpegMediaBackend() {
    if (qEnvironmentVariableIsEmpty("QT_MEDIA_BACKEND")) {
        qputenv("QT_MEDIA_BACKEND", QByteArrayLiteral("ffmpeg"));
    }
}

}  // namespace orv
