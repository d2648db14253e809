#include "app/form2.h"

#include "app/branding.h"

#include <QFrame>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

namespace vq {

namespace {

QLabel* linkLabel(const QString& caption, const QString& href, QWidget* parent)
{
    auto* label = new QLabel(QStringLiteral("%1<a href=\"%2\">%3</a>")
                                 .arg(caption, href.toHtmlEscaped(),
                                      QString(href).remove(QStringLiteral("mailto:")).toHtmlEscaped()),
                             parent);
    label->setTextFormat(Qt::RichText);
    label->setTextInteractionFlags(Qt::TextBrowserInteraction);
    label->setOpenExternalLinks(true);
    return label;
}

} // namespace

TForm2::TForm2(QWidget* parent) : QDialog(parent)
{
    setObjectName(QStringLiteral("Form2"));
    setWindowTitle(QStringLiteral("关于本软件"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);
    setFont(formFont());
    setModal(true);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(18, 16, 18, 12);
    layout->setSpacing(8);

    ProductName = new QLabel(QString::fromUtf8(maker::kProduct), this);
    ProductName->setObjectName(QStringLiteral("ProductName"));
    QFont big = font();
    big.setPixelSize(20);
    big.setBold(true);
    ProductName->setFont(big);
    ProductName->setAlignment(Qt::AlignCenter);

    Version = new QLabel(QString::fromUtf8(maker::kVersion), this);
    Version->setObjectName(QStringLiteral("Version"));
    Version->setAlignment(Qt::AlignCenter);

    auto* line = new QFrame(this);
    line->setFrameShape(QFrame::HLine);
    line->setFrameShadow(QFrame::Sunken);

    MailLink = linkLabel(QStringLiteral("电子邮件："),
                         QStringLiteral("mailto:") + QString::fromUtf8(maker::kMail), this);
    MailLink->setObjectName(QStringLiteral("MailLink"));
    HomeLink = linkLabel(QStringLiteral("主页："), QString::fromUtf8(maker::kHomePage), this);
    HomeLink->setObjectName(QStringLiteral("HomeLink"));
    auto* phone = new QLabel(QStringLiteral("电话：") + QString::fromUtf8(maker::kPhone), this);

    OKButton = new QPushButton(QStringLiteral("确定"), this);
    OKButton->setObjectName(QStringLiteral("OKButton"));
    OKButton->setDefault(true);
    connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch(1);
    buttons->addWidget(OKButton);
    buttons->addStretch(1);

    layout->addWidget(ProductName);
    layout->addWidget(Version);
    layout->addWidget(line);
    layout->addWidget(MailLink);
    layout->addWidget(HomeLink);
    layout->addWidget(phone);
    layout->addSpacing(4);
    layout->addLayout(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(300, 0)));
}

} // namespace vq
