#include "sim/Scenario.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QSet>
#include <QStringConverter>

#include <cmath>

namespace orv::sim {

namespace {

struct Context {
    QString file;
    int line = 0;
    QString* error = nullptr;

    bool Fail(const QString& what) const {
        if (error)
            *error = QStringLiteral("%1:%2: %3").arg(file).arg(line).arg(what);
        return false;
    }
};

bool ParseInt(const Context& c, const QString& key, const QString& value, int min, int max,
              int* out) {
    bool ok = false;
    const int v = value.toInt(&ok, 10);
    if (!ok)
        return c.Fail(QStringLiteral("%1: \"%2\" is not a whole number").arg(key, value));
    if (v < min || v > max)
        return c.Fail(
            QStringLiteral("%1: %2 is outside %3..%4").arg(key, value).arg(min).arg(max));
    *out = v;
    return true;
}

bool ParseReal(const Context& c, const QString& key, const QString& value, double min, double max,
               double* out) {
    bool ok = false;
    const double v = value.toDouble(&ok);
    if (!ok || !std::isfinite(v))
        return c.Fail(QStringLiteral("%1: \"%2\" is not a number").arg(key, value));
    if (v < min || v > max)
        return c.Fail(
            QStringLiteral("%1: %2 is outside %3..%4").arg(key, value).arg(min).arg(max));
    *out = v;
    return true;
}

bool ParseBool(const Context& c, const QString& key, const QString& value, bool* out) {
    if (value == QLatin1String("0") || value == QLatin1String("1")) {
        *out = value == QLatin1String("1");
        return true;
    }
    return c.Fail(QStringLiteral("%1: \"%2\" must be 0 or 1").arg(key, value));
}

// "N" after "name=" in a fault such as "drop-after-ms=1500".
bool ParseFaultMs(const Context& c, const QString& fault, const QString& arg, int* out) {
    bool ok = false;
    const int v = arg.toInt(&ok, 10);
    if (!ok || v < 0 || v > 3600000)
        return c.Fail(QStringLiteral("Faults: \"%1\" needs a time in ms (0..3600000)").arg(fault));
    *out = v;
    return true;
}

bool ParseFaults(const Context& c, const QString& value, HeadsetFaults* f) {
    *f = HeadsetFaults{};
    for (const QString& raw : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = raw.trimmed();
        if (item.isEmpty())
            continue;
        const int eq = item.indexOf(QLatin1Char('='));
        const QString name = (eq < 0 ? item : item.left(eq)).trimmed().toLower();
        const QString arg = eq < 0 ? QString() : item.mid(eq + 1).trimmed();
        const bool needsArg = name == QLatin1String("drop-after-ms") ||
                              name == QLatin1String("reboot-after-ms") ||
                              name == QLatin1String("slow-connect-ms");
        if (needsArg != (eq >= 0)) {
            if (needsArg)
                return c.Fail(QStringLiteral("Faults: \"%1\" needs =N (ms)").arg(item));
            if (name == QLatin1String("no-name") || name == QLatin1String("name-error") ||
                name == QLatin1String("refuse-a2dp-once") || name == QLatin1String("refuse-hfp") ||
                name == QLatin1String("no-ready") || name == QLatin1String("glue-lines") ||
                name == QLatin1String("garbage"))
                return c.Fail(QStringLiteral("Faults: \"%1\" takes no value").arg(item));
        }
        if (name == QLatin1String("no-name"))
            f->noName = true;
        else if (name == QLatin1String("name-error"))
            f->nameError = true;
        else if (name == QLatin1String("refuse-a2dp-once"))
            f->refuseA2dpOnce = true;
        else if (name == QLatin1String("refuse-hfp"))
            f->refuseHfp = true;
        else if (name == QLatin1String("no-ready"))
            f->noReady = true;
        else if (name == QLatin1String("glue-lines"))
            f->glueLines = true;
        else if (name == QLatin1String("garbage"))
            f->garbage = true;
        else if (name == QLatin1String("drop-after-ms")) {
            if (!ParseFaultMs(c, item, arg, &f->dropAfterMs))
                return false;
        } else if (name == QLatin1String("reboot-after-ms")) {
            if (!ParseFaultMs(c, item, arg, &f->rebootAfterMs))
                return false;
        } else if (name == QLatin1String("slow-connect-ms")) {
            if (!ParseFaultMs(c, item, arg, &f->slowConnectMs))
                return false;
        } else {
            return c.Fail(QStringLiteral("Faults: unknown fault \"%1\"").arg(item));
        }
    }
    return true;
}

bool ParseKeys(const Context& c, const QString& value, QList<KeyPress>* keys) {
    keys->clear();
    int last = -1;
    for (const QString& raw : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString item = raw.trimmed();
        if (item.isEmpty())
            continue;
        const int colon = item.indexOf(QLatin1Char(':'));
        if (colon <= 0)
            return c.Fail(QStringLiteral("Keys: \"%1\" is not delay-ms:KEY").arg(item));
        bool ok = false;
        const int delay = item.left(colon).trimmed().toInt(&ok, 10);
        if (!ok || delay < 0 || delay > 3600000)
            return c.Fail(QStringLiteral("Keys: \"%1\" has a bad delay").arg(item));
        if (delay < last)
            return c.Fail(
                QStringLiteral("Keys: \"%1\" comes before the press ahead of it").arg(item));
        const auto key = ParseHeadsetKey(item.mid(colon + 1).trimmed());
        if (!key)
            return c.Fail(QStringLiteral("Keys: \"%1\" names no key (VOL+, VOL-, PLAY/PAUSE, "
                                         "NEXT, PREVIOUS, VOICE)")
                              .arg(item));
        keys->append(KeyPress{delay, *key});
        last = delay;
    }
    return true;
}

bool ParseProfiles(const Context& c, const QString& value, HeadsetScenario* h) {
    h->hfp = h->a2dp = h->avrcp = false;
    for (const QString& raw : value.split(QLatin1Char(','), Qt::SkipEmptyParts)) {
        const QString p = raw.trimmed().toLower();
        if (p == QLatin1String("hfp"))
            h->hfp = true;
        else if (p == QLatin1String("a2dp"))
            h->a2dp = true;
        else if (p == QLatin1String("avrcp"))
            h->avrcp = true;
        else if (!p.isEmpty())
            return c.Fail(
                QStringLiteral("Profiles: unknown profile \"%1\" (hfp, a2dp, avrcp)").arg(p));
    }
    return true;
}

bool SetAdapterKey(const Context& c, const QString& key, const QString& value,
                   AdapterScenario* a) {
    const QString k = key.toLower();
    if (k == QLatin1String("productid")) {
        const QString v = value.toLower();
        if (v == QLatin1String("0x5750") || v == QLatin1String("5750"))
            a->productId = 0x5750;
        else if (v == QLatin1String("0x5751") || v == QLatin1String("5751"))
            a->productId = 0x5751;
        else
            return c.Fail(QStringLiteral("ProductId: \"%1\" must be 0x5750 or 0x5751").arg(value));
        return true;
    }
    if (k == QLatin1String("firmware")) {
        if (value.isEmpty() || value.size() > 40)
            return c.Fail(QStringLiteral("Firmware: give 1 to 40 characters"));
        a->firmware = value;
        return true;
    }
    if (k == QLatin1String("replydelayms"))
        return ParseInt(c, key, value, 0, 60000, &a->replyDelayMs);
    if (k == QLatin1String("controlsocket")) {
        a->controlSocket = value;
        return true;
    }
    if (k == QLatin1String("inquiryunitms"))
        return ParseInt(c, key, value, 1, 10000, &a->inquiryUnitMs);
    if (k == QLatin1String("connectms"))
        return ParseInt(c, key, value, 0, 60000, &a->connectMs);
    if (k == QLatin1String("bootms"))
        return ParseInt(c, key, value, 0, 60000, &a->bootMs);
    return c.Fail(QStringLiteral("unknown key \"%1\" in [Adapter]").arg(key));
}

bool SetHeadsetKey(const Context& c, const QString& key, const QString& value,
                   HeadsetScenario* h) {
    const QString k = key.toLower();
    if (k == QLatin1String("name")) {
        // The module prints the name between double quotes; a quote inside would end it.
        if (value.contains(QLatin1Char('"')))
            return c.Fail(QStringLiteral("Name: a double quote cannot be part of a name"));
        if (value.toUtf8().size() > 248)
            return c.Fail(QStringLiteral("Name: longer than 248 bytes"));
        h->name = value;
        return true;
    }
    if (k == QLatin1String("mac")) {
        h->mac = NormaliseMac(value);
        if (h->mac.isEmpty())
            return c.Fail(QStringLiteral("Mac: \"%1\" is not six hex pairs like 00:1a:7d:da:71:13")
                              .arg(value));
        return true;
    }
    if (k == QLatin1String("class")) {
        static const QRegularExpression re(QStringLiteral("^[0-9a-fA-F]{6}$"));
        if (!re.match(value).hasMatch())
            return c.Fail(QStringLiteral("Class: \"%1\" is not six hex digits").arg(value));
        h->deviceClass = value.toLower();
        return true;
    }
    if (k == QLatin1String("rssi"))
        return ParseInt(c, key, value, -127, 20, &h->rssi);
    if (k == QLatin1String("battery")) {
        if (value.isEmpty()) {
            h->battery = -1;
            return true;
        }
        return ParseInt(c, key, value, 0, 100, &h->battery);
    }
    if (k == QLatin1String("batteryreport")) {
        const QString v = value.toLower();
        if (v == QLatin1String("iphoneaccev"))
            h->batteryReport = BatteryReport::IPhoneAccEv;
        else if (v == QLatin1String("biev"))
            h->batteryReport = BatteryReport::Biev;
        else if (v == QLatin1String("none"))
            h->batteryReport = BatteryReport::None;
        else
            return c.Fail(QStringLiteral("BatteryReport: \"%1\" must be iphoneaccev, biev or none")
                              .arg(value));
        return true;
    }
    if (k == QLatin1String("profiles"))
        return ParseProfiles(c, value, h);
    if (k == QLatin1String("avrcpfromheadset"))
        return ParseBool(c, key, value, &h->avrcpFromHeadset);
    if (k == QLatin1String("hfpvolume"))
        return ParseInt(c, key, value, 0, 15, &h->hfpVolume);
    if (k == QLatin1String("avrcpvolume"))
        return ParseInt(c, key, value, 0, 100, &h->avrcpVolume);
    if (k == QLatin1String("micleveldb")) {
        if (value.isEmpty()) {
            h->micLevelDb.reset();
            return true;
        }
        double db = 0;
        if (!ParseReal(c, key, value, -120.0, 0.0, &db))
            return false;
        h->micLevelDb = db;
        return true;
    }
    if (k == QLatin1String("mictonehz"))
        return ParseReal(c, key, value, 20.0, 20000.0, &h->micToneHz);
    if (k == QLatin1String("keys"))
        return ParseKeys(c, value, &h->keys);
    if (k == QLatin1String("keysrepeatms"))
        return ParseInt(c, key, value, 0, 3600000, &h->keysRepeatMs);
    if (k == QLatin1String("faults"))
        return ParseFaults(c, value, &h->faults);
    return c.Fail(QStringLiteral("unknown key \"%1\" in [%2]").arg(key, h->section));
}

}  // namespace

std::optional<HeadsetKey> ParseHeadsetKey(const QString& text) {
    const QString t = text.trimmed().toUpper();
    if (t == QLatin1String("VOL+"))
        return HeadsetKey::VolUp;
    if (t == QLatin1String("VOL-"))
        return HeadsetKey::VolDown;
    if (t == QLatin1String("PLAY/PAUSE"))
        return HeadsetKey::PlayPause;
    if (t == QLatin1String("NEXT"))
        return HeadsetKey::Next;
    if (t == QLatin1String("PREVIOUS"))
        return HeadsetKey::Previous;
    if (t == QLatin1String("VOICE"))
        return HeadsetKey::Voice;
    return std::nullopt;
}

QString HeadsetKeyText(HeadsetKey key) {
    switch (key) {
        case HeadsetKey::VolUp:
            return QStringLiteral("VOL+");
        case HeadsetKey::VolDown:
            return QStringLiteral("VOL-");
        case HeadsetKey::PlayPause:
            return QStringLiteral("PLAY/PAUSE");
        case HeadsetKey::Next:
            return QStringLiteral("NEXT");
        case HeadsetKey::Previous:
            return QStringLiteral("PREVIOUS");
        case HeadsetKey::Voice:
            return QStringLiteral("VOICE");
    }
    return {};
}

QString NormaliseMac(const QString& text) {
    static const QRegularExpression re(QStringLiteral("^[0-9a-fA-F]{2}(:[0-9a-fA-F]{2}){5}$"));
    const QString t = text.trimmed();
    if (!re.match(t).hasMatch())
        return {};
    return t.toLower();
}

bool ParseScenario(const QByteArray& text, const QString& fileName, Scenario* out,
                   QString* error) {
    Context c{fileName, 0, error};
    QStringDecoder decoder(QStringDecoder::Utf8);
    const QString all = decoder(text);
    if (decoder.hasError()) {
        c.line = 0;
        return c.Fail(QStringLiteral("the file is not valid UTF-8"));
    }
    Scenario s;
    enum class Where { None, Adapter, Headset } where = Where::None;
    bool sawAdapter = false;
    QSet<QString> sectionsSeen;
    QSet<QString> keysSeen;
    const QStringList lines = all.split(QLatin1Char('\n'));
    for (int i = 0; i < lines.size(); ++i) {
        c.line = i + 1;
        QString line = lines[i];
        if (i == 0 && line.startsWith(QChar(0xFEFF)))
            line.remove(0, 1);
        line = line.trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char(';')) ||
            line.startsWith(QLatin1Char('#')))
            continue;
        if (line.startsWith(QLatin1Char('['))) {
            if (!line.endsWith(QLatin1Char(']')))
                return c.Fail(QStringLiteral("section header \"%1\" lacks its \"]\"").arg(line));
            const QString name = line.mid(1, line.size() - 2).trimmed();
            if (sectionsSeen.contains(name.toLower()))
                return c.Fail(QStringLiteral("section [%1] appears twice").arg(name));
            sectionsSeen.insert(name.toLower());
            keysSeen.clear();
            static const QRegularExpression headsetRe(QStringLiteral("^headset([1-9][0-9]{0,3})$"),
                                                      QRegularExpression::CaseInsensitiveOption);
            if (name.compare(QLatin1String("Adapter"), Qt::CaseInsensitive) == 0) {
                where = Where::Adapter;
                sawAdapter = true;
            } else if (headsetRe.match(name).hasMatch()) {
                where = Where::Headset;
                HeadsetScenario h;
                h.section = name;
                h.line = c.line;
                s.headsets.append(h);
            } else {
                return c.Fail(QStringLiteral("unknown section [%1] (Adapter, Headset1, "
                                             "Headset2, ...)")
                                  .arg(name));
            }
            continue;
        }
        const int eq = line.indexOf(QLatin1Char('='));
        if (eq <= 0)
            return c.Fail(QStringLiteral("\"%1\" is not key=value").arg(line));
        const QString key = line.left(eq).trimmed();
        QString value = line.mid(eq + 1).trimmed();
        if (value.size() >= 2 && value.startsWith(QLatin1Char('"')) &&
            value.endsWith(QLatin1Char('"')))
            value = value.mid(1, value.size() - 2);
        if (where == Where::None)
            return c.Fail(QStringLiteral("key \"%1\" before any section").arg(key));
        if (keysSeen.contains(key.toLower()))
            return c.Fail(QStringLiteral("key \"%1\" appears twice in this section").arg(key));
        keysSeen.insert(key.toLower());
        if (where == Where::Adapter) {
            if (!SetAdapterKey(c, key, value, &s.adapter))
                return false;
        } else if (!SetHeadsetKey(c, key, value, &s.headsets.last())) {
            return false;
        }
    }
    if (!sawAdapter) {
        c.line = 1;
        return c.Fail(QStringLiteral("the [Adapter] section is missing"));
    }
    QSet<QString> macs;
    for (const HeadsetScenario& h : s.headsets) {
        c.line = h.line;
        if (h.mac.isEmpty())
            return c.Fail(QStringLiteral("[%1] has no Mac").arg(h.section));
        if (macs.contains(h.mac))
            return c.Fail(QStringLiteral("[%1]: Mac %2 is used twice").arg(h.section, h.mac));
        macs.insert(h.mac);
    }
    s.path = fileName;
    *out = s;
    return true;
}

bool LoadScenario(const QString& path, Scenario* out, QString* error) {
    QFile f(path);
    if (!f.open(QIODevice::ReadOnly)) {
        if (error)
            *error =
                QStringLiteral("%1: cannot read the scenario file: %2").arg(path, f.errorString());
        return false;
    }
    const QByteArray text = f.read(4 * 1024 * 1024 + 1);
    if (text.size() > 4 * 1024 * 1024) {
        if (error)
            *error = QStringLiteral("%1: the scenario file is larger than 4 MiB").arg(path);
        return false;
    }
    if (!ParseScenario(text, path, out, error))
        return false;
    if (!out->adapter.controlSocket.isEmpty() &&
        QFileInfo(out->adapter.controlSocket).isRelative())
        out->adapter.controlSocket =
            QFileInfo(path).absoluteDir().filePath(out->adapter.controlSocket);
    return true;
}

}  // namespace orv::sim
