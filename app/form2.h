// The About box: product name, version and the maker's contact links.
#pragma once

#include <QDialog>

class QLabel;
class QPushButton;

namespace vq {

class TForm2 : public QDialog {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);

    QLabel* ProductName = nullptr;
    QLabel* Version = nullptr;
    QLabel* MailLink = nullptr;
    QLabel* HomeLink = nullptr;
    QPushButton* OKButton = nullptr;
};

} // namespace vq
