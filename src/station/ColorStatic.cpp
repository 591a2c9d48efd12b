#include "station/ColorStatic.h"

#include <QPainter>

#include "station/StationUi.h"

namespace orv {

CColorStatic::CColorStatic(QWidget* parent) : QFrame(parent) {
    // The label's initial font: the Chinese UI face at a large height.
    m_font = MakeUiFont(32);
    setFrameStyle(QFrame::Panel | QFrame::Sunken);
    setAttribute(Qt::WA_OpaquePaintEvent);
}

void CColorStatic::SetText(const QString& text) {
    m_text = text;
}

void CColorStatic::SetFont(const QFont& font) {
    m_font = font;
    update();
}

void CColorStatic::SetBkColor(const QColor& color) {
    m_bkColor = color;
}

void CColorStatic::Show(const QString& text, const QColor& color) {
    m_text = text;
    m_bkColor = color;
    update();
}

QRect CColorStatic::LineBand(const QRect& client, int index, int lineCount, int* flags) {
    if (lineCount <= 1) {
        *flags = Qt::AlignCenter | Qt::TextSingleLine;
        return client;
    }
    const int band = client.height() / lineCount;
    const QRect r(client.left(), client.top() + index * band, client.width(), band);
    *flags =
        Qt::AlignHCenter | Qt::TextSingleLine | (index % 2 == 0 ? Qt::AlignBottom : Qt::AlignTop);
    return r;
}

QFont CColorStatic::FittingFont(const QFont& font, const QStringList& lines, const QRect& client) {
    // A text wider or taller than the label is drawn smaller rather than cut off; the label's
    // own font is kept for the next text.
    QFont f = font;
    const int n = qMax<int>(1, int(lines.size()));
    for (int guard = 0; guard < 40; ++guard) {
        const QFontMetrics fm(f);
        int widest = 0;
        for (const QString& line : lines)
            widest = qMax(widest, fm.horizontalAdvance(line));
        const bool fits = widest <= client.width() - 4 && fm.height() * n <= client.height();
        const int px = f.pixelSize() > 0 ? f.pixelSize() : QFontInfo(f).pixelSize();
        if (fits || px <= 7)
            break;
        f.setPixelSize(px - 1);
    }
    return f;
}

void CColorStatic::paintEvent(QPaintEvent*) {
    // The widget backing store already double-buffers: the fill and the text reach the screen
    // together, so the label never flickers through its background.
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.fillRect(rect(), m_bkColor);
    if (!m_text.isEmpty()) {
        const QStringList lines = m_text.split(QLatin1Char('\n'));
        QFont font = m_font;
        if (m_autoSize)
            font.setPixelSize(qMax(8, client.height() * 3 / 4 / qMax<int>(1, int(lines.size()))));
        painter.setFont(FittingFont(font, lines, client));
        painter.setPen(Qt::black);
        for (int i = 0; i < lines.size(); ++i) {
            int flags = 0;
            const QRect band = LineBand(client, i, int(lines.size()), &flags);
            painter.drawText(band, flags, lines.at(i));
        }
    }
    drawFrame(&painter);  // the sunken edge, when the label has one
}

}  // namespace orv
