// The main window's tray side: PopupMenu1 and the show/hide commands.
#include "app/form1.h"

namespace vq {

void TForm1::setupTray() {}
void TForm1::N14Click() {}
void TForm1::N17Click() {}
void TForm1::N18Click() {}
void TForm1::N20Click() {}
void TForm1::N23Click() {}

} // namespace vq
