#pragma once

#include <QByteArray>
#include <QByteArrayList>
#include <QString>

#include <functional>

#include "remote/RemoteProtocol.h"

namespace orv::test {

// Records every call the command words make, in order, as short texts ("press:Disconnect",
// "write:OK", "pause:100"), and answers reads from its fields. Replies are also handed to
// `writer` when set (the serial port in the wire tests).
class FakeRemoteStation final : public IRemoteStation {
public:
    QByteArrayList events;
    std::function<void(const QByteArray&)> writer;

    int audioStateAfterPress = 0;
    int refreshInfoResult = 1;
    QString name = QStringLiteral("ORV Headset");
    QString rssiText = QStringLiteral("-45");
    QString batteryText = QStringLiteral("80");
    QString targetMac = QStringLiteral("00:1a:7d:da:71:13");
    RemoteInfo info{QStringLiteral("ORV Headset"), QStringLiteral("00:1a:7d:da:71:13"),
                    QStringLiteral("A2DP"),        QStringLiteral("100"),
                    QStringLiteral("80"),          QStringLiteral("-45")};

    // The pause function to give CRemoteProtocol: records instead of sleeping.
    CRemoteProtocol::PauseFunction Pauser() {
        return [this](int ms) { events << "pause:" + QByteArray::number(ms); };
    }

    void PressAutoPair() override { events << "press:AutoPair"; }
    void PressSearchPair() override { events << "press:SearchPair"; }
    void PressMacPair(const QString& mac) override { events << "press:MacPair " + mac.toUtf8(); }
    void PromptForMac() override { events << "prompt:Mac"; }
    void PressDisconnect() override { events << "press:Disconnect"; }
    void PressHfpMode() override { events << "press:HfpMode"; }
    void PressA2dpMode() override { events << "press:A2dpMode"; }
    void PressDialMode() override { events << "press:DialMode"; }
    void PressVolumeUp() override { events << "press:VolumeUp"; }
    void PressVolumeDown() override { events << "press:VolumeDown"; }
    void PressKeyStart() override { events << "press:KeyStart"; }
    void PressKeyStop() override { events << "press:KeyStop"; }
    void ResetFromRemote() override { events << "press:Reset"; }
    void RefreshDeviceList() override { events << "refresh"; }

    int AudioState() override { return audioStateAfterPress; }
    QString QueryName() override {
        events << "query:Name";
        return name;
    }
    int RefreshInfo() override {
        events << "refreshInfo";
        return refreshInfoResult;
    }
    int SetHfpVolume(int gain) override {
        events << "hfpVolume:" + QByteArray::number(gain);
        return 1;
    }
    int SetA2dpVolume(int volume) override {
        events << "a2dpVolume:" + QByteArray::number(volume);
        return 1;
    }

    QString RssiText() override { return rssiText; }
    QString BatteryText() override { return batteryText; }
    QString TargetMac() override { return targetMac; }
    RemoteInfo ReadInfo() override { return info; }

    void WriteRemote(const QByteArray& bytes) override {
        events << "write:" + bytes;
        if (writer) {
            writer(bytes);
        }
    }

    // The bytes of every reply, back to back, as the controller receives them.
    QByteArray Wire() const {
        QByteArray wire;
        for (const QByteArray& e : events) {
            if (e.startsWith("write:")) {
                wire += e.mid(6);
            }
        }
        return wire;
    }
};

}  // namespace orv::test
