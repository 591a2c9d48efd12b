#include "adapter/ReportText.h"

namespace orv {

Report EncodeReport(const QString& line) {
    Report report{};
    const int n = std::min<int>(line.size(), kReportTextSize);
    for (int i = 0; i < n; ++i) {
        report[static_cast<size_t>(i) + 1] =
            static_cast<std::uint8_t>(line.at(i).unicode() & 0xFF);
    }
    return report;
}

QByteArray ReportPayload(const Report& report) {
    QByteArray out;
    for (int i = 1; i < kReportSize && report[static_cast<size_t>(i)] != 0; ++i) {
        out.append(static_cast<char>(report[static_cast<size_t>(i)]));
    }
    return out;
}

namespace {

int SequenceLength(std::uint8_t lead) {
    if (lead >= 0xC2 && lead <= 0xDF) {
        return 2;
    }
    if (lead >= 0xE0 && lead <= 0xEF) {
        return 3;
    }
    if (lead >= 0xF0 && lead <= 0xF4) {
        return 4;
    }
    return 0;  // a stray continuation byte or an invalid lead
}

bool IsContinuation(std::uint8_t b) {
    return (b & 0xC0) == 0x80;
}

}  // namespace

QString CReportDecoder::Decode(const Report& report, int count) {
    QByteArray bytes = m_carry;
    m_carry.clear();
    const int end = std::min(count, kReportSize);
    bool full = end == kReportSize;  // no zero byte: the text may go on in the next report
    for (int i = 1; i < end; ++i) {
        const std::uint8_t b = report[static_cast<size_t>(i)];
        if (b == 0) {
            full = false;  // the text ends at the first zero byte; the rest is padding
            break;
        }
        bytes.append(static_cast<char>(b));
    }

    QString text;
    text.reserve(bytes.size());
    const int size = static_cast<int>(bytes.size());
    int i = 0;
    while (i < size) {
        const auto b = static_cast<std::uint8_t>(bytes[i]);
        if (b < 0x80) {
            text.append(QChar(b));
            ++i;
            continue;
        }
        const int len = SequenceLength(b);
        if (len == 0) {
            text.append(QChar(QChar::ReplacementCharacter));
            ++i;
            continue;
        }
        int have = 1;
        while (have < len && i + have < size &&
               IsContinuation(static_cast<std::uint8_t>(bytes[i + have]))) {
            ++have;
        }
        if (have < len && i + have == size && full) {
            // Cut off by the end of a full report: the rest comes in the next one.
            m_carry = bytes.mid(i);
            break;
        }
        if (have < len) {
            text.append(QChar(QChar::ReplacementCharacter));
            i += have;
            continue;
        }
        char32_t cp = b & (0xFF >> (len + 1));
        for (int k = 1; k < len; ++k) {
            cp = (cp << 6) | (static_cast<std::uint8_t>(bytes[i + k]) & 0x3F);
        }
        const bool overlong = (len == 3 && cp < 0x800) || (len == 4 && cp < 0x10000);
        if (overlong || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)) {
            text.append(QChar(QChar::ReplacementCharacter));
        } else if (cp > 0xFFFF) {
            text.append(QChar(QChar::highSurrogate(cp)));
            text.append(QChar(QChar::lowSurrogate(cp)));
        } else {
            // Not QString::fromUcs4: it takes a leading U+FEFF for a byte-order mark and drops
            // it, and a name may hold one.
            text.append(QChar(char16_t(cp)));
        }
        i += len;
    }
    return text;
}

}  // namespace orv
