// The window's number fields ("速度[秒]", "同时打开").
#pragma once

#include <QAbstractSpinBox>

namespace vq {

// The speed field: a spin edit whose text is read strictly as an integer (the
// minimum when it is not one, never clamped on reading); setting a value, a step
// and leaving the field clamp to the range.
class SpinEdit : public QAbstractSpinBox {
    Q_OBJECT
public:
    SpinEdit(int minimum, int maximum, int value, QWidget* parent = nullptr);

    int minimum() const { return minimum_; }
    int maximum() const { return maximum_; }
    int value() const;       // the integer written in the field, or minimum()
    void setValue(int value); // clamped to minimum()..maximum()
    using QAbstractSpinBox::lineEdit; // the field's text, as typed

    void stepBy(int steps) override;
    QValidator::State validate(QString& input, int& pos) const override;
    void fixup(QString&) const override {}

    // Whether the field takes a typed character (digits, signs, the decimal separator).
    bool acceptsCharacter(QChar c) const;

protected:
    StepEnabled stepEnabled() const override;
    void keyPressEvent(QKeyEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

private:
    int minimum_;
    int maximum_;
};

} // namespace vq
