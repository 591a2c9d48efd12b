#include "station/StationUi.h"

#include <QHash>

#include <atomic>

namespace orv {

namespace {

std::atomic<bool> g_stationEnglish{false};

struct TwoTexts {
    const char* zh;
    const char* en;
};

// Captions of the main window's controls (dialog 102) in both languages.
const QHash<int, TwoTexts>& Captions() {
    static const QHash<int, TwoTexts> table = {
        {IDC_SEARCH, {"搜索", "Search"}},
        {IDC_AUTO_PAIR, {"自动配对", "Auto pair"}},
        {IDC_RESET, {"设备复位", "Reset dongle"}},
        {IDC_DISCONNECT, {"断开连接", "Disconnect"}},
        {IDC_MODE_HFP, {"HFP模式", "HFP mode"}},
        {IDC_MODE_A2DP, {"A2DP模式", "A2DP mode"}},
        {IDC_MAC_PAIR, {"MAC地址配对", "MAC pair"}},
        {IDC_ONE_KEY_TEST, {"一键测试", "One key test"}},
        {IDC_ADAPTER_LABEL, {"ORV318 disconnected", "ORV318 disconnected"}},
        {IDC_BT_LABEL, {"蓝牙\n未连接", "Bluetooth\ndisconnected"}},
        {IDC_MODE_DIAL, {"Dial模式", "Dial mode"}},
        {IDC_MODE_RING, {"Ring模式", "Ring mode"}},
        {IDC_KEY_START, {"开始", "Start"}},
        {IDC_KEY_STOP, {"停止", "Stop"}},
        {IDC_KEY_VOLDOWN, {"音量减", "Vol-"}},
        {IDC_KEY_VOLUP, {"音量加", "Vol+"}},
        {IDC_KEY_NEXT, {"下一首", "Next"}},
        {IDC_KEY_PREVIOUS, {"上一首", "Previous"}},
        {IDC_KEY_PLAYPAUSE, {"播放/暂停", "Play/Pause"}},
        {IDC_KEY_RESULT, {"PASS", "PASS"}},
        {IDC_WIDE_BAND, {"宽带通话", "wide band speech"}},
        {IDC_NARROW_BAND, {"窄带通话", "Narrow band speech"}},
        {IDC_PLAY, {"播放", "Play"}},
        {IDC_RECORD_PLAY, {"播放", "Play"}},
        {IDC_PAUSE, {"暂停", "Pause"}},
        {IDC_RECORD_PAUSE, {"暂停", "Pause"}},
        {IDC_STOP, {"停止", "Stop"}},
        {IDC_RECORD_STOP, {"停止", "Stop"}},
        {IDC_PLAY_TIME, {"时间", "Time"}},
        {IDC_RECORD_TIME, {"时间", "Time"}},
        {IDC_RECORD_PLAY_TIME, {"时间", "Time"}},
        {IDC_LOOP, {"循环播放", "Loop"}},
        {IDC_RECORD, {"开始录制", "Record"}},
        {IDC_RECORD_SAVE, {"保存文件", "Save file"}},
        {IDC_ITEM_A2DP, {"A2DP模式听音测试", "A2DP listening"}},
        {IDC_ITEM_HFP_RECORD, {"HFP/HSP 录音测试", "HFP/HSP record"}},
        {IDC_ITEM_HFP_PLAYBACK, {"HFP/HSP 回放测试", "HFP/HSP playback"}},
        {IDC_ITEM_KEY, {"按键测试", "Key test"}},
        {IDC_READ_INFO, {"读取设备信息", "Information"}},
        {IDC_VOL_UP, {"音量+", "Vol+"}},
        {IDC_VOL_DOWN, {"音量-", "Vol-"}},
        {IDC_SEARCH_PAIR, {"搜索配对", "Search pair"}},
        {IDC_SPL, {"SPL", "SPL"}},
        {IDC_RSSI, {"RSSI", "RSSI"}},
        {IDC_BATTERY, {"电量", "Battery"}},
        {IDC_ITEM_RSSI, {"RSSI测试", "RSSI test"}},
        {IDC_ITEM_BATTERY, {"电池电量", "Battery level"}},
    };
    return table;
}

}  // namespace

bool StationEnglish() {
    return g_stationEnglish.load();
}
void SetStationEnglish(bool english) {
    g_stationEnglish.store(english);
}

QString ControlName(int id) {
    return QStringLiteral("IDC_%1").arg(id);
}

QString ControlCaption(int id) {
    const auto it = Captions().constFind(id);
    if (it == Captions().cend())
        return {};
    return QString::fromUtf8(StationEnglish() ? it->en : it->zh);
}

QFont MakeUiFont(int logicalHeight, int weight) {
    QFont font;
    font.setFamilies({QStringLiteral("微软雅黑"), QStringLiteral("Microsoft YaHei"),
                      QStringLiteral("WenQuanYi Micro Hei"), QStringLiteral("Noto Sans CJK SC"),
                      QStringLiteral("DejaVu Sans")});
    // A positive logical height is the character cell; the glyphs take about 4/5 of it.
    font.setPixelSize(qMax(6, logicalHeight * 4 / 5));
    font.setWeight(weight >= 700 ? QFont::Bold : QFont::Normal);
    return font;
}

QFont DialogFont() {
    return MakeUiFont(17);
}

}  // namespace orv
