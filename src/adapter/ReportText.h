#pragma once

#include <QString>

#include "adapter/ReportDevice.h"

// Text framing of the adapter's reports. Outgoing: one command per report, one byte per UTF-16
// unit (its low 8 bits), at most 64 bytes, zero padded. Incoming: bytes 1 to 64 hold UTF-8 text
// that ends at the first zero byte.
namespace orv {

inline constexpr int kReportTextSize = kReportSize - 1;  // 64 bytes of text per report

// Builds the output report for `line` (the caller appends the line end). Units beyond 64 are cut
// off; a unit above 0xFF keeps only its low byte.
Report EncodeReport(const QString& line);

// The text bytes of an output report up to its first zero byte, one char per byte.
QByteArray ReportPayload(const Report& report);

// Decodes incoming reports. Headset names arrive as UTF-8; a multi-byte character that a
// report cuts off is completed by the start of the next report instead of being lost. Bytes
// that do not form UTF-8 become U+FFFD and never swallow the ASCII bytes after them, so a line
// end after garbage still ends its line.
class CReportDecoder final {
public:
    // `count` is what ReadReport returned (report id included). A payload that begins with a
    // zero byte gives an empty text.
    QString Decode(const Report& report, int count);
    void Reset() { m_carry.clear(); }

private:
    QByteArray m_carry;  // the start of a character cut off at the end of the last report
};

}  // namespace orv
