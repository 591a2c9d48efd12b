#pragma once

#include <QColor>
#include <QFont>
#include <QFrame>
#include <QString>

namespace orv {

// The coloured status label: fills itself with its background colour and draws its text in
// black. A text with line feeds is drawn one line per equal horizontal band; even bands align
// their line to the band's bottom and odd ones to the top, so two lines meet at the middle.
class CColorStatic final : public QFrame {
    Q_OBJECT
public:
    explicit CColorStatic(QWidget* parent = nullptr);

    // Replaces the text; the caller repaints (update() is enough).
    void SetText(const QString& text);
    QString GetText() const { return m_text; }
    // Replaces the label's own font.
    void SetFont(const QFont& font);
    QFont GetFont() const { return m_font; }
    void SetBkColor(const QColor& color);
    // With auto-size the text is drawn as large as the label allows (the float view's status);
    // without it the font's own size is kept unless the text would not fit.
    void SetAutoSize(bool on) {
        m_autoSize = on;
        update();
    }
    QColor GetBkColor() const { return m_bkColor; }
    // Text and colour together, repainted; safe only on the GUI thread.
    void Show(const QString& text, const QColor& color);

    // Where line `index` of `lineCount` is drawn in a label of `height` pixels, with the
    // alignment flags used for it.
    static QRect LineBand(const QRect& client, int index, int lineCount, int* flags);

    // `font`, made smaller where needed so that every line fits `client`.
    static QFont FittingFont(const QFont& font, const QStringList& lines, const QRect& client);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    QString m_text;
    QColor m_bkColor{0, 255, 0};
    QFont m_font;
    bool m_autoSize = false;
};

}  // namespace orv
