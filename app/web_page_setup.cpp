// The set-up of Qt WebEngine for the harvest, and the pages it drives: what
// WebEngine needs before it starts, and pages that refuse whatever would wait
// for somebody at the screen.
#include "app/web_browser.h"

#include "app/os.h"

#include "text/errors.h"

#include <QAuthenticator>
#include <QNetworkProxy>
#include <QCoreApplication>
#include <QWebEngineCertificateError>
#include <QWebEngineClientCertificateSelection>
#include <QWebEngineFileSystemAccessRequest>
#include <QWebEngineFullScreenRequest>
#include <QWebEngineProfile>
#include <QWebEngineQuotaRequest>
#include <QWebEngineRegisterProtocolHandlerRequest>
#include <QWebEngineScript>
#include <QWebEngineScriptCollection>
#include <QWebEngineSettings>

namespace vq {

namespace {
// The width hidden pages are laid out at: a common desktop screen's.
constexpr int kHiddenPageWidthPx = 1280;
} // namespace

void prepareWebEngine()
{
    QCoreApplication::setAttribute(Qt::AA_ShareOpenGLContexts);
    if (os::runningAsAdministrator())
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", "1");
}

void keepHiddenPagesOnTime()
{
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    if (!flags.contains("--disable-background-timer-throttling"))
        flags += " --disable-background-timer-throttling --disable-renderer-backgrounding";
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

namespace {

// The proxy's user and password, for its log-in requests.
QString& proxyUser()
{
    static QString user;
    return user;
}
QString& proxyPassword()
{
    static QString password;
    return password;
}

// A proxy address's port, its scheme's when it names none.
int proxyPort(const QUrl& u)
{
    const QString scheme = u.scheme().toLower();
    return u.port(scheme == QLatin1String("https") ? 443 : scheme == QLatin1String("socks5") ? 1080 : 80);
}

// "scheme://host:port" of a proxy address, as Chromium takes it and messages name it.
QString proxyServer(const QUrl& u)
{
    return u.scheme().toLower() + QStringLiteral("://") + u.host() + QLatin1Char(':') + QString::number(proxyPort(u));
}

QUrl proxyUrl(const std::string& text, const char* what)
{
    QUrl u(QString::fromStdString(text).trimmed(), QUrl::StrictMode);
    if (!u.isValid() || u.scheme().isEmpty())
        u = QUrl(QStringLiteral("http://") + QString::fromStdString(text).trimmed(), QUrl::StrictMode);
    const QString scheme = u.scheme().toLower();
    if (!u.isValid() || u.host().isEmpty() ||
        (scheme != QLatin1String("http") && scheme != QLatin1String("https") && scheme != QLatin1String("socks5")))
        throw Exception(std::string(what) + " " + text + " is not a proxy (http://, https:// or socks5://HOST:PORT)");
    return u;
}

} // namespace

void answerProxyLogIn(QAuthenticator* a)
{
    if (proxyUser().isEmpty()) {
        *a = QAuthenticator(); // nothing to log in with: refused
        return;
    }
    a->setUser(proxyUser());
    a->setPassword(proxyPassword());
}

std::string useProxy(const std::string& proxy)
{
    std::string shown;
    QString server, bypass;
    if (!proxy.empty()) {
        const QUrl u = proxyUrl(proxy, "the proxy");
        proxyUser() = u.userName();
        proxyPassword() = u.password();
        server = proxyServer(u);
        shown = server.toStdString();
        const bool socks = u.scheme().toLower() == QLatin1String("socks5");
        // The pictures' and robots.txt requests.
        QNetworkProxy::setApplicationProxy(QNetworkProxy(socks ? QNetworkProxy::Socks5Proxy : QNetworkProxy::HttpProxy,
                                                         u.host(), quint16(proxyPort(u)), u.userName(), u.password()));
    } else {
        // The environment's, as every program on the machine takes them.
        QStringList parts;
        for (const char* name : {"http_proxy", "https_proxy"}) {
            QByteArray value = qgetenv(name);
            if (value.isEmpty())
                value = qgetenv(QByteArray(name).toUpper());
            if (value.isEmpty())
                continue;
            const QUrl u = proxyUrl(value.toStdString(), name);
            if (proxyUser().isEmpty()) {
                proxyUser() = u.userName();
                proxyPassword() = u.password();
            }
            const QString scheme = QString::fromLatin1(name).section(QLatin1Char('_'), 0, 0); // http, https
            parts << scheme + QLatin1Char('=') + proxyServer(u);
            shown += (shown.empty() ? "" : ", ") + std::string(name) + " " + proxyServer(u).toStdString();
        }
        if (parts.isEmpty())
            return {};
        server = parts.join(QLatin1Char(';'));
        QByteArray none = qgetenv("no_proxy");
        if (none.isEmpty())
            none = qgetenv("NO_PROXY");
        bypass = QString::fromLatin1(none).replace(QLatin1Char(','), QLatin1Char(';')).remove(QLatin1Char(' '));
        QNetworkProxyFactory::setUseSystemConfiguration(true); // the pictures' and robots.txt requests
    }
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --proxy-server=" + server.toUtf8();
    if (!bypass.isEmpty())
        flags += " --proxy-bypass-list=" + bypass.toUtf8();
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
    return shown;
}

void limitRenderProcesses(int renderers)
{
    if (renderers <= 0)
        return;
    QByteArray flags = qgetenv("QTWEBENGINE_CHROMIUM_FLAGS");
    flags += " --renderer-process-limit=" + QByteArray::number(renderers);
    qputenv("QTWEBENGINE_CHROMIUM_FLAGS", flags.trimmed());
}

void addDocumentScript(QWebEngineProfile* profile, const QString& name, quint32 world, const QString& source)
{
    if (!profile || !profile->scripts()->find(name).isEmpty())
        return;
    QWebEngineScript script;
    script.setName(name);
    script.setInjectionPoint(QWebEngineScript::DocumentCreation);
    script.setWorldId(world);
    script.setRunsOnSubFrames(false);
    script.setSourceCode(source);
    profile->scripts()->insert(script);
}

void layOutHiddenPagesScreenWide(QWebEngineProfile* profile)
{
    // An adopted style sheet adds no node to the document, so the page's DOM
    // and text are untouched. It runs in our own script world, once the
    // document element exists and before the page's own content is parsed.
    addDocumentScript(profile, QStringLiteral("vq-screen-wide"), QWebEngineScript::ApplicationWorld,
                      QStringLiteral("(function () { try {"
                                     " var s = new CSSStyleSheet(); s.replaceSync('html { min-width: %1px !important }');"
                                     " document.adoptedStyleSheets = Array.from(document.adoptedStyleSheets).concat([s]);"
                                     " } catch (e) {} })();")
                          .arg(kHiddenPageWidthPx));
}

// ---- the quiet page ----------------------------------------------------------

QuietWebPage::QuietWebPage(QWebEngineProfile* profile, QObject* parent)
    : QWebEnginePage(profile, parent)
{
    QWebEngineSettings* s = settings();
    s->setAttribute(QWebEngineSettings::JavascriptCanOpenWindows, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanAccessClipboard, false);
    s->setAttribute(QWebEngineSettings::JavascriptCanPaste, false);
    s->setAttribute(QWebEngineSettings::FullScreenSupportEnabled, false);
    s->setAttribute(QWebEngineSettings::ScreenCaptureEnabled, false);
    s->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    // The crawl reads pages, it does not show their icons: no extra requests.
    s->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    // A page that declares no charset: Chromium guesses GBK and the other
    // legacy code pages from its bytes, but never UTF-8 over http, and falls
    // back to the default. With UTF-8 as the default, such a page whose bytes
    // are UTF-8 is read as UTF-8 (its frames too), and the guesses stand.
    s->setDefaultTextEncoding(QStringLiteral("UTF-8"));
}

QWebEnginePage* QuietWebPage::createWindow(WebWindowType)
{
    return nullptr;
}

QStringList QuietWebPage::chooseFiles(FileSelectionMode, const QStringList&, const QStringList&)
{
    return {};
}

void QuietWebPage::javaScriptAlert(const QUrl&, const QString&) {}

bool QuietWebPage::javaScriptConfirm(const QUrl&, const QString& msg)
{
    // The "leave this page?" question of a beforeunload handler comes here
    // with WebEngine's own text: leaving is the answer, or the next address
    // could never be loaded. Every confirm() of a page is answered No.
    static const QString leave = QCoreApplication::translate(
        "QWebEnginePage",
        "Are you sure you want to leave this page? Changes that you made may not be saved.");
    return msg == leave;
}

bool QuietWebPage::javaScriptPrompt(const QUrl&, const QString&, const QString&, QString*)
{
    return false;
}

void QuietWebPage::javaScriptConsoleMessage(JavaScriptConsoleMessageLevel, const QString&, int,
                                            const QString&)
{
    // Pages' console chatter is not ours to print.
}

void WebEngineBrowser::refuseRequests()
{
    QWebEnginePage* page = page_;
    connect(page, &QWebEnginePage::featurePermissionRequested, this,
            [page](const QUrl& origin, QWebEnginePage::Feature feature) {
                page->setFeaturePermission(origin, feature, QWebEnginePage::PermissionDeniedByUser);
            });
    // A null authenticator cancels the request; the page then shows the
    // server's refusal, which is its content.
    connect(page, &QWebEnginePage::authenticationRequired, this,
            [](const QUrl&, QAuthenticator* a) { *a = QAuthenticator(); }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::proxyAuthenticationRequired, this,
            [](const QUrl&, QAuthenticator* a, const QString&) { answerProxyLogIn(a); }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::certificateError, this,
            [](const QWebEngineCertificateError& e) {
                QWebEngineCertificateError error = e;
                error.rejectCertificate();
            }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::selectClientCertificate, this,
            [](QWebEngineClientCertificateSelection s) { s.selectNone(); }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::fullScreenRequested, this,
            [](QWebEngineFullScreenRequest r) { r.reject(); }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::registerProtocolHandlerRequested, this,
            [](QWebEngineRegisterProtocolHandlerRequest r) { r.reject(); }, Qt::DirectConnection);
    connect(page, &QWebEnginePage::fileSystemAccessRequested, this,
            [](QWebEngineFileSystemAccessRequest r) { r.reject(); }, Qt::DirectConnection);
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    connect(page, &QWebEnginePage::quotaRequested, this,
            [](QWebEngineQuotaRequest r) { r.reject(); }, Qt::DirectConnection);
    QT_WARNING_POP
}

} // namespace vq
