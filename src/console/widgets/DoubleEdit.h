#pragma once
// A numeric field holding a double, with an optional range. The value is what was typed or set,
// not what the text shows: nothing is rounded to a number of decimals. The text shows the value in
// general format with the operator's decimal separator; the operator may type ',' or '.'.
//
// The range applies only while the minimum is below the maximum, to typed values and values set
// from code alike. Text that is not a number leaves the last valid value in place; the text is
// put back to that value when editing ends.
#include <QLineEdit>

class TDoubleEdit : public QLineEdit {
    Q_OBJECT
public:
    explicit TDoubleEdit(QWidget* parent = nullptr);

    double Value() const { return value_; }
    // Clamped to the range; a value that is not finite is refused and the last one kept.
    void SetValue(double value);

    void SetMinimum(double minimum);
    void SetMaximum(double maximum);
    double Minimum() const { return minimum_; }
    double Maximum() const { return maximum_; }

    // Shows the value again in the current locale (after the decimal separator changed).
    void RefreshText();

signals:
    // Whenever the value changes, typed or set from code.
    void ValueChanged(double value);
    // Only when the operator's typing changed the value; code that stores what the operator
    // entered listens here, so that showing a value from code never stores it back.
    void ValueEdited(double value);

private:
    double Clamped(double value) const;
    void TextEdited(const QString& text);
    void EditingFinished();
    // Sets the value; the text is rewritten only when rewriteText is true (not while typing).
    bool Store(double value, bool rewriteText);

    double value_ = 0;
    double minimum_ = 0;
    double maximum_ = 0;
};
