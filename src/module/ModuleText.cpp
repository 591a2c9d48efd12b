#include "module/ModuleText.h"

#include <QList>

#include "config/Config.h"

namespace orv {

bool ParseModuleNumber(const QString& text, int* value) {
    if (text.isEmpty()) {
        return false;
    }
    for (const QChar c : text) {
        if (!c.isDigit() && c != QLatin1Char('.') && c != QLatin1Char('-')) {
            return false;
        }
        if (c.unicode() > 0x7F) {
            return false;  // only ASCII digits count
        }
    }
    *value = ParseCInt(text);
    return true;
}

int ParseNumberLoose(const QString& text) {
    return ParseCInt(text);
}

QString MacInLine(const QString& line) {
    const int first = line.indexOf(QLatin1Char(':'));
    const int last = line.lastIndexOf(QLatin1Char(':'));
    if (first < 2 || last - first != 12) {
        return QString();
    }
    return line.mid(first - 2, 17);
}

namespace {

int HexValue(QChar c) {
    const char16_t u = c.unicode();
    if (u >= u'0' && u <= u'9') {
        return u - u'0';
    }
    if (u >= u'a' && u <= u'f') {
        return u - u'a' + 10;
    }
    if (u >= u'A' && u <= u'F') {
        return u - u'A' + 10;
    }
    return -1;
}

}  // namespace

std::optional<std::array<std::uint8_t, 6>> ParseMacText(const QString& text) {
    QList<std::uint8_t> bytes;
    int i = 0;
    const int n = static_cast<int>(text.size());
    while (i < n) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(' ') || c == QLatin1Char(':')) {
            ++i;
            continue;
        }
        const int hi = HexValue(c);
        if (hi < 0 || i + 1 >= n) {
            break;
        }
        const int lo = HexValue(text.at(i + 1));
        if (lo < 0) {
            break;
        }
        bytes.append(static_cast<std::uint8_t>(hi * 16 + lo));
        if (bytes.size() > 6) {
            return std::nullopt;
        }
        i += 2;
    }
    if (bytes.size() != 6) {
        return std::nullopt;
    }
    std::array<std::uint8_t, 6> mac{};
    for (int k = 0; k < 6; ++k) {
        mac[static_cast<size_t>(k)] = bytes[k];
    }
    return mac;
}

QString FormatMac(const std::array<std::uint8_t, 6>& m) {
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", m[0], m[1], m[2], m[3], m[4], m[5]);
}

}  // namespace orv
