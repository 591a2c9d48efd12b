#include "config/dialogs/NumberField.h"

#include <QLineEdit>
#include <QRegularExpression>
#include <QStyle>
#include <QStyleOptionSpinBox>

#include <algorithm>
#include <cmath>
#include <limits>

#include "lang/Language.h"

namespace orv {
namespace {

// Page 135 keeps the framework's messages under these caption ids.
constexpr int kIntRangeText = -2;
constexpr int kIntNumberText = -3;
constexpr int kUIntNumberText = -4;
constexpr int kRealNumberText = -5;

}  // namespace

std::optional<int> ParseIntField(const QString& text) {
    static const QRegularExpression kInt(QStringLiteral("^[+-]?[0-9]+$"));
    const QString t = text.trimmed();
    if (!kInt.match(t).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const int v = t.toInt(&ok);
    if (!ok) {
        return std::nullopt;  // more digits than an int holds
    }
    return v;
}

std::optional<unsigned> ParseUIntField(const QString& text) {
    static const QRegularExpression kUInt(QStringLiteral("^[+]?[0-9]+$"));
    const QString t = text.trimmed();
    if (!kUInt.match(t).hasMatch()) {
        return std::nullopt;
    }
    bool ok = false;
    const unsigned v = t.toUInt(&ok);
    if (!ok) {
        return std::nullopt;
    }
    return v;
}

std::optional<double> ParseRealField(const QString& text) {
    bool ok = false;
    const double v = text.trimmed().toDouble(&ok);
    if (!ok || !std::isfinite(v)) {
        return std::nullopt;
    }
    return v;
}

QString RealFieldText(double value) {
    return QString::number(value, 'g', 15);
}

QString IntRangeMessage(long long lower, long long upper) {
    return UiCaption(kAudioPage, kIntRangeText).arg(lower).arg(upper);
}

QString IntNumberMessage() {
    return UiCaption(kAudioPage, kIntNumberText);
}

QString UIntNumberMessage() {
    return UiCaption(kAudioPage, kUIntNumberText);
}

QString RealNumberMessage() {
    return UiCaption(kAudioPage, kRealNumberText);
}

CSpinEdit::CSpinEdit(int minimum, int maximum, int step, QWidget* parent)
    : QAbstractSpinBox(parent), m_min(minimum), m_max(maximum), m_step(step) {
    setKeyboardTracking(false);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
}

void CSpinEdit::SetValue(int value) {
    lineEdit()->setText(QString::number(value));
}

void CSpinEdit::stepBy(int steps) {
    // Arrows start from the typed value; text that is no number starts from the lower end.
    const std::optional<int> current = ParseIntField(text());
    const long long base = current ? *current : m_min;
    const long long next = base + static_cast<long long>(steps) * m_step;
    SetValue(static_cast<int>(std::clamp<long long>(next, m_min, m_max)));
    selectAll();
}

QValidator::State CSpinEdit::validate(QString& /*input*/, int& /*pos*/) const {
    return QValidator::Acceptable;  // any text; OK reports what is wrong with it
}

QAbstractSpinBox::StepEnabled CSpinEdit::stepEnabled() const {
    const std::optional<int> v = ParseIntField(text());
    if (!v) {
        return StepUpEnabled | StepDownEnabled;
    }
    StepEnabled e = StepNone;
    if (*v < m_max) {
        e |= StepUpEnabled;
    }
    if (*v > m_min) {
        e |= StepDownEnabled;
    }
    return e;
}

QSize CSpinEdit::sizeHint() const {
    // Room for the widest bound and the arrows.
    const QFontMetrics fm(font());
    const int digits = qMax(fm.horizontalAdvance(QString::number(m_min)),
                            fm.horizontalAdvance(QString::number(m_max)));
    QStyleOptionSpinBox opt;
    initStyleOption(&opt);
    const QSize content(digits + fm.horizontalAdvance(QLatin1Char('0')) * 2,
                        lineEdit()->sizeHint().height());
    return style()->sizeFromContents(QStyle::CT_SpinBox, &opt, content, this);
}

QSize CSpinEdit::minimumSizeHint() const {
    return sizeHint();
}

}  // namespace orv
