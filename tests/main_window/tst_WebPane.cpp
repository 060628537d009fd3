#include "main_window/WebPane.h"
#include "main_window/WebSearch.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QHash>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QSslKey>
#include <QSslServer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QUrlQuery>

#include <unistd.h>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEnginePage>
#include <QWebEngineProfile>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace {

// A tiny HTTP server on 127.0.0.1 that stands in for the search engine and the web.
class LocalWebServer : public QObject
{
public:
    struct Reply
    {
        QByteArray type;
        QByteArray body;
        QByteArray extraHeaders;
    };

    LocalWebServer()
    {
        connect(&m_server, &QTcpServer::newConnection, this, [this] { acceptAll(); });
    }

    bool start() { return m_server.listen(QHostAddress::LocalHost, 0); }
    QString base() const { return u"http://127.0.0.1:%1"_s.arg(m_server.serverPort()); }
    void serve(const QByteArray &path, const Reply &reply) { m_replies.insert(path, reply); }
    QList<QByteArray> targets() const { return m_targets; }
    bool received(const QByteArray &path) const
    {
        for (const QByteArray &target : m_targets) {
            if (target == path || target.startsWith(path + '?'))
                return true;
        }
        return false;
    }

private:
    void acceptAll()
    {
        while (QTcpSocket *socket = m_server.nextPendingConnection()) {
            connect(socket, &QTcpSocket::readyRead, this, [this, socket] { answer(socket); });
            connect(socket, &QTcpSocket::disconnected, socket, &QObject::deleteLater);
        }
    }

    void answer(QTcpSocket *socket)
    {
        QByteArray &pending = m_pending[socket];
        pending += socket->readAll();
        if (!pending.contains("\r\n\r\n"))
            return;
        const QList<QByteArray> requestLine = pending.left(pending.indexOf("\r\n")).split(' ');
        m_pending.remove(socket);
        const QByteArray target = requestLine.value(1);
        m_targets.append(target);
        const QByteArray path = target.left(target.indexOf('?') < 0 ? target.size() : target.indexOf('?'));
        const auto found = m_replies.constFind(path);
        QByteArray response;
        if (found == m_replies.constEnd()) {
            response = "HTTP/1.1 404 Not Found\r\nContent-Length: 0\r\nConnection: close\r\n\r\n";
        } else {
            response = "HTTP/1.1 200 OK\r\nContent-Type: " + found->type + "\r\nContent-Length: "
                + QByteArray::number(found->body.size()) + "\r\n" + found->extraHeaders
                + "Connection: close\r\n\r\n" + found->body;
        }
        socket->write(response);
        socket->disconnectFromHost();
    }

    QTcpServer m_server;
    QHash<QByteArray, Reply> m_replies;
    QHash<QTcpSocket *, QByteArray> m_pending;
    QList<QByteArray> m_targets;
};

LocalWebServer::Reply html(const QByteArray &body)
{
    return {"text/html; charset=utf-8", "<!DOCTYPE html><html><head><meta charset=\"utf-8\"></head><body>" + body
                                            + "</body></html>", {}};
}

// Closes and records every dialog that shows up, so a fault fails the test instead of hanging it.
class DialogWatch : public QObject
{
public:
    DialogWatch()
    {
        connect(&m_timer, &QTimer::timeout, this, [this] { sweep(); });
        m_timer.start(10);
    }
    QStringList seen() const { return m_seen; }

private:
    void sweep()
    {
        const QWidgetList windows = QApplication::topLevelWidgets();
        for (QWidget *window : windows) {
            auto *dialog = qobject_cast<QDialog *>(window);
            if (dialog && dialog->isVisible()) {
                m_seen.append(QString::fromLatin1(dialog->metaObject()->className()));
                dialog->reject();
            }
        }
    }

    QTimer m_timer;
    QStringList m_seen;
};

void restoreRootWebOptIn(const QByteArray &saved)
{
    if (saved.isNull())
        qunsetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    else
        qputenv("JUYOUTAI_ALLOW_ROOT_WEB", saved);
}

QStringList s_messages;
QtMessageHandler s_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    s_messages.append(message);
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

} // namespace

class tst_WebPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void prepareEnvironmentTurnsSandboxOffOnlyForRoot();
    void remotePagesNeedOptInForRoot();
    void rootSeesNoticeInsteadOfRemotePages();
    void startsHiddenOnBlankWithoutEngine();
    void profileIsOffTheRecord();
    void searchReachesEngineWithEveryWord();
    void refusesOtherSchemes();
    void scriptDialogsRaiseNothingInSilentMode();
    void scriptDialogShowsWhenNotSilent();
    void consoleOutputNotPrinted();
    void newWindowsOpenInPane();
    void downloadsRefused();
    void certificateErrorsRefusedSilently();
    void aboutPageShipped();
    void sessionLeavesNothingOnDisk();

private:
    bool load(WebPane &pane, const QUrl &address);
    QVariant evaluate(WebPane &pane, const QString &script);
    QList<QWidget *> visibleWindowsBesides(const QWidget *pane) const;
    QStringList filesUnder(const QString &folder) const;

    LocalWebServer m_server;
};

void tst_WebPane::initTestCase()
{
    QVERIFY(m_server.start());
    m_server.serve("/s", html("<p>results</p>"));
    m_server.serve("/plain", html("<p id=\"plain\">plain</p>"));
}

void tst_WebPane::init()
{
    WebSearch::setPrefixForTesting(m_server.base() + "/s?wd="_L1);
}

void tst_WebPane::cleanup()
{
    WebSearch::setPrefixForTesting(u"https://www.baidu.com/s?wd="_s);
}

bool tst_WebPane::load(WebPane &pane, const QUrl &address)
{
    QSignalSpy finished(pane.page(), &QWebEnginePage::loadFinished);
    pane.Navigate(address.toString(QUrl::FullyEncoded));
    if (!finished.wait(20000))
        return false;
    return finished.last().value(0).toBool();
}

QVariant tst_WebPane::evaluate(WebPane &pane, const QString &script)
{
    QVariant result;
    bool done = false;
    pane.page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("script gave no result: %s", qPrintable(script));
    return result;
}

QList<QWidget *> tst_WebPane::visibleWindowsBesides(const QWidget *pane) const
{
    QList<QWidget *> windows;
    const QWidgetList all = QApplication::topLevelWidgets();
    for (QWidget *window : all) {
        if (window != pane && window->isVisible())
            windows.append(window);
    }
    return windows;
}

QStringList tst_WebPane::filesUnder(const QString &folder) const
{
    QStringList files;
    QDirIterator it(folder, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files.append(it.next());
    return files;
}

void tst_WebPane::prepareEnvironmentTurnsSandboxOffOnlyForRoot()
{
    const bool wasSet = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray saved = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    WebPane::prepareEnvironment();
    const bool root = ::geteuid() == 0;
    QCOMPARE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"), root);
    if (root)
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));

    // A choice made outside the program is left alone
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "0");
    WebPane::prepareEnvironment();
    QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("0"));
    if (wasSet)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", saved);
    else
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");

    QCOMPARE(QWebEngineUrlScheme::schemeByName("jyt").name(), QByteArray("jyt"));
}

void tst_WebPane::remotePagesNeedOptInForRoot()
{
    const QByteArray saved = qgetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    qunsetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    QVERIFY(!WebPane::remotePagesAllowed(0));
    QVERIFY(WebPane::remotePagesAllowed(1000));
    qputenv("JUYOUTAI_ALLOW_ROOT_WEB", "0");
    QVERIFY(!WebPane::remotePagesAllowed(0));
    qputenv("JUYOUTAI_ALLOW_ROOT_WEB", "1");
    QVERIFY(WebPane::remotePagesAllowed(0));
    restoreRootWebOptIn(saved);
}

void tst_WebPane::rootSeesNoticeInsteadOfRemotePages()
{
    if (::geteuid() != 0)
        QSKIP("only a menu run by root is kept off the web");
    const QByteArray saved = qgetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    qunsetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    WebPane pane;
    restoreRootWebOptIn(saved);
    pane.SetSilent(true);
    pane.resize(640, 480);
    pane.show();
    auto *notice = pane.findChild<QLabel *>(u"RemotePageNotice"_s);
    QVERIFY(notice);
    QCOMPARE(notice->text(), u"以管理员身份运行时不显示网页。"_s);

    const QUrl plain(m_server.base() + "/plain"_L1);
    pane.Navigate(plain);
    QVERIFY(notice->isVisible());
    QVERIFY(!pane.isEngineStarted());
    QCOMPARE(pane.url(), plain);

    // The about page is local and still opens, but its links do not reach the web
    QVERIFY(load(pane, WebPane::aboutAddress()));
    QVERIFY(!notice->isVisible());
    QVERIFY(pane.view()->isVisible());
    evaluate(pane, u"location.href = '%1'; 1"_s.arg(plain.toString()));
    QTRY_VERIFY(notice->isVisible());
    QVERIFY(!pane.view()->isVisible());
    QCOMPARE(pane.url(), plain);
    QVERIFY(!m_server.received("/plain"));
}

void tst_WebPane::startsHiddenOnBlankWithoutEngine()
{
    QWidget window;
    auto *pane = new WebPane(&window);
    pane->SetSilent(true);
    pane->Navigate(u"about:blank"_s);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));

    QVERIFY(!pane->isVisible());
    QVERIFY(pane->isSilent());
    QCOMPARE(pane->url(), QUrl(u"about:blank"_s));
    // The engine is not started for the blank page
    QVERIFY(!pane->isEngineStarted());
}

void tst_WebPane::profileIsOffTheRecord()
{
    WebPane pane;
    QWebEngineProfile *profile = pane.profile();
    QVERIFY(profile->isOffTheRecord());
    QCOMPARE(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
    QCOMPARE(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
    QCOMPARE(pane.page()->profile(), profile);
}

void tst_WebPane::searchReachesEngineWithEveryWord()
{
    const QString words = u"C&C #1 + 穿梭时空"_s;
    WebPane pane;
    pane.SetSilent(true);
    QVERIFY(load(pane, WebSearch::searchAddress(words)));

    QByteArray target;
    for (const QByteArray &received : m_server.targets()) {
        if (received.startsWith("/s?"))
            target = received;
    }
    QVERIFY2(target.startsWith("/s?wd="), target.constData());
    QVERIFY2(!target.contains('#') && !target.contains(' '), target.constData());
    const QUrlQuery query(QUrl(QString::fromLatin1(target)).query(QUrl::FullyEncoded));
    QCOMPARE(query.queryItems(QUrl::FullyDecoded).size(), 1);
    QCOMPARE(query.queryItemValue(u"wd"_s, QUrl::FullyDecoded), words);
    QCOMPARE(pane.url(), WebSearch::searchAddress(words));
}

void tst_WebPane::refusesOtherSchemes()
{
    WebPane pane;
    pane.SetSilent(true);
    pane.Navigate(u"file:///etc/hostname"_s);
    pane.Navigate(u"javascript:alert(1)"_s);
    pane.Navigate(u"ftp://127.0.0.1/x"_s);
    pane.Navigate(u"data:text/html,<p>x</p>"_s);
    QVERIFY(!pane.isEngineStarted());
    QCOMPARE(pane.url(), QUrl(u"about:blank"_s));

    QVERIFY(load(pane, QUrl(m_server.base() + "/plain"_L1)));
    pane.Navigate(u"file:///etc/hostname"_s);
    pane.Navigate(u"data:text/html,<p>x</p>"_s);
    QCOMPARE(pane.url(), QUrl(m_server.base() + "/plain"_L1));

    // The about page is local content, which the engine itself would let open files
    QVERIFY(load(pane, WebPane::aboutAddress()));
    QSignalSpy finished(pane.page(), &QWebEnginePage::loadFinished);
    evaluate(pane, u"location.href = 'file:///etc/hostname'; 1"_s);
    QVERIFY(finished.wait(20000));
    QCOMPARE(finished.last().value(0).toBool(), false);
    QCOMPARE(pane.url(), WebPane::aboutAddress());
}

void tst_WebPane::scriptDialogsRaiseNothingInSilentMode()
{
    m_server.serve("/dialogs", html("<script>"
                                    "alert('alert');"
                                    "var c = confirm('confirm');"
                                    "var p = prompt('prompt', 'default');"
                                    "document.title = 'after:' + c + ':' + p;"
                                    "</script>"));
    DialogWatch watch;
    WebPane pane;
    pane.SetSilent(true);
    pane.resize(640, 480);
    pane.show();
    QVERIFY(load(pane, QUrl(m_server.base() + "/dialogs"_L1)));

    QTRY_COMPARE(pane.page()->title(), u"after:false:null"_s);
    QCOMPARE(watch.seen(), QStringList());
}

void tst_WebPane::scriptDialogShowsWhenNotSilent()
{
    // Proves the watch above would see a dialog if one appeared
    m_server.serve("/loud", html("<script>alert('loud'); document.title = 'done';</script>"));
    DialogWatch watch;
    WebPane pane;
    pane.SetSilent(false);
    pane.resize(640, 480);
    pane.show();
    pane.Navigate(QString(m_server.base() + "/loud"_L1));
    QTRY_COMPARE_WITH_TIMEOUT(pane.page()->title(), u"done"_s, 20000);
    QVERIFY(!watch.seen().isEmpty());
}

void tst_WebPane::consoleOutputNotPrinted()
{
    m_server.serve("/console", html("<script>console.log('jyt-marker-log'); console.error('jyt-marker-error');"
                                    "undefinedFunction(); </script>"
                                    "<script>document.title = 'logged';</script>"));
    s_messages.clear();
    s_previousHandler = qInstallMessageHandler(recordMessage);
    {
        WebPane pane;
        pane.SetSilent(true);
        const bool loaded = load(pane, QUrl(m_server.base() + "/console"_L1));
        QTRY_COMPARE(pane.page()->title(), u"logged"_s);
        QVERIFY(loaded);
    }
    qInstallMessageHandler(s_previousHandler);
    const QStringList printed = s_messages.filter(u"jyt-marker"_s) + s_messages.filter(u"undefinedFunction"_s);
    QCOMPARE(printed, QStringList());
}

void tst_WebPane::newWindowsOpenInPane()
{
    m_server.serve("/opener", html("<a id=\"blank\" href=\"/linked\" target=\"_blank\">link</a>"));
    m_server.serve("/linked", html("<p>linked</p>"));
    m_server.serve("/opened", html("<p>opened</p>"));
    WebPane pane;
    pane.SetSilent(true);
    pane.resize(640, 480);
    pane.show();
    const QList<QWidget *> before = visibleWindowsBesides(&pane);

    QVERIFY(load(pane, QUrl(m_server.base() + "/opener"_L1)));
    evaluate(pane, u"window.open('/opened'); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(pane.url(), QUrl(m_server.base() + "/opened"_L1), 20000);
    QVERIFY(m_server.received("/opened"));

    QVERIFY(load(pane, QUrl(m_server.base() + "/opener"_L1)));
    evaluate(pane, u"document.getElementById('blank').click(); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(pane.url(), QUrl(m_server.base() + "/linked"_L1), 20000);
    QVERIFY(m_server.received("/linked"));

    QCOMPARE(visibleWindowsBesides(&pane), before);
}

void tst_WebPane::downloadsRefused()
{
    m_server.serve("/game.zip", {"application/zip", QByteArray(4096, 'z'),
                                 "Content-Disposition: attachment; filename=\"game.zip\"\r\n"});
    m_server.serve("/downloads", html("<a id=\"get\" href=\"/game.zip\" download>get</a>"));
    QTemporaryDir downloads;
    QVERIFY(downloads.isValid());
    WebPane pane;
    pane.SetSilent(true);
    pane.profile()->setDownloadPath(downloads.path());
    QList<QWebEngineDownloadRequest::DownloadState> states;
    connect(pane.profile(), &QWebEngineProfile::downloadRequested, this,
            [&](QWebEngineDownloadRequest *download) { states.append(download->state()); });
    QVERIFY(load(pane, QUrl(m_server.base() + "/downloads"_L1)));

    evaluate(pane, u"document.getElementById('get').click(); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 1, 20000);
    pane.Navigate(QString(m_server.base() + "/game.zip"_L1));
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, 20000);

    for (const auto state : states)
        QCOMPARE(state, QWebEngineDownloadRequest::DownloadCancelled);
    QCOMPARE(filesUnder(downloads.path()), QStringList());
    QCOMPARE(pane.url(), QUrl(m_server.base() + "/downloads"_L1));
}

void tst_WebPane::certificateErrorsRefusedSilently()
{
    QTemporaryDir keys;
    QProcess openssl;
    openssl.setWorkingDirectory(keys.path());
    openssl.start(u"openssl"_s, {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s,
                                 u"2"_s, u"-subj"_s, u"/CN=127.0.0.1"_s, u"-keyout"_s, u"key.pem"_s, u"-out"_s,
                                 u"cert.pem"_s});
    if (!openssl.waitForFinished(60000) || openssl.exitCode() != 0)
        QSKIP("openssl cannot make a test certificate here");
    QFile certFile(keys.filePath(u"cert.pem"_s));
    QFile keyFile(keys.filePath(u"key.pem"_s));
    QVERIFY(certFile.open(QIODevice::ReadOnly) && keyFile.open(QIODevice::ReadOnly));
    QSslConfiguration tls = QSslConfiguration::defaultConfiguration();
    tls.setLocalCertificate(QSslCertificate(certFile.readAll()));
    tls.setPrivateKey(QSslKey(keyFile.readAll(), QSsl::Rsa));
    QSslServer server;
    server.setSslConfiguration(tls);
    QVERIFY(server.listen(QHostAddress::LocalHost, 0));

    DialogWatch watch;
    WebPane pane;
    pane.SetSilent(true);
    pane.resize(640, 480);
    pane.show();
    QList<QUrl> refused;
    connect(pane.page(), &QWebEnginePage::certificateError, this,
            [&](const QWebEngineCertificateError &error) { refused.append(error.url()); });
    const QUrl address(u"https://127.0.0.1:%1/"_s.arg(server.serverPort()));
    QVERIFY(!load(pane, address));

    QCOMPARE(refused, QList<QUrl>{address});
    QCOMPARE(watch.seen(), QStringList());
}

void tst_WebPane::aboutPageShipped()
{

    WebPane pane;
    pane.SetSilent(true);
    QSignalSpy finished(pane.page(), &QWebEnginePage::loadFinished);
    pane.Navigate(WebPane::aboutAddress().toString());
    QVERIFY(finished.wait(20000));
    QVERIFY(finished.last().value(0).toBool());
    QCOMPARE(pane.url(), WebPane::aboutAddress());

    QCOMPARE(pane.page()->title(), u"关于聚游台"_s);
    QCOMPARE(evaluate(pane, u"document.getElementById('version').textContent"_s).toString(),
             u"版本 "_s + QLatin1String(JYT_VERSION));
    const QString text = evaluate(pane, u"document.body.innerText"_s).toString();
    QVERIFY(text.contains(u"本程序以 MIT 许可证发布"_s));
    QVERIFY(text.contains(u"共用的电脑"_s));
    for (const QString &usage : {u"运行游戏"_s, u"穿梭时空"_s, u"“cs”"_s, u"百度搜索"_s, u"右键"_s})
        QVERIFY2(text.contains(usage), qPrintable(usage));
}

void tst_WebPane::sessionLeavesNothingOnDisk()
{
    m_server.serve("/session", {"text/html; charset=utf-8",
                                "<script>localStorage.setItem('k', 'v'); document.cookie = 'js=1';"
                                "document.title = 'stored';</script>",
                                "Set-Cookie: login=secret; Max-Age=86400; Path=/\r\n"
                                "Cache-Control: max-age=86400\r\n"});
    {
        WebPane pane;
        pane.SetSilent(true);
        QVERIFY(load(pane, QUrl(m_server.base() + "/session"_L1)));
        QTRY_COMPARE(pane.page()->title(), u"stored"_s);
        QVERIFY(load(pane, WebSearch::searchAddress(u"secret words"_s)));
    }
    // HOME is a fresh folder for this process (see main)
    const QStringList written = filesUnder(QDir::homePath());
    for (const QString &name : {u"QtWebEngine"_s, u"Cookies"_s, u"History"_s, u"Local Storage"_s, u"Cache"_s})
        QCOMPARE(written.filter(name), QStringList());
}

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share"_L1).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache"_L1).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config"_L1).toLocal8Bit());
    WebPane::prepareEnvironment();
    QApplication app(argc, argv);
    tst_WebPane test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WebPane.moc"
