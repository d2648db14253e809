// The main window.
#pragma once

#include "app/engine.h"

#include <QMainWindow>
#include <memory>

class QAction;
class QMenu;

namespace vq {

class TTrayIcon;

class TForm1 : public QMainWindow {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;

    // Toolbar and menu commands.
    void N1Click();
    void N2Click();
    void N3Click();
    void N4Click();
    void N5Click();
    void N28Click();
    void SpeedButton8Click();
    void SpeedButton10Click();
    void SpeedButton11Click();
    void N15Click();

    // Tray side (app/form1_tray.cpp).
    void N14Click();
    void N17Click();
    void N18Click();
    void N20Click();
    void N23Click();

private:
    void setupTray(); // creates TrayIcon1 and PopupMenu1 (app/form1_tray.cpp)

public:
    QMenu* PopupMenu1 = nullptr;
    QAction* N17 = nullptr;
    QAction* N18 = nullptr;
    QAction* N19 = nullptr;
    QAction* N20 = nullptr;
    QAction* N21 = nullptr;
    QAction* N23 = nullptr;
    std::unique_ptr<TTrayIcon> TrayIcon1;
};

} // namespace vq
