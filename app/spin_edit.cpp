// The speed field and the pages-at-once field: strict integer text, clamped
// when set, stepped, or left.
#include "app/spin_edit.h"

#include "app/qt_text.h"
#include "state/pace.h"
#include "text/errors.h"
#include "text/integer.h"

#include <QApplication>
#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPlainTextEdit>
#include <QProxyStyle>
#include <QProgressBar>
#include <QSystemTrayIcon>
#include <QThread>
#include <QToolButton>
#include <QTreeView>

#include <algorithm>
#include <stdexcept>

namespace vq {

namespace {

// Arrow buttons of the speed field: the first repeat after 400 ms, then every 100 ms.
class SpinEditStyle : public QProxyStyle {
public:
    int styleHint(StyleHint hint, const QStyleOption* option, const QWidget* widget,
                  QStyleHintReturn* ret) const override
    {
        if (hint == SH_SpinBox_ClickAutoRepeatThreshold)
            return 400;
        if (hint == SH_SpinBox_ClickAutoRepeatRate || hint == SH_SpinBox_KeyPressAutoRepeatRate)
            return 100;
        return QProxyStyle::styleHint(hint, option, widget, ret);
    }
};

} // namespace

// ---- SpinEdit ---------------------------------------------------------------

SpinEdit::SpinEdit(int minimum, int maximum, int value, QWidget* parent)
    : QAbstractSpinBox(parent), minimum_(minimum), maximum_(std::max(minimum, maximum))
{
    auto* style = new SpinEditStyle;
    style->setParent(this);
    setStyle(style);
    setWrapping(false);
    setAccelerated(false);
    setKeyboardTracking(true);
    setCorrectionMode(QAbstractSpinBox::CorrectToPreviousValue);
    setValue(value);
}

int SpinEdit::value() const
{
    try {
        return strToInt(toUtf8(lineEdit()->text()));
    } catch (const Exception&) {
        return minimum_;
    }
}

void SpinEdit::setValue(int value)
{
    const int clamped = std::clamp(value, minimum_, maximum_);
    const QString text = QString::number(clamped);
    if (lineEdit()->text() != text)
        lineEdit()->setText(text);
    update(); // the arrows' enabled look follows the value
}

void SpinEdit::stepBy(int steps)
{
    // A step counts from the value read (not clamped), then clamps: no wrapping.
    const long long next = static_cast<long long>(value()) + steps;
    setValue(static_cast<int>(std::clamp<long long>(next, minimum_, maximum_)));
    lineEdit()->selectAll();
}

QAbstractSpinBox::StepEnabled SpinEdit::stepEnabled() const
{
    if (isReadOnly())
        return StepNone;
    const int v = value();
    StepEnabled enabled = StepNone;
    if (v < maximum_)
        enabled |= StepUpEnabled;
    if (v > minimum_)
        enabled |= StepDownEnabled;
    return enabled;
}

bool SpinEdit::acceptsCharacter(QChar c) const
{
    if (c >= QLatin1Char('0') && c <= QLatin1Char('9'))
        return true;
    if (c == QLatin1Char('+') || c == QLatin1Char('-'))
        return true;
    return locale().decimalPoint().contains(c);
}

QValidator::State SpinEdit::validate(QString& input, int&) const
{
    // Any text made of the accepted characters may stand in the field; what it
    // means is decided when it is read.
    for (const QChar c : input) {
        if (!acceptsCharacter(c))
            return QValidator::Invalid;
    }
    return QValidator::Acceptable;
}

void SpinEdit::keyPressEvent(QKeyEvent* event)
{
    switch (event->key()) {
    case Qt::Key_Up:
    case Qt::Key_Down:
        QAbstractSpinBox::keyPressEvent(event); // steps by 1
        return;
    case Qt::Key_PageUp:
    case Qt::Key_PageDown:
        event->accept(); // only the arrow keys step
        return;
    case Qt::Key_Enter:
    case Qt::Key_Return:
        event->accept();
        QApplication::beep();
        return;
    default:
        break;
    }
    const QString text = event->text();
    const bool printable = !text.isEmpty() && text.at(0).isPrint();
    if (printable && !(event->modifiers() & (Qt::ControlModifier | Qt::MetaModifier))) {
        for (const QChar c : text) {
            if (!acceptsCharacter(c)) {
                event->accept();
                QApplication::beep();
                return;
            }
        }
    }
    QAbstractSpinBox::keyPressEvent(event);
}

void SpinEdit::focusOutEvent(QFocusEvent* event)
{
    // Leaving the field writes back the value the program reads from it: an
    // out-of-range number becomes the nearer bound, and a text that is not an
    // integer becomes the minimum that reading it gives.
    const int v = value();
    setValue(v);
    QAbstractSpinBox::focusOutEvent(event);
}

} // namespace vq
