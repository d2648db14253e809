// Program entry: the application object, then the main window Form1, the About
// box Form2 and the URL list generator bbsForm, in that order; only the main
// window is shown.
#include "app/form1.h"
#include "app/form2.h"
#include "app/os.h"
#include "app/version.h"
#include "app/single_copy.h"
#include "app/translations.h"
#include "app/web_browser.h"

#include "app/bbs_form.h"
#include "state/option_lists.h"

#include <QApplication>
#include <QElapsedTimer>

#include <cstdio>

namespace {

// With VQ_TRACE_STARTUP set: reports on stderr when the main window is first
// painted, that is, on the screen.
class StartupTrace : public QObject {
public:
    explicit StartupTrace(const QElapsedTimer& sinceMain) : sinceMain_(sinceMain) {}

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Paint) {
            std::fprintf(stderr, "startup: main window shown %lld ms after process start (%lld ms after main)\n",
                         vq::os::msSinceProcessStart(), static_cast<long long>(sinceMain_.elapsed()));
            watched->removeEventFilter(this);
        }
        return false;
    }

private:
    const QElapsedTimer& sinceMain_;
};

} // namespace

int main(int argc, char* argv[])
{
    QElapsedTimer startup;
    startup.start();

    // Before the application object exists. WebEngine's start-up report of its
    // graphics and parameters is noise unless the user asks for logging.
    if (qEnvironmentVariableIsEmpty("QT_LOGGING_RULES"))
        qputenv("QT_LOGGING_RULES", "qt.webenginecontext=false");
    vq::keepHiddenPagesOnTime(); // the pages loaded off screen with "同时打开"
    vq::prepareWebEngine();

    QApplication app(argc, argv);
    // The name picks the per-user data directory (~/.local/share/velqordornavik).
    // The product title goes to the captions and the tray through vq::maker.
    QCoreApplication::setApplicationName(QStringLiteral("velqordornavik"));
    QCoreApplication::setApplicationVersion(QStringLiteral(VQ_VERSION));
    // The menu entry this program belongs to (the desktop's task list shows its
    // name and icon).
    QGuiApplication::setDesktopFileName(QStringLiteral(VQ_APP_ID));
    // The main window's closing ends the program; with the window hidden in the
    // tray, closing a dialog must not.
    QApplication::setQuitOnLastWindowClosed(false);

    // Qt's own dialogs (file dialogs, the browser's context menu) in Chinese.
    vq::installQtTranslations();

    vq::TForm1::Options options;
    options.programDir = vq::defaultProgramDir();

    // One copy per program directory: a second start brings the running
    // window forward and ends.
    vq::SingleCopy singleCopy(options.programDir);
    if (!singleCopy.acquire()) {
        singleCopy.bringRunningCopyForward();
        return 0;
    }

    std::string proxyError; // shown once the window is there
    // The window's off-screen lanes share render processes as vqharvest's do;
    // the visible browser, on a profile of its own, keeps one to itself. The
    // pages at once as last saved decide how many (before the first page).
    {
        vq::SearchSetup saved;
        try {
            vq::loadOptionLists(saved, options.programDir);
        } catch (...) {
            // The window reports an unreadable file when it loads the settings.
        }
        vq::limitRenderProcesses(vq::windowRenderers(saved.pagesAtOnce()));
        // The proxy of "vqvisitor.ini" (or the environment's) for every page.
        try {
            vq::useProxy(saved.visitor().proxy);
        } catch (const std::exception& e) {
            proxyError = e.what();
        }
    }

    vq::TForm1 Form1(options);
    QObject::connect(&singleCopy, &vq::SingleCopy::anotherCopyStarted, &Form1, [&Form1] { Form1.N17Click(); });
    QObject::connect(&Form1, &vq::TForm1::closeAccepted, &app, &QCoreApplication::quit,
                     Qt::QueuedConnection);

    auto* Form2 = new vq::TForm2(&Form1);
    Form1.setAboutBox(Form2);

    auto* bbsForm = new vq::TbbsForm(Form1.prompts(), &Form1);
    Form1.setUrlGenerator(bbsForm);

    Form1.show();
    if (!proxyError.empty())
        Form1.prompts().error(proxyError + "；未使用代理服务器");

    StartupTrace trace(startup);
    if (qEnvironmentVariableIsSet("VQ_TRACE_STARTUP"))
        Form1.installEventFilter(&trace); // its first paint: the window is on the screen
    return app.exec();
}
