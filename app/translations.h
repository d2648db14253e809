// Qt's own texts (file dialogs, input boxes, the context menus of edits and of
// the browser) in simplified Chinese, from Qt's translation catalogues.
#pragma once

#include <QString>

namespace vq {

// Installs the zh_CN catalogues of qtbase and qtwebengine found in Qt's
// translation directory; returns how many were installed (none when the
// catalogues are not there: Qt then speaks English).
int installQtTranslations(const QString& directory = {});

} // namespace vq
