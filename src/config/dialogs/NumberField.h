#pragma once

#include <QAbstractSpinBox>
#include <QString>

#include <optional>

class QWidget;

namespace orv {

// Text of a numeric field as the pages read it back: blanks around the number are allowed,
// anything else that is not part of the number makes the text "not a number".
std::optional<int> ParseIntField(const QString& text);
std::optional<unsigned> ParseUIntField(const QString& text);  // no minus sign
std::optional<double> ParseRealField(const QString& text);    // finite values only

// How a real is shown in a field: up to 15 significant digits, no trailing zeros (8 as "8").
QString RealFieldText(double value);

// The number and range messages of the settings pages, in the current language.
QString IntRangeMessage(long long lower, long long upper);
QString IntNumberMessage();
QString UIntNumberMessage();
QString RealNumberMessage();

// An edit with up and down arrows for an integer. The arrows step by `step` and keep the value
// within [minimum, maximum]; typed text is free (the page's range check bounds it on OK), so
// a value outside the arrows' range can be typed and is then reported rather than clipped.
class CSpinEdit final : public QAbstractSpinBox {
    Q_OBJECT
public:
    CSpinEdit(int minimum, int maximum, int step, QWidget* parent = nullptr);

    void SetValue(int value);
    int Minimum() const { return m_min; }
    int Maximum() const { return m_max; }
    int Step() const { return m_step; }

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    QSize sizeHint() const override;
    QSize minimumSizeHint() const override;

protected:
    StepEnabled stepEnabled() const override;

private:
    int m_min;
    int m_max;
    int m_step;
};

}  // namespace orv
