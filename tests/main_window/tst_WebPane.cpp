#include "LocalWebServer.h"
#include "main_window/WebPane.h"
#include "web/WebSearch.h"

#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QUrlQuery>

#include <xcb/xcb.h>

#include <csignal>
#include <functional>
#include <memory>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

void restoreRootWebOptIn(const QByteArray &saved)
{
    if (saved.isNull())
        qunsetenv("JUYOUTAI_ALLOW_ROOT_WEB");
    else
        qputenv("JUYOUTAI_ALLOW_ROOT_WEB", saved);
}

bool processRuns(qint64 pid)
{
    return QFileInfo::exists(u"/proc/%1"_s.arg(pid));
}

bool showsRed(const QImage &image)
{
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x) {
            if (image.pixelColor(x, y) == Qt::red)
                return true;
        }
    }
    return false;
}

// Where the X server shows a window, in the coordinates of a top-level one; empty while unmapped.
QRect placeOnXServer(WId window, WId topLevel)
{
    auto *x11 = qApp->nativeInterface<QNativeInterface::QX11Application>();
    xcb_connection_t *connection = x11->connection();
    const auto xid = xcb_window_t(window);
    std::unique_ptr<xcb_get_window_attributes_reply_t, decltype(&free)> attributes(
        xcb_get_window_attributes_reply(connection, xcb_get_window_attributes(connection, xid), nullptr), &free);
    std::unique_ptr<xcb_get_geometry_reply_t, decltype(&free)> geometry(
        xcb_get_geometry_reply(connection, xcb_get_geometry(connection, xid), nullptr), &free);
    std::unique_ptr<xcb_translate_coordinates_reply_t, decltype(&free)> origin(
        xcb_translate_coordinates_reply(
            connection, xcb_translate_coordinates(connection, xid, xcb_window_t(topLevel), 0, 0), nullptr),
        &free);
    if (!attributes || !geometry || !origin || attributes->map_state != XCB_MAP_STATE_VIEWABLE)
        return {};
    return {origin->dst_x, origin->dst_y, geometry->width, geometry->height};
}

} // namespace

// The pane drives the web helper program; these tests reach the page only through it.
class tst_WebPane : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void remotePagesNeedOptInForRoot();
    void rootSeesNoticeInsteadOfRemotePages();
    void startsHiddenOnBlankWithoutEngine();
    void searchReachesEngineWithEveryWord();
    void refusesOtherSchemes();
    void newWindowsOpenInPane();
    void downloadsLeaveThePageAndTheDiskAlone();
    void aboutPageShipped();
    void sessionLeavesNothingOnDisk();
    void killedHelperIsRestartedByTheNextNavigation();
    void hiddenPaneForgetsItsPageAndShowsOnlyTheNext();
    void destroyedPaneLeavesNoHelper();
    void helperEndsWhenTheMenuIsGone();
    void helperWindowStaysInThePaneOnTheXServer();

private:
    void checkPlaceOnXServer(WebPane &pane);
    bool load(WebPane &pane, const QUrl &address);
    QVariant evaluate(WebPane &pane, const QString &script);

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
    QSignalSpy finished(&pane, &WebPane::loadFinished);
    pane.Navigate(address.toString(QUrl::FullyEncoded));
    if (!finished.wait(30000))
        return false;
    return finished.last().value(0).toBool();
}

QVariant tst_WebPane::evaluate(WebPane &pane, const QString &script)
{
    QSignalSpy results(&pane, &WebPane::scriptResult);
    const int id = pane.runScript(script);
    for (int waits = 0; waits < 20; ++waits) {
        for (const QList<QVariant> &result : std::as_const(results)) {
            if (result.value(0).toInt() == id)
                return result.value(1);
        }
        results.wait(1000);
    }
    qWarning("script gave no result: %s", qPrintable(script));
    return {};
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

    // The about page is local and still opens, but its links do not reach the web, even though
    // the helper starts with the opt-in set again
    QVERIFY(load(pane, WebPane::aboutAddress()));
    QVERIFY(!notice->isVisible());
    evaluate(pane, u"location.href = '%1'; 1"_s.arg(plain.toString()));
    QTRY_VERIFY(notice->isVisible());
    QCOMPARE(notice->text(), u"以管理员身份运行时不显示网页。"_s);
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
    // No helper is started for the blank page
    QVERIFY(!pane->isEngineStarted());
    QCOMPARE(pane->helperProcessId(), 0);
}

void tst_WebPane::searchReachesEngineWithEveryWord()
{
    const QString words = u"C&C #1 + 穿梭时空"_s;
    WebPane pane;
    pane.SetSilent(true);
    QVERIFY(load(pane, WebSearch::searchAddress(words)));
    QVERIFY(pane.helperProcessId() > 0);

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
    QSignalSpy finished(&pane, &WebPane::loadFinished);
    evaluate(pane, u"location.href = 'file:///etc/hostname'; 1"_s);
    QTRY_VERIFY_WITH_TIMEOUT(!finished.isEmpty(), 20000);
    QCOMPARE(finished.last().value(0).toBool(), false);
    QCOMPARE(pane.url(), WebPane::aboutAddress());
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

    QVERIFY(load(pane, QUrl(m_server.base() + "/opener"_L1)));
    QSignalSpy openedLoaded(&pane, &WebPane::loadFinished);
    evaluate(pane, u"window.open('/opened'); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(pane.url(), QUrl(m_server.base() + "/opened"_L1), 20000);
    QVERIFY(m_server.received("/opened"));
    // Its load reports after its address; left pending, it would end the next load's wait early.
    QTRY_VERIFY_WITH_TIMEOUT(!openedLoaded.isEmpty(), 20000);

    QVERIFY(load(pane, QUrl(m_server.base() + "/opener"_L1)));
    evaluate(pane, u"document.getElementById('blank').click(); 1"_s);
    QTRY_COMPARE_WITH_TIMEOUT(pane.url(), QUrl(m_server.base() + "/linked"_L1), 20000);
    QVERIFY(m_server.received("/linked"));
}

void tst_WebPane::downloadsLeaveThePageAndTheDiskAlone()
{
    m_server.serve(
        "/game.zip",
        {"application/zip", QByteArray(4096, 'z'), "Content-Disposition: attachment; filename=\"game.zip\"\r\n"});
    m_server.serve("/downloads", html("<p>downloads</p>"));
    WebPane pane;
    pane.SetSilent(true);
    const QUrl page(m_server.base() + "/downloads"_L1);
    QVERIFY(load(pane, page));

    pane.Navigate(QString(m_server.base() + "/game.zip"_L1));
    QTRY_VERIFY_WITH_TIMEOUT(m_server.received("/game.zip"), 20000);
    QTRY_COMPARE_WITH_TIMEOUT(pane.url(), page, 20000);
    // HOME is a fresh folder for this process and the helper (see main)
    QCOMPARE(filesUnder(QDir::homePath()).filter(u"game.zip"_s), QStringList());
}

void tst_WebPane::aboutPageShipped()
{
    WebPane pane;
    pane.SetSilent(true);
    QVERIFY(load(pane, WebPane::aboutAddress()));
    QCOMPARE(pane.url(), WebPane::aboutAddress());

    QTRY_COMPARE(pane.title(), u"关于聚游台"_s);
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
    m_server.serve("/session",
                   {"text/html; charset=utf-8",
                    "<script>localStorage.setItem('k', 'v'); document.cookie = 'js=1';"
                    "document.title = 'stored';</script>",
                    "Set-Cookie: login=secret; Max-Age=86400; Path=/\r\n"
                    "Cache-Control: max-age=86400\r\n"});
    {
        WebPane pane;
        pane.SetSilent(true);
        QVERIFY(load(pane, QUrl(m_server.base() + "/session"_L1)));
        QTRY_COMPARE(pane.title(), u"stored"_s);
        QVERIFY(load(pane, WebSearch::searchAddress(u"secret words"_s)));
    }
    // HOME is a fresh folder for this process and the helper (see main)
    const QStringList written = filesUnder(QDir::homePath());
    for (const QString &name : {u"QtWebEngine"_s, u"Cookies"_s, u"History"_s, u"Local Storage"_s, u"Cache"_s})
        QCOMPARE(written.filter(name), QStringList());
}

void tst_WebPane::killedHelperIsRestartedByTheNextNavigation()
{
    QWidget window;
    auto *list = new QWidget(&window); // stands for the game list the pane lies over
    list->setAutoFillBackground(true);
    list->setPalette(QPalette(Qt::red));
    list->setGeometry(0, 0, 640, 480);
    WebPane &pane = *new WebPane(&window);
    pane.SetSilent(true);
    pane.resize(640, 480);
    window.show();
    pane.show();
    QVERIFY(load(pane, QUrl(m_server.base() + "/plain"_L1)));
    const qint64 first = pane.helperProcessId();
    QVERIFY(first > 0);

    QSignalSpy ended(&pane, &WebPane::helperEnded);
    QCOMPARE(::kill(pid_t(first), SIGKILL), 0);
    QVERIFY(ended.wait(10000));
    auto *notice = pane.findChild<QLabel *>(u"RemotePageNotice"_s);
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), u"网页组件已退出，请重新搜索。"_s);
    QVERIFY(!pane.isEngineStarted());
    QVERIFY(!showsRed(window.grab(pane.geometry()).toImage()));

    QVERIFY(load(pane, WebSearch::searchAddress(u"again"_s)));
    QVERIFY(pane.helperProcessId() > 0 && pane.helperProcessId() != first);
    QVERIFY(!notice->isVisible());
    QCOMPARE(pane.url(), WebSearch::searchAddress(u"again"_s));
}

// The next player must not see the last one's page, not even while the next search loads
void tst_WebPane::hiddenPaneForgetsItsPageAndShowsOnlyTheNext()
{
    m_server.serve("/first", html("<p>first</p>"));
    QWidget window;
    WebPane &pane = *new WebPane(&window);
    pane.SetSilent(true);
    pane.resize(640, 480);
    window.show();
    pane.show();
    QVERIFY(load(pane, QUrl(m_server.base() + "/first"_L1)));
    auto *notice = pane.findChild<QLabel *>(u"RemotePageNotice"_s);
    QVERIFY(!notice->isVisible());

    // As a tab click does: the page is gone in the helper, with no way back to it
    pane.hide();
    QTRY_COMPARE(evaluate(pane, u"location.href"_s).toString(), u"about:blank"_s);
    QCOMPARE(evaluate(pane, u"history.length"_s).toInt(), 1);

    QSignalSpy finished(&pane, &WebPane::loadFinished);
    pane.Navigate(WebSearch::searchAddress(u"next"_s));
    pane.show();
    QVERIFY(pane.isLoading());
    QVERIFY(notice->isVisible());
    QCOMPARE(notice->text(), u"正在打开网页…"_s);
    if (QWidget *view = pane.findChild<QWidget *>(u"WebView"_s))
        QVERIFY(!view->isVisible());
    QVERIFY(finished.wait(30000));
    QVERIFY(!pane.isLoading());
    QVERIFY(!notice->isVisible());
    QCOMPARE(pane.url(), WebSearch::searchAddress(u"next"_s));
}

void tst_WebPane::destroyedPaneLeavesNoHelper()
{
    qint64 helper = 0;
    {
        WebPane pane;
        pane.SetSilent(true);
        QVERIFY(load(pane, QUrl(m_server.base() + "/plain"_L1)));
        helper = pane.helperProcessId();
        QVERIFY(helper > 0 && processRuns(helper));
    }
    // Waited for by the pane, so it is gone at once, not a zombie left for later
    QVERIFY(!processRuns(helper));
}

void tst_WebPane::helperEndsWhenTheMenuIsGone()
{
    // A menu that is killed closes nothing itself; its end of the pipe closes with it
    QProcess helper;
    helper.start(WebPane::helperProgram());
    QVERIFY(helper.waitForStarted(10000));
    QTRY_VERIFY_WITH_TIMEOUT(helper.canReadLine(), 20000);
    QVERIFY(helper.readLine().contains("\"window\""));
    helper.closeWriteChannel();
    QVERIFY(helper.waitForFinished(10000));
    QCOMPARE(helper.exitStatus(), QProcess::NormalExit);
    QCOMPARE(helper.exitCode(), 0);
}

// Run on an X server by its own CTest entry; the page must cover the pane exactly, never the
// rows above it, whatever the window's size and however often the pane and helper come and go.
void tst_WebPane::helperWindowStaysInThePaneOnTheXServer()
{
    if (QGuiApplication::platformName() != "xcb"_L1)
        QSKIP("needs an X server: QT_QPA_PLATFORM=xcb");
    QWidget window;
    auto *pane = new WebPane(&window);
    pane->SetSilent(true);
    // Like the menu's list, the pane keeps its share of the window below the tab and search rows
    const auto resizeWindow = [&](const QSize &size) {
        window.resize(size);
        pane->setGeometry(0, size.height() * 76 / 672, size.width(), size.height() * 560 / 672);
    };
    resizeWindow({1011, 672});
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    pane->show();
    QVERIFY(load(*pane, QUrl(m_server.base() + "/plain"_L1)));
    const auto restartHelper = [&] {
        QSignalSpy ended(pane, &WebPane::helperEnded);
        QCOMPARE(::kill(pid_t(pane->helperProcessId()), SIGKILL), 0);
        QVERIFY(ended.wait(10000));
        QVERIFY(load(*pane, QUrl(m_server.base() + "/plain"_L1)));
    };
    const std::function<void()> steps[] = {
        [] {},
        [&] {
            resizeWindow({800, 600});
        },
        [&] {
            resizeWindow({1297, 900});
        },
        [&] {
            resizeWindow({1011, 672});
        },
        [&] {
            pane->hide();
            resizeWindow({1200, 800});
            pane->show();
        },
        [&] {
            restartHelper();
            resizeWindow({900, 640});
        },
    };
    for (const std::function<void()> &step : steps) {
        step();
        checkPlaceOnXServer(*pane);
        if (QTest::currentTestFailed())
            return;
    }
}

void tst_WebPane::checkPlaceOnXServer(WebPane &pane)
{
    // A script's answer comes after every command sent before it
    QCOMPARE(evaluate(pane, u"1"_s).toInt(), 1);
    QVERIFY(pane.helperWindowId() != 0);
    const WId topLevel = pane.window()->winId();
    QTRY_COMPARE(placeOnXServer(pane.helperWindowId(), topLevel), pane.geometry());
    QTRY_COMPARE(evaluate(pane, u"innerWidth"_s).toInt(), pane.width());
    QCOMPARE(placeOnXServer(pane.helperWindowId(), topLevel), pane.geometry());
}

int main(int argc, char **argv)
{
    QTemporaryDir home;
    qputenv("HOME", home.path().toLocal8Bit());
    qputenv("XDG_DATA_HOME", (home.path() + "/.local/share"_L1).toLocal8Bit());
    qputenv("XDG_CACHE_HOME", (home.path() + "/.cache"_L1).toLocal8Bit());
    qputenv("XDG_CONFIG_HOME", (home.path() + "/.config"_L1).toLocal8Bit());
    QApplication app(argc, argv);
    tst_WebPane test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_WebPane.moc"
