#pragma once

#include <QHash>
#include <QString>

#include "results/TestRecord.h"

// The string-table entries the record and the saved result use, in both interface languages,
// standing in for the UI string table in these tests.
namespace orv::test {

inline ResultTexts TextsFor(bool english) {
    static const QHash<int, QString> en{
        {159, "Name"},
        {160, "Mac"},
        {164, "Battery"},
        {182, "A2DP listening"},
        {185, "HFP record"},
        {187, "HFP listening"},
        {189, "Key test"},
        {191, "Ring test"},
        {196, "MAC input"},
        {197, "BT connection"},
        {202, "BT function test"},
        {203, "Test time"},
        {204, "Test result"},
        {205, "HFP record details"},
        {206, "Key test details"},
        {212, "VOL+/-"},
        {213, "Play/Pause/Pre/Next"},
        {214, "TEST_EN"},
    };
    static const QHash<int, QString> cn{
        {159, QStringLiteral("名称")},         {160, QStringLiteral("地址")},
        {164, QStringLiteral("电量")},         {182, QStringLiteral("A2DP听音测试")},
        {185, QStringLiteral("HFP录音测试")},  {187, QStringLiteral("HFP听音测试")},
        {189, QStringLiteral("按键测试")},     {191, QStringLiteral("来电测试")},
        {196, QStringLiteral("MAC地址输入")},  {197, QStringLiteral("蓝牙连接")},
        {202, QStringLiteral("蓝牙功能测试")}, {203, QStringLiteral("测试时间")},
        {204, QStringLiteral("测试结果")},     {205, QStringLiteral("HFP录音详情")},
        {206, QStringLiteral("按键测试详情")}, {212, QStringLiteral("音量加/减")},
        {213, QStringLiteral("播停上下")},     {214, QStringLiteral("TEST_CN")},
    };
    const QHash<int, QString>& table = english ? en : cn;
    return ResultTexts::FromStringTable([&table](int id) { return table.value(id); });
}

}  // namespace orv::test
