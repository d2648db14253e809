// The toolbar's and the menus' commands, each forwarding to the engine under
// the default handler, and the buttons and menu items that run them.
#include "app/form1.h"
#include "app/form2.h"

#include <QAction>
#include <QDialog>
#include <QLayout>
#include <QMenu>
#include <QToolButton>

namespace vq {

QAction* TForm1::addMenuItem(QMenu* menu, const char* name, const QString& caption,
                             void (TForm1::*handler)())
{
    QAction* action = menu->addAction(caption);
    action->setObjectName(QString::fromLatin1(name));
    connect(action, &QAction::triggered, this, handler);
    return action;
}

QToolButton* TForm1::addSpeedButton(QWidget* bar, const char* name, const QString& caption,
                                    const QString& hint, void (TForm1::*handler)())
{
    auto* button = new QToolButton(bar);
    button->setObjectName(QString::fromLatin1(name));
    button->setText(caption);
    button->setToolTip(hint);
    button->setAutoRaise(true);
    button->setToolButtonStyle(Qt::ToolButtonTextOnly);
    button->setFocusPolicy(Qt::NoFocus);
    button->setFixedSize(55, 23);
    connect(button, &QToolButton::clicked, this, [this, handler] { (this->*handler)(); });
    bar->layout()->addWidget(button);
    return button;
}

void TForm1::N1Click() { guarded(*prompts_, [this] { engine_->urlList.N1Click(); }); }
void TForm1::N2Click() { guarded(*prompts_, [this] { engine_->N2Click(); }); }
void TForm1::N3Click() { guarded(*prompts_, [this] { engine_->N3Click(); }); }
void TForm1::N4Click() { guarded(*prompts_, [this] { engine_->N4Click(); }); }
void TForm1::N5Click() { guarded(*prompts_, [this] { engine_->progress.N5Click(); }); }
void TForm1::SpeedButton8Click() { guarded(*prompts_, [this] { engine_->progress.SpeedButton8Click(); }); }
void TForm1::SpeedButton11Click() { guarded(*prompts_, [this] { engine_->merge.SpeedButton11Click(); }); }

void TForm1::SpeedButton10Click()
{
    close(); // asks first (closeEvent)
}

void TForm1::N15Click()
{
    guarded(*prompts_, [this] {
        if (aboutBox_) {
            aboutBox_->exec();
        } else {
            TForm2 box(this);
            box.exec();
        }
    });
}

void TForm1::N28Click()
{
    guarded(*prompts_, [this] {
        if (urlGenerator_)
            urlGenerator_->exec();
    });
}

} // namespace vq
