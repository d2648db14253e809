// The URL list generator dialog "生成URL页面地址列表" (bbsForm): numbered page
// addresses with one counter or with two counters running in step.
#pragma once

#include "app/prompts.h"

#include <QDialog>

class QLabel;
class QLineEdit;
class QPushButton;

namespace vq {

class TbbsForm : public QDialog {
    Q_OBJECT
public:
    // `prompts` shows the save dialog and the errors (the default handler).
    explicit TbbsForm(Prompts& prompts, QWidget* parent = nullptr);

    // One counter: Edit1 + (Edit12 × v) + Edit4 for v = Edit2..Edit3; count in Label2.
    void SpeedButton1Click();
    // Two counters: Edit5 + v + Edit9 + k + Edit8, v = Edit6..Edit7, k from Edit10;
    // the count replaces Label7's caption.
    void SpeedButton2Click();

    // Group 1, one counter.
    QLineEdit* Edit1 = nullptr;  // "URL网址前缀"
    QLineEdit* Edit2 = nullptr;  // "初始计数"
    QLineEdit* Edit3 = nullptr;  // "结束计数"
    QLineEdit* Edit4 = nullptr;  // "URL网址后缀"
    QLineEdit* Edit12 = nullptr; // "增长率"
    QLabel* Label2 = nullptr;    // lines written, beside "页面总数"
    QPushButton* SpeedButton1 = nullptr;

    // Group 2, two counters.
    QLineEdit* Edit5 = nullptr;  // "URL网址前段"
    QLineEdit* Edit6 = nullptr;  // "初始计数"
    QLineEdit* Edit7 = nullptr;  // "结束计数"
    QLineEdit* Edit9 = nullptr;  // "URL网址中部"
    QLineEdit* Edit10 = nullptr; // "初始计数" of the second counter
    QLineEdit* Edit11 = nullptr; // "结束计数" of the second counter (shown, not read)
    QLineEdit* Edit8 = nullptr;  // "URL网址后段"
    QLabel* Label7 = nullptr;    // "页面总数", then the lines written
    QPushButton* SpeedButton2 = nullptr;

protected:
    void showEvent(QShowEvent* event) override;

private:
    FileDialogSpec saveSpec() const;

    Prompts& prompts_;
};

} // namespace vq
