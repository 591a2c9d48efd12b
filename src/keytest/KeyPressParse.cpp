#include "keytest/KeyPressParse.h"

#include "module/ModuleText.h"

namespace orv {

int CKeyPressParse::Parse(const QString& line) {
    static const QString kInterim = QStringLiteral("INTERIM VOLUME_CHANGED");
    static const QString kChanged = QStringLiteral("CHANGED VOLUME_CHANGED");

    int at = line.indexOf(kInterim);
    if (at >= 0) {
        QString rest = line.mid(at + kInterim.size()).trimmed();
        const int blank = rest.indexOf(QLatin1Char(' '));
        if (blank >= 0) {
            rest = rest.left(blank).trimmed();
        }
        // The module prints a decimal value; anything else reads as 0, as atoi would.
        m_refVolume = ParseNumberLoose(rest);
        return 0;
    }
    at = line.indexOf(kChanged);
    if (at >= 0) {
        int value = 0;
        if (!ParseModuleNumber(line.mid(at + kChanged.size()).trimmed(), &value)) {
            return 0;
        }
        bool up = false;
        if (value > m_refVolume) {
            up = true;
        } else if (value == m_refVolume) {
            up = value >= 40;
        }
        return Count(up ? kKeyVolUp : kKeyVolDown);
    }
    if (line.contains(QLatin1String("AVRCP PAUSE RELEASE")) ||
        line.contains(QLatin1String("AVRCP PLAY RELEASE"))) {
        return Count(kKeyPlayPause);
    }
    if (line.contains(QLatin1String("AVRCP FORWARD RELEASE"))) {
        return Count(kKeyNext);
    }
    if (line.contains(QLatin1String("AVRCP BACKWARD RELEASE"))) {
        return Count(kKeyPrevious);
    }
    return 0;
}

int CKeyPressParse::Count(int key) {
    switch (key) {
        case kKeyVolUp:
            ++m_volUpCount;
            break;
        case kKeyVolDown:
            ++m_volDownCount;
            break;
        case kKeyPlayPause:
            ++m_playPauseCount;
            break;
        case kKeyNext:
            ++m_nextCount;
            break;
        case kKeyPrevious:
            ++m_previousCount;
            break;
        default:
            return 0;
    }
    m_lastKey = key;
    m_newKey = 1;
    return 1;
}

void CKeyPressParse::Clear() {
    m_lastKey = kKeyNone;
    m_volUpCount = m_volDownCount = m_playPauseCount = m_previousCount = m_nextCount = 0;
    m_newKey = 0;
}

}  // namespace orv
