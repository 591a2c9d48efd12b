#include "station/MacText.h"

namespace orv {

namespace {
int HexValue(QChar c) {
    const ushort u = c.unicode();
    if (u >= '0' && u <= '9')
        return u - '0';
    if (u >= 'a' && u <= 'f')
        return u - 'a' + 10;
    if (u >= 'A' && u <= 'F')
        return u - 'A' + 10;
    return -1;
}
}  // namespace

int ParseMacText(const QString& text, MacBytes* bytes) {
    int count = 0;
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text.at(i);
        if (c == QLatin1Char(' ') || c == QLatin1Char(':')) {
            ++i;
            continue;
        }
        if (i + 1 >= text.size())
            break;
        const int hi = HexValue(c);
        const int lo = HexValue(text.at(i + 1));
        if (hi < 0 || lo < 0)
            break;
        if (count == 6)
            return 7;  // a seventh pair: never stored, the text is invalid
        if (bytes)
            (*bytes)[count] = std::uint8_t(hi * 16 + lo);
        ++count;
        i += 2;
    }
    return count;
}

bool IsValidMacText(const QString& text) {
    return ParseMacText(text) == 6;
}

QString NormaliseMacText(const QString& text) {
    MacBytes b{};
    if (ParseMacText(text, &b) != 6)
        return {};
    return QString::asprintf("%02x:%02x:%02x:%02x:%02x:%02x", b[0], b[1], b[2], b[3], b[4], b[5]);
}

}  // namespace orv
