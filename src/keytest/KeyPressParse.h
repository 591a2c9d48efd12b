#pragma once

#include <QString>

// Turns the headset's AVRCP lines into key presses while the key test runs. Fed line by line by
// the module parser; not thread-safe by itself (the parser's state lock guards it).
namespace orv {

enum KeyCode : int {
    kKeyNone = 0,
    kKeyVolUp = 1,
    kKeyVolDown = 2,
    kKeyPlayPause = 3,
    kKeyNext = 4,
    kKeyPrevious = 5,
};

class CKeyPressParse {
public:
    virtual ~CKeyPressParse() = default;

    // Returns 1 when the line counted a key. An interim volume report only sets the reference
    // volume; a changed report is VOL+ or VOL- against it (equal: VOL+ from 40 up, else VOL-,
    // for a volume stuck at the top or the bottom of the scale).
    virtual int Parse(const QString& line);

    // Clears the last key, the five counts and the new-key flag.
    void Clear();

    int m_lastKey = kKeyNone;
    int m_volUpCount = 0;
    int m_volDownCount = 0;
    int m_playPauseCount = 0;
    int m_previousCount = 0;
    int m_nextCount = 0;
    int m_refVolume = 0;
    int m_newKey = 0;

private:
    int Count(int key);
};

}  // namespace orv
