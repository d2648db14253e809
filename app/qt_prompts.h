// vq::Prompts on Qt: message boxes with the Chinese button texts, the input box
// and the file dialogs. Every box is modal and runs its own event loop, so timer
// ticks and browser events go on while it is open.
#pragma once

#include "app/prompts.h"

#include <QString>

class QWidget;
class QMessageBox;

namespace vq {

// "Text files(*.txt)|*.txt|All files(*.*)|*.*" (description|patterns pairs,
// patterns separated by ";") to Qt's "Text files(*.txt) (*.txt);;All files(*.*) (*.*)".
QString qtFileFilter(const std::string& filter);

class QtPrompts : public Prompts {
public:
    // `parent` owns the boxes (may be null); `appTitle` captions the plain
    // message box and the error box.
    QtPrompts(QWidget* parent, QString appTitle);

    void information(const std::string& text) override;
    bool confirm(const std::string& text) override;
    void message(const std::string& text) override;
    void error(const std::string& text) override;
    std::optional<std::string> inputBox(const std::string& caption, const std::string& prompt,
                                        const std::string& initial) override;

    std::optional<std::filesystem::path> openFile(const FileDialogSpec& dialogSpec) override;
    std::vector<std::filesystem::path> openFiles(const FileDialogSpec& dialogSpec) override;
    std::optional<std::filesystem::path> saveFile(const FileDialogSpec& dialogSpec) override;

    static constexpr int kInputMaxLength = 255;

private:
    void showBox(const QString& caption, int icon, const std::string& text);

    QWidget* parent_;
    QString appTitle_;
};

} // namespace vq
