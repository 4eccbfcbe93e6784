#include "console/widgets/DoubleEdit.h"

#include "program/NumberFormat.h"
#include "program/UnitUtils.h"

#include <algorithm>
#include <cmath>
#include <optional>

namespace {

std::optional<double> ParseTyped(const QString& text) {
    try {
        const double value = StrToFloatAnySep(Trim(text.toStdString()));
        if (std::isfinite(value))
            return value;
    } catch (const EConvertError&) {
    }
    return std::nullopt;
}

} // namespace

TDoubleEdit::TDoubleEdit(QWidget* parent) : QLineEdit(parent) {
    connect(this, &QLineEdit::textEdited, this, &TDoubleEdit::TextEdited);
    connect(this, &QLineEdit::editingFinished, this, &TDoubleEdit::EditingFinished);
    RefreshText();
}

double TDoubleEdit::Clamped(double value) const {
    if (minimum_ < maximum_)
        return std::clamp(value, minimum_, maximum_);
    return value;
}

bool TDoubleEdit::Store(double value, bool rewriteText) {
    const double clamped = Clamped(value);
    const bool changed = clamped != value_;
    value_ = clamped;
    if (rewriteText)
        RefreshText();
    if (changed)
        emit ValueChanged(value_);
    return changed;
}

void TDoubleEdit::SetValue(double value) {
    if (!std::isfinite(value)) {
        RefreshText();
        return;
    }
    Store(value, true);
}

void TDoubleEdit::SetMinimum(double minimum) {
    minimum_ = minimum;
    Store(value_, true);
}

void TDoubleEdit::SetMaximum(double maximum) {
    maximum_ = maximum;
    Store(value_, true);
}

void TDoubleEdit::RefreshText() {
    const QString text = QString::fromStdString(FormatGeneral(value_));
    if (text != this->text())
        setText(text);
}

void TDoubleEdit::TextEdited(const QString& text) {
    // While typing, the text stays as typed ("1." on the way to "1.5", "-" on the way to "-2");
    // only the value follows it.
    if (const auto typed = ParseTyped(text)) {
        if (Store(*typed, false))
            emit ValueEdited(value_);
    }
}

void TDoubleEdit::EditingFinished() {
    RefreshText();
}
