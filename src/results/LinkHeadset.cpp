#include "results/LinkHeadset.h"

#include "keytest/KeyPressParse.h"
#include "module/ModuleParser.h"

namespace orv {

HeadsetValues HeadsetFromLinkState(const CModuleParser& parser) {
    HeadsetValues h = parser.Read([](const LinkState& s) {
        HeadsetValues v;
        v.mac = s.targetMac;
        v.name = s.targetName;
        v.battery = s.battery;
        v.rssi = s.rssi;
        return v;
    });
    const CKeyPressParse keys = parser.KeyCounts();
    h.keys.volUp = keys.m_volUpCount;
    h.keys.volDown = keys.m_volDownCount;
    h.keys.playPause = keys.m_playPauseCount;
    h.keys.previous = keys.m_previousCount;
    h.keys.next = keys.m_nextCount;
    return h;
}

}  // namespace orv
