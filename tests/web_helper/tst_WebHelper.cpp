#include "LocalWebServer.h"
#include "web/WebSearch.h"
#include "web_helper/SilentWebPage.h"
#include "web_helper/WebHelper.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QJsonObject>
#include <QProcess>
#include <QSignalSpy>
#include <QSslConfiguration>
#include <QSslKey>
#include <QSslServer>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWebEngineCertificateError>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineUrlScheme>
#include <QWebEngineView>

#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

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

QStringList s_messages;
QtMessageHandler s_previousHandler = nullptr;

void recordMessage(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    s_messages.append(message);
    if (s_previousHandler)
        s_previousHandler(type, context, message);
}

QJsonObject command(const QString &action, const QJsonObject &arguments = {})
{
    QJsonObject result = arguments;
    result.insert(u"do"_s, action);
    return result;
}

} // namespace

// The hardening of the page inside the helper program, checked in this process.
class tst_WebHelper : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void prepareEnvironmentTurnsSandboxOffOnlyForRoot();
    void profileIsOffTheRecord();
    void reportsWindowAddressAndLoads();
    void blankForgetsTheSession();
    void scriptDialogsRaiseNothingInSilentMode();
    void scriptDialogShowsWhenNotSilent();
    void consoleOutputNotPrinted();
    void downloadsRefused();
    void certificateErrorsRefusedSilently();

private:
    bool load(WebHelper &helper, const QUrl &address);
    QVariant evaluate(WebHelper &helper, const QString &script);

    LocalWebServer m_server;
    int m_navigations = 0;
};

void tst_WebHelper::initTestCase()
{
    QVERIFY(m_server.start());
}

bool tst_WebHelper::load(WebHelper &helper, const QUrl &address)
{
    QSignalSpy finished(helper.page(), &QWebEnginePage::loadFinished);
    helper.handle(
        command(u"navigate"_s, {{u"url"_s, address.toString(QUrl::FullyEncoded)}, {u"id"_s, ++m_navigations}}));
    // The helper's own blank start page may end first
    while (finished.wait(20000)) {
        if (helper.page()->url() != QUrl(u"about:blank"_s))
            return finished.last().value(0).toBool();
    }
    return false;
}

QVariant tst_WebHelper::evaluate(WebHelper &helper, const QString &script)
{
    QVariant result;
    bool done = false;
    helper.page()->runJavaScript(script, [&](const QVariant &value) {
        result = value;
        done = true;
    });
    if (!QTest::qWaitFor([&] { return done; }, 10000))
        qWarning("script gave no result: %s", qPrintable(script));
    return result;
}

void tst_WebHelper::prepareEnvironmentTurnsSandboxOffOnlyForRoot()
{
    const bool wasSet = qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX");
    const QByteArray saved = qgetenv("QTWEBENGINE_DISABLE_SANDBOX");
    qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");
    WebHelper::prepareEnvironment();
    const bool root = ::geteuid() == 0;
    QCOMPARE(qEnvironmentVariableIsSet("QTWEBENGINE_DISABLE_SANDBOX"), root);
    if (root)
        QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("1"));

    // A choice made outside the program is left alone
    qputenv("QTWEBENGINE_DISABLE_SANDBOX", "0");
    WebHelper::prepareEnvironment();
    QCOMPARE(qgetenv("QTWEBENGINE_DISABLE_SANDBOX"), QByteArray("0"));
    if (wasSet)
        qputenv("QTWEBENGINE_DISABLE_SANDBOX", saved);
    else
        qunsetenv("QTWEBENGINE_DISABLE_SANDBOX");

    QCOMPARE(QWebEngineUrlScheme::schemeByName("jyt").name(), QByteArray("jyt"));
}

void tst_WebHelper::profileIsOffTheRecord()
{
    WebHelper helper(true);
    QWebEngineProfile *profile = helper.profile();
    QVERIFY(profile->isOffTheRecord());
    QCOMPARE(profile->httpCacheType(), QWebEngineProfile::MemoryHttpCache);
    QCOMPARE(profile->persistentCookiesPolicy(), QWebEngineProfile::NoPersistentCookies);
    QCOMPARE(helper.page()->profile(), profile);
}

void tst_WebHelper::reportsWindowAddressAndLoads()
{
    m_server.serve("/plain", html("<p>plain</p>"));
    WebHelper helper(true);
    QList<QJsonObject> reports;
    connect(&helper, &WebHelper::report, this, [&](const QJsonObject &report) { reports.append(report); });
    helper.announce();
    QCOMPARE(reports.value(0).value(u"event"_s).toString(), u"window"_s);
    QCOMPARE(reports.value(0).value(u"id"_s).toString(), QString::number(helper.view()->winId()));

    helper.handle(command(u"resize"_s, {{u"width"_s, 320}, {u"height"_s, 200}}));
    QCOMPARE(helper.view()->size(), QSize(320, 200));
    const QUrl plain(m_server.base() + "/plain"_L1);
    QVERIFY(load(helper, plain));
    QTRY_VERIFY(reports.contains(QJsonObject{
        {u"event"_s, u"loadFinished"_s}, {u"ok"_s, true}, {u"url"_s, plain.toString()}, {u"id"_s, m_navigations}}));
    QVERIFY(reports.contains(QJsonObject{{u"event"_s, u"url"_s}, {u"url"_s, plain.toString()}}));

    // The helper keeps to the menu's rule on its own
    helper.handle(command(u"navigate"_s, {{u"url"_s, u"file:///etc/hostname"_s}}));
    QTest::qWait(0);
    QCOMPARE(helper.page()->url(), plain);
}

void tst_WebHelper::blankForgetsTheSession()
{
    // The page tells what the browser kept of it, then leaves its marks
    m_server.serve("/marks",
                   html("<script>"
                        "document.title = 'cookie=' + document.cookie + ' stored=' + localStorage.getItem('who');"
                        "document.cookie = 'who=one; max-age=3600; path=/';"
                        "localStorage.setItem('who', 'one');"
                        "</script>"));
    const QUrl marks(m_server.base() + "/marks"_L1);
    const QString clean = u"cookie= stored=null"_s;
    WebHelper helper(true);
    QList<QJsonObject> reports;
    connect(&helper, &WebHelper::report, this, [&](const QJsonObject &report) { reports.append(report); });
    QVERIFY(load(helper, marks));
    QTRY_COMPARE(helper.page()->title(), clean);
    // Proves the page would see marks that were kept
    QVERIFY(load(helper, marks));
    QTRY_COMPARE(helper.page()->title(), u"cookie=who=one stored=one"_s);

    const int blank = ++m_navigations;
    helper.handle(command(u"navigate"_s, {{u"url"_s, u"about:blank"_s}, {u"id"_s, blank}}));
    QTRY_VERIFY_WITH_TIMEOUT(
        reports.contains(QJsonObject{
            {u"event"_s, u"loadFinished"_s}, {u"ok"_s, true}, {u"url"_s, u"about:blank"_s}, {u"id"_s, blank}}),
        20000);
    QVERIFY(load(helper, marks));
    QTRY_COMPARE(helper.page()->title(), clean);
    QVERIFY(reports.contains(QJsonObject{
        {u"event"_s, u"loadFinished"_s}, {u"ok"_s, true}, {u"url"_s, marks.toString()}, {u"id"_s, m_navigations}}));
}

void tst_WebHelper::scriptDialogsRaiseNothingInSilentMode()
{
    m_server.serve("/dialogs",
                   html("<script>"
                        "alert('alert');"
                        "var c = confirm('confirm');"
                        "var p = prompt('prompt', 'default');"
                        "document.title = 'after:' + c + ':' + p;"
                        "</script>"));
    DialogWatch watch;
    WebHelper helper(true);
    helper.handle(command(u"silent"_s, {{u"on"_s, true}}));
    helper.handle(command(u"show"_s));
    QVERIFY(load(helper, QUrl(m_server.base() + "/dialogs"_L1)));

    QTRY_COMPARE(helper.page()->title(), u"after:false:null"_s);
    QCOMPARE(watch.seen(), QStringList());
}

void tst_WebHelper::scriptDialogShowsWhenNotSilent()
{
    // Proves the watch above would see a dialog if one appeared
    m_server.serve("/loud", html("<script>alert('loud'); document.title = 'done';</script>"));
    DialogWatch watch;
    WebHelper helper(true);
    helper.handle(command(u"silent"_s, {{u"on"_s, false}}));
    helper.handle(command(u"show"_s));
    helper.handle(command(u"navigate"_s, {{u"url"_s, m_server.base() + "/loud"_L1}}));
    QTRY_COMPARE_WITH_TIMEOUT(helper.page()->title(), u"done"_s, 20000);
    QVERIFY(!watch.seen().isEmpty());
}

void tst_WebHelper::consoleOutputNotPrinted()
{
    m_server.serve("/console",
                   html("<script>console.log('jyt-marker-log'); console.error('jyt-marker-error');"
                        "undefinedFunction(); </script>"
                        "<script>document.title = 'logged';</script>"));
    s_messages.clear();
    s_previousHandler = qInstallMessageHandler(recordMessage);
    {
        WebHelper helper(true);
        helper.handle(command(u"silent"_s, {{u"on"_s, true}}));
        const bool loaded = load(helper, QUrl(m_server.base() + "/console"_L1));
        QTRY_COMPARE(helper.page()->title(), u"logged"_s);
        QVERIFY(loaded);
    }
    qInstallMessageHandler(s_previousHandler);
    const QStringList printed = s_messages.filter(u"jyt-marker"_s) + s_messages.filter(u"undefinedFunction"_s);
    QCOMPARE(printed, QStringList());
}

void tst_WebHelper::downloadsRefused()
{
    m_server.serve(
        "/game.zip",
        {"application/zip", QByteArray(4096, 'z'), "Content-Disposition: attachment; filename=\"game.zip\"\r\n"});
    m_server.serve("/downloads", html("<a id=\"get\" href=\"/game.zip\" download>get</a>"));
    QTemporaryDir downloads;
    QVERIFY(downloads.isValid());
    WebHelper helper(true);
    helper.handle(command(u"silent"_s, {{u"on"_s, true}}));
    helper.profile()->setDownloadPath(downloads.path());
    QList<QWebEngineDownloadRequest::DownloadState> states;
    connect(helper.profile(), &QWebEngineProfile::downloadRequested, this,
            [&](QWebEngineDownloadRequest *download) { states.append(download->state()); });
    QList<QJsonObject> reports;
    connect(&helper, &WebHelper::report, this, [&](const QJsonObject &report) { reports.append(report); });
    const QUrl page(m_server.base() + "/downloads"_L1);
    QVERIFY(load(helper, page));

    evaluate(helper, u"document.getElementById('get').click(); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 1, 20000);
    helper.handle(command(u"navigate"_s, {{u"url"_s, m_server.base() + "/game.zip"_L1}}));
    QTRY_COMPARE_WITH_TIMEOUT(states.size(), 2, 20000);

    for (const auto state : states)
        QCOMPARE(state, QWebEngineDownloadRequest::DownloadCancelled);
    QCOMPARE(filesUnder(downloads.path()), QStringList());
    QCOMPARE(helper.page()->url(), page);
    // The menu hears that the page stayed
    QJsonObject lastAddress;
    for (const QJsonObject &report : std::as_const(reports)) {
        if (report.value(u"event"_s) == u"url"_s)
            lastAddress = report;
    }
    QCOMPARE(lastAddress.value(u"url"_s).toString(), page.toString());
}

void tst_WebHelper::certificateErrorsRefusedSilently()
{
    QTemporaryDir keys;
    QProcess openssl;
    openssl.setWorkingDirectory(keys.path());
    openssl.start(u"openssl"_s,
                  {u"req"_s, u"-x509"_s, u"-newkey"_s, u"rsa:2048"_s, u"-nodes"_s, u"-days"_s, u"2"_s, u"-subj"_s,
                   u"/CN=127.0.0.1"_s, u"-keyout"_s, u"key.pem"_s, u"-out"_s, u"cert.pem"_s});
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
    WebHelper helper(true);
    helper.handle(command(u"silent"_s, {{u"on"_s, true}}));
    helper.handle(command(u"show"_s));
    QList<QUrl> refused;
    connect(helper.page(), &QWebEnginePage::certificateError, this,
            [&](const QWebEngineCertificateError &error) { refused.append(error.url()); });
    const QUrl address(u"https://127.0.0.1:%1/"_s.arg(server.serverPort()));
    QVERIFY(!load(helper, address));

    QCOMPARE(refused, QList<QUrl>{address});
    QCOMPARE(watch.seen(), QStringList());
}

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share"_L1).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache"_L1).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config"_L1).toLocal8Bit());
    WebHelper::prepareEnvironment();
    QApplication app(argc, argv);
    tst_WebHelper test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WebHelper.moc"
