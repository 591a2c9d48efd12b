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

void CColorStatic::paintEvent(QPaintEvent*) {
    // The widget backing store already double-buffers: the fill and the text reach the screen
    // together, so the label never flickers through its background.
    QPainter painter(this);
    const QRect client = contentsRect();
    painter.fillRect(rect(), m_bkColor);
    if (!m_text.isEmpty()) {
        painter.setFont(m_font);
        painter.setPen(Qt::black);
        const QStringList lines = m_text.split(QLatin1Char('\n'));
        for (int i = 0; i < lines.size(); ++i) {
            int flags = 0;
            const QRect band = LineBand(client, i, int(lines.size()), &flags);
            painter.drawText(band, flags, lines.at(i));
        }
    }
    drawFrame(&painter);  // the sunken edge, when the label has one
}

}  // namespace orv
