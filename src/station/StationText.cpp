#include <QHash>

#include "station/StationUi.h"

namespace orv {

// The station's texts by string id until the shared string table serves them.
QString StationText(int id) {
    struct Two {
        const char* zh;
        const char* en;
    };
    static const QHash<int, Two> table = {
        {155, {"程序窗口初始化失败", "Window initialization failure"}},
        {159, {"名称", "Name"}},
        {160, {"地址", "Mac"}},
        {161, {"配对状态", "Pair"}},
        {162, {"模式", "Mode"}},
        {163, {"音量", "Vol"}},
        {164, {"电量", "Battery"}},
        {165, {"蓝牙\n已连接", "BT\nConnected"}},
        {166, {"蓝牙\n未连接", "BT\nDisconnected"}},
        {167, {"适配器\n已连接", "Dongle\nConnected"}},
        {168, {"适配器\n未连接", "Dongle\nDisconnected"}},
        {169, {"开始测试", "Start test"}},
        {170, {"停止测试", "Stop test"}},
        {171, {"正在\n连接", "Connecting"}},
        {172, {"正在连接", "Connecting"}},
        {173, {"正在\n搜索", "Searching"}},
        {174, {"串口打开失败", "Failed to open"}},
        {175, {"无效Mac地址，重新输入", "Invalid mac address,input again"}},
        {176, {"连接失败，重新连接", "failed to connect,connect again"}},
        {177, {"自动断开连接，检查耳机开机状态", "Auto disconnect"}},
        {178,
         {"音频播放文件不存在，请在蓝牙音频设置中检查设置的路径是否正确",
          "The audio playback file does not exist. Please check the setup path in "
          "\"Bluetooth audio settings\""}},
        {179, {"停止录制", "Stop record"}},
        {180, {"保存数据失败", "Save data failed"}},
        {181, {"开始录制", "Start record"}},
        {184, {"切换A2DP失败", "Switch A2DP failed"}},
        {196, {"MAC地址输入", "MAC input"}},
        {197, {"蓝牙连接", "BT connection"}},
        {207, {"音量加", "VOL+"}},
        {208, {"音量减", "VOL-"}},
        {209, {"播放/暂停", "Play/Pause"}},
        {210, {"上一首", "Previous"}},
        {211, {"下一首", "Next"}},
        {212, {"音量加/减", "VOL+/-"}},
        {213, {"播停上下", "Play/Pause/Pre/Next"}},
        {215, {"复位成功!", "Reset successed!"}},
    };
    const auto it = table.constFind(id);
    if (it == table.cend())
        return {};
    return QString::fromUtf8(StationEnglish() ? it->en : it->zh);
}

}  // namespace orv
