// Program entry: the application object, then the main window Form1, the About
// box Form2 and the URL list generator bbsForm, in that order; only the main
// window is shown.
#include "app/form1.h"
#include "app/form2.h"

#include "app/bbs_form.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLibraryInfo>
#include <QLocale>
#include <QTimer>
#include <QTranslator>

#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[])
{
    QElapsedTimer startup;
    startup.start();

    // Qt WebEngine shares its OpenGL contexts with the widgets; this must be set
    // before the application object exists. As root Chromium refuses to start
    // with its sandbox on.
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (::geteuid() == 0)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");

    QApplication app(argc, argv);
    // The name picks the per-user data directory (~/.local/share/velqordornavik).
    // The product title goes to the captions and the tray through vq::maker.
    QCoreApplication::setApplicationName(QStringLiteral("velqordornavik"));
    QCoreApplication::setApplicationVersion(QStringLiteral("2.0"));
    // The main window's closing ends the program; with the window hidden in the
    // tray, closing a dialog must not.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt's own dialogs (file dialogs, the browser's context menu) in Chinese.
    const QString translations = QLibraryInfo::path(QLibraryInfo::TranslationsPath);
    QTranslator qtbase, qtwebengine;
    if (qtbase.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtbase"),
                    QStringLiteral("_"), translations))
        QCoreApplication::installTranslator(&qtbase);
    if (qtwebengine.load(QLocale(QLocale::Chinese, QLocale::China), QStringLiteral("qtwebengine"),
                         QStringLiteral("_"), translations))
        QCoreApplication::installTranslator(&qtwebengine);

    vq::TForm1::Options options;
    options.programDir = vq::defaultProgramDir();
    vq::TForm1 Form1(options);
    QObject::connect(&Form1, &vq::TForm1::closeAccepted, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    auto* Form2 = new vq::TForm2(&Form1);
    Form1.setAboutBox(Form2);

    auto* bbsForm = new vq::TbbsForm(Form1.prompts(), &Form1);
    Form1.setUrlGenerator(bbsForm);

    Form1.show();

    if (qEnvironmentVariableIsSet("VQ_TRACE_STARTUP")) {
        QTimer::singleShot(0, &Form1, [&startup] {
            std::fprintf(stderr, "startup: main window shown after %lld ms\n",
                         static_cast<long long>(startup.elapsed()));
        });
    }
    return app.exec();
}
