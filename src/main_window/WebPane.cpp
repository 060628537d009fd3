#include "main_window/WebPane.h"

#include "platform/Process.h"
#include "web/WebHelperMessages.h"
#include "web/WebSearch.h"

#include <QApplication>
#include <QGuiApplication>
#include <QHideEvent>
#include <QJsonDocument>
#include <QJsonObject>
#include <QLabel>
#include <QProcess>
#include <QTimer>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

using namespace Qt::StringLiterals;
namespace M = WebHelperMessages;

namespace {
const QUrl &blankAddress()
{
    static const QUrl blank(u"about:blank"_s);
    return blank;
}

const QString RootNotice = u"以管理员身份运行时不显示网页。"_s;
const QString EndedNotice = u"网页组件已退出，请重新搜索。"_s;
const QString MissingNotice = u"找不到网页组件，请重新安装聚游台。"_s;
const QString LoadingNotice = u"正在打开网页…"_s;

// Only an X11 display can place another program's window inside ours
bool canEmbed()
{
    return QGuiApplication::platformName() == "xcb"_L1;
}
} // namespace

WebPane::WebPane(QWidget *parent)
    : QWidget(parent)
    , m_layout(new QVBoxLayout(this))
    , m_address(blankAddress())
    , m_remotePagesAllowed(remotePagesAllowed(Process::effectiveUserId()))
{
    m_layout->setContentsMargins(0, 0, 0, 0);
    // Shown, the pane hides the list below it wholly, the notices too
    setAutoFillBackground(true);
    m_notice = new QLabel(RootNotice, this);
    m_notice->setObjectName(u"RemotePageNotice"_s);
    m_notice->setAlignment(Qt::AlignCenter);
    m_notice->setWordWrap(true);
    m_notice->hide();
    m_layout->addWidget(m_notice);
    hide();
}

WebPane::~WebPane()
{
    stopHelper();
}

QUrl WebPane::aboutAddress()
{
    return WebSearch::aboutAddress();
}

bool WebPane::remotePagesAllowed(uint effectiveUserId)
{
    return WebSearch::remotePagesAllowed(effectiveUserId);
}

QString WebPane::helperProgram()
{
    return QCoreApplication::applicationDirPath() + "/juyoutai-web"_L1;
}

void WebPane::Navigate(const QString &address)
{
    Navigate(QUrl(address));
}

void WebPane::Navigate(const QUrl &address)
{
    const bool blank = address == blankAddress();
    if (!blank && !WebSearch::isAllowedAddress(address))
        return;
    m_address = address;
    m_shown.clear();
    m_loading = false;
    if (blank && !m_helper) {
        // No helper is started for the blank page
        hideNotice();
        return;
    }
    if (!blank && !m_remotePagesAllowed && address != aboutAddress()) {
        showNotice(RootNotice);
        return;
    }
    // The helper's window stays out of sight until this page has loaded; a helper that cannot
    // start says so instead
    m_loading = true;
    showNotice(LoadingNotice);
    startHelper();
    send({{M::Do, M::Navigate}, {M::Url, address.toString(QUrl::FullyEncoded)}, {M::Id, ++m_lastNavigation}});
}

void WebPane::SetSilent(bool silent)
{
    m_silent = silent;
    if (m_helper)
        send({{M::Do, M::Silent}, {M::On, silent}});
}

void WebPane::startEngine()
{
    startHelper();
}

void WebPane::startOnIntent(QWidget *control)
{
    m_intentControls.append(control);
    control->installEventFilter(this);
    connect(control, &QObject::destroyed, this, [this, control] { m_intentControls.removeAll(control); });
}

bool WebPane::isSilent() const
{
    return m_silent;
}

QUrl WebPane::url() const
{
    if (isNoticeShown() || m_shown.isEmpty())
        return m_address;
    return m_shown;
}

QString WebPane::title() const
{
    return m_title;
}

bool WebPane::isEngineStarted() const
{
    return m_helper != nullptr;
}

bool WebPane::isNoticeShown() const
{
    return !m_notice->isHidden();
}

bool WebPane::isLoading() const
{
    return m_loading;
}

qint64 WebPane::helperProcessId() const
{
    return m_helper ? m_helper->processId() : 0;
}

WId WebPane::helperWindowId() const
{
    return m_windowKnown ? m_windowId : 0;
}

int WebPane::runScript(const QString &script)
{
    startHelper();
    send({{M::Do, M::Run}, {M::Id, ++m_lastScript}, {M::Script, script}});
    return m_lastScript;
}

bool WebPane::eventFilter(QObject *watched, QEvent *event)
{
    const QEvent::Type type = event->type();
    if ((type == QEvent::FocusIn || type == QEvent::KeyPress || type == QEvent::Enter)
        && m_intentControls.contains(watched))
        startEngine();
    // The keyboard stays with the helper's window until a click elsewhere in the menu takes it back
    if (type == QEvent::MouseButtonPress && m_container && m_container->isVisible()) {
        auto *widget = qobject_cast<QWidget *>(watched);
        QWindow *menu = window()->windowHandle();
        if (widget && widget != m_container && widget->window() == window() && menu)
            menu->requestActivate();
    }
    return QWidget::eventFilter(watched, event);
}

void WebPane::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    showHelperWindow();
}

void WebPane::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // An embedded window goes out of sight with its container. The engine is not told: it goes on
    // drawing, so the blank page below is what the window holds when it is shown again, never the
    // last frame of the page before, which a hidden engine would keep until it draws anew
    if (m_helper && !canEmbed())
        send({{M::Do, M::Hide}});
    // Hidden by the menu, not with its window: the page goes on the next turn, unless the pane
    // is shown again meanwhile (a refresh of the list behind it)
    if (!event->spontaneous())
        QTimer::singleShot(0, this, &WebPane::blankIfHidden);
}

void WebPane::blankIfHidden()
{
    if (isHidden() && m_helper && m_address != blankAddress())
        Navigate(blankAddress());
}

void WebPane::resizeEvent(QResizeEvent *event)
{
    QWidget::resizeEvent(event);
    sendSize();
}

void WebPane::sendSize()
{
    // An embedded window is placed by its container alone: the helper, which takes its window
    // for a top-level one, would move it to the corner of the window it now lies in
    if (!canEmbed())
        send({{M::Do, M::Resize}, {M::Width, width()}, {M::Height, height()}});
}

void WebPane::startHelper()
{
    if (m_helper)
        return;
    m_pending.clear();
    m_title.clear();
    m_helper = new QProcess(this);
    m_helper->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    connect(m_helper, &QProcess::readyReadStandardOutput, this, &WebPane::readHelper);
    connect(m_helper, &QProcess::finished, this, [this] { helperGone(EndedNotice); });
    connect(m_helper, &QProcess::errorOccurred, this, [this](QProcess::ProcessError error) {
        if (error == QProcess::FailedToStart)
            helperGone(MissingNotice);
    });
    QStringList arguments;
    if (!m_remotePagesAllowed)
        arguments.append(u"--no-remote-pages"_s);
    m_helper->start(helperProgram(), arguments);
    send({{M::Do, M::Silent}, {M::On, m_silent}});
    sendSize();
}

void WebPane::stopHelper()
{
    if (!m_helper)
        return;
    QProcess *helper = m_helper;
    m_helper = nullptr;
    helper->disconnect(this);
    // The helper ends when its input closes; one that hangs is not waited for
    helper->closeWriteChannel();
    if (!helper->waitForFinished(2000)) {
        helper->kill();
        helper->waitForFinished(2000);
    }
    delete helper;
    // Its window is gone with it
    delete m_container;
    m_container = nullptr;
    m_windowKnown = false;
}

void WebPane::send(const QJsonObject &command)
{
    if (m_helper)
        m_helper->write(QJsonDocument(command).toJson(QJsonDocument::Compact) + '\n');
}

void WebPane::readHelper()
{
    if (!m_helper)
        return;
    m_pending += m_helper->readAllStandardOutput();
    qsizetype end;
    while ((end = m_pending.indexOf('\n')) >= 0) {
        const QJsonDocument line = QJsonDocument::fromJson(m_pending.left(end));
        m_pending.remove(0, end + 1);
        if (line.isObject())
            handleReport(line.object());
    }
}

void WebPane::handleReport(const QJsonObject &report)
{
    const QString event = report.value(M::Event).toString();
    // The helper's own blank start page is no answer to a navigation of ours
    const QUrl address(report.value(M::Url).toString(), QUrl::StrictMode);
    if (address == blankAddress() && m_address != blankAddress())
        return;
    if (event == M::Window) {
        embed(report.value(M::Id).toString());
    } else if (event == M::Url) {
        m_shown = address;
    } else if (event == M::Title) {
        m_title = report.value(M::Title).toString();
        Q_EMIT titleChanged(m_title);
    } else if (event == M::LoadFinished) {
        // A load that a later navigation of ours replaced is no answer to it
        if (report.value(M::Id).toInt() != m_lastNavigation)
            return;
        if (std::exchange(m_loading, false))
            hideNotice();
        Q_EMIT loadFinished(report.value(M::Ok).toBool());
    } else if (event == M::Refused) {
        m_address = address;
        m_loading = false;
        showNotice(RootNotice);
    } else if (event == M::Result) {
        Q_EMIT scriptResult(report.value(M::Id).toInt(), report.value(M::Value).toVariant());
    }
}

void WebPane::embed(const QString &windowId)
{
    m_windowKnown = true;
    m_windowId = WId(windowId.toULongLong());
    if (canEmbed()) {
        // The helper made its window anew; the old one is gone
        delete m_container;
        QWindow *window = QWindow::fromWinId(m_windowId);
        m_container = QWidget::createWindowContainer(window, this);
        m_container->setObjectName(u"WebView"_s);
        m_container->setVisible(!isNoticeShown());
        m_layout->addWidget(m_container);
        qApp->installEventFilter(this);
    }
    // The helper shows its window once it lies inside the pane
    QTimer::singleShot(0, this, &WebPane::showHelperWindow);
}

void WebPane::showHelperWindow()
{
    // An embedded window is out of sight while its container is: shown at once, the engine makes
    // its first frames while the player still types
    if (m_helper && m_windowKnown && (isVisible() || canEmbed()))
        send({{M::Do, M::Show}});
}

void WebPane::helperGone(const QString &notice)
{
    if (!m_helper)
        return;
    m_helper->disconnect(this);
    m_helper->deleteLater();
    m_helper = nullptr;
    delete m_container;
    m_container = nullptr;
    m_windowKnown = false;
    m_shown.clear();
    m_loading = false;
    showNotice(notice);
    Q_EMIT helperEnded();
}

void WebPane::showNotice(const QString &text)
{
    m_notice->setText(text);
    m_notice->show();
    if (m_container)
        m_container->hide();
}

void WebPane::hideNotice()
{
    m_notice->hide();
    if (m_container)
        m_container->show();
}
