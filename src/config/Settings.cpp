#include "config/Settings.h"

#include <QFileInfo>

#include "config/AppHome.h"

namespace orv {

#define ORV_DEFINE_INT_KEY(Name, Section, Key, Default)                                    \
    int Get##Name(const QString& path) {                                                   \
        return ReadConfigInt(path, QStringLiteral(Section), QStringLiteral(Key), Default); \
    }                                                                                      \
    bool Set##Name(const QString& path, int value) {                                       \
        return WriteConfigInt(path, QStringLiteral(Section), QStringLiteral(Key), value);  \
    }
#define ORV_DEFINE_REAL_KEY(Name, Section, Key, Default)                                    \
    double Get##Name(const QString& path) {                                                 \
        return ReadConfigReal(path, QStringLiteral(Section), QStringLiteral(Key), Default); \
    }                                                                                       \
    bool Set##Name(const QString& path, double value) {                                     \
        return WriteConfigReal(path, QStringLiteral(Section), QStringLiteral(Key), value);  \
    }
#define ORV_DEFINE_TEXT_KEY(Name, Section, Key, Default)                                   \
    QString Get##Name(const QString& path) {                                               \
        return ReadConfigText(path, QStringLiteral(Section), QStringLiteral(Key),          \
                              QStringLiteral(Default));                                    \
    }                                                                                      \
    bool Set##Name(const QString& path, const QString& value) {                            \
        return WriteConfigText(path, QStringLiteral(Section), QStringLiteral(Key), value); \
    }

ORV_INT_KEYS(ORV_DEFINE_INT_KEY)
ORV_REAL_KEYS(ORV_DEFINE_REAL_KEY)
ORV_TEXT_KEYS(ORV_DEFINE_TEXT_KEY)

#undef ORV_DEFINE_INT_KEY
#undef ORV_DEFINE_REAL_KEY
#undef ORV_DEFINE_TEXT_KEY

int GetAutoTestItem(const QString& path, int item) {
    return ReadConfigInt(path, QStringLiteral("AutoTest"), QString::asprintf("%d", item), 1);
}

bool SetAutoTestItem(const QString& path, int item, int value) {
    return WriteConfigInt(path, QStringLiteral("AutoTest"), QString::asprintf("%d", item), value);
}

SerialPortSettings GetSerialPort(const QString& path) {
    const QString s = QStringLiteral("SerialPort");
    SerialPortSettings p;
    p.port = ReadConfigInt(path, s, QStringLiteral("Port"), 1);
    p.baudRate = ReadConfigInt(path, s, QStringLiteral("BaudRate"), 9600);
    p.userCom = ReadConfigInt(path, s, QStringLiteral("UserCom"), 0);
    return p;
}

bool SetSerialPort(const QString& path, int port, int baudRate, int userCom) {
    const QString s = QStringLiteral("SerialPort");
    bool ok = WriteConfigInt(path, s, QStringLiteral("Port"), port);
    ok = WriteConfigInt(path, s, QStringLiteral("BaudRate"), baudRate) && ok;
    ok = WriteConfigInt(path, s, QStringLiteral("UserCom"), userCom) && ok;
    return ok;
}

QString GetSerialPortDevice(const QString& path) {
    const QString name = GetSerialPortName(path).trimmed();
    if (!name.isEmpty()) {
        return name;
    }
    return QStringLiteral("/dev/ttyS%1").arg(GetSerialPort(path).port - 1);
}

BatteryLimits GetBattery(const QString& path) {
    return {GetBatteryUpper(path), GetBatteryLower(path)};
}

bool SetBattery(const QString& path, int upper, int lower) {
    bool ok = SetBatteryUpper(path, upper);
    ok = SetBatteryLower(path, lower) && ok;
    return ok;
}

QString GetPlayFileName(const QString& path) {
    const QString stored =
        ReadConfigText(path, QStringLiteral("Play"), QStringLiteral("PlayFileName"), QString());
    if (!stored.isEmpty() && QFileInfo(stored).isFile()) {
        return stored;
    }
    return AppHomePath(QStringLiteral("wav/20-20k.wav"));
}

bool SetPlayFileName(const QString& path, const QString& value) {
    return WriteConfigText(path, QStringLiteral("Play"), QStringLiteral("PlayFileName"), value);
}

QString NormalisePin(const QString& entry) {
    if (entry.size() != 4) {
        return QStringLiteral("7315");
    }
    for (const QChar c : entry) {
        const bool ok = (c >= QLatin1Char('0') && c <= QLatin1Char('9')) ||
                        c == QLatin1Char('.') || c == QLatin1Char('-');
        if (!ok) {
            return QStringLiteral("7315");
        }
    }
    return entry;
}

}  // namespace orv
