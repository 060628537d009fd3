#include "WebBenchmark.h"

#include "DemoCatalogue.h"
#include "LocalWebServer.h"
#include "catalogue/Catalogue.h"
#include "main_window/ForMain.h"
#include "main_window/WebPane.h"
#include "tab_strip/SSTab.h"
#include "widgets/MessageBox.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QKeyEvent>
#include <QLineEdit>
#include <QScreen>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWindow>

#include <algorithm>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

// The page searched for fills the pane with this colour; the page before it is another one.
const QColor PageColour(0, 192, 96);
constexpr int WaitLimitMs = 60000;

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

double medianOf(std::vector<double> values)
{
    if (values.empty())
        return -1;
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

LocalWebServer::Reply page(const char *colour)
{
    return {"text/html; charset=utf-8",
            QByteArray("<!DOCTYPE html><html><head><style>html,body{margin:0;height:100%;background:") + colour
                + "}</style></head><body></body></html>",
            {}};
}

void wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

void type(QWidget *target, Qt::Key key, const QString &text)
{
    QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &press);
    QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, text);
    QApplication::sendEvent(target, &release);
}

bool canSeeScreen()
{
    return QGuiApplication::platformName() == "xcb"_L1;
}

// What the X server shows in the middle of the pane, the helper's window included.
bool screenShowsPage(const QWidget &pane)
{
    const QPoint centre = pane.mapToGlobal(pane.rect().center());
    const QImage image = QGuiApplication::primaryScreen()->grabWindow(0, centre.x(), centre.y(), 2, 2).toImage();
    return !image.isNull() && image.pixelColor(0, 0) == PageColour;
}

// Waits for the page Enter asked for: first the pane showing the helper's window, then, on X11,
// the page's own colour on the screen.
template<typename Start> WebBenchmark::Timing timeUntilShown(const WebPane &pane, Start start)
{
    WebBenchmark::Timing timing;
    QElapsedTimer clock;
    const QMetaObject::Connection shown = QObject::connect(&pane, &WebPane::loadFinished, &pane, [&] {
        if (timing.shownMs < 0 && !pane.isLoading())
            timing.shownMs = clock.nsecsElapsed() / 1e6;
    });
    // The screen is looked at between the menu's own events, every 2 ms
    QTimer poll;
    poll.setTimerType(Qt::PreciseTimer);
    poll.start(2);
    clock.start();
    start();
    while ((timing.shownMs < 0 || (canSeeScreen() && timing.paintedMs < 0)) && clock.elapsed() < WaitLimitMs) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        if (canSeeScreen() && timing.paintedMs < 0 && screenShowsPage(pane))
            timing.paintedMs = clock.nsecsElapsed() / 1e6;
    }
    QObject::disconnect(shown);
    return timing;
}

void loadOther(WebPane &pane, const QString &address)
{
    bool done = false;
    const QMetaObject::Connection loaded =
        QObject::connect(&pane, &WebPane::loadFinished, &pane, [&] { done = !pane.isLoading(); });
    pane.Navigate(address);
    QElapsedTimer clock;
    clock.start();
    while (!done && clock.elapsed() < WaitLimitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    QObject::disconnect(loaded);
}

} // namespace

WebBenchmark::WebBenchmark(int runs)
    : m_runs(runs)
    , m_server(std::make_unique<LocalWebServer>())
{
}

WebBenchmark::~WebBenchmark() = default;

std::unique_ptr<ForMain> WebBenchmark::openMenu() const
{
    auto window = std::make_unique<ForMain>();
    window->Form_Load();
    window->show();
    QElapsedTimer clock;
    clock.start();
    while (!(window->windowHandle() && window->windowHandle()->isExposed()) && clock.elapsed() < WaitLimitMs)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 100);
    // Its first turns after the paint are start-up's, not the search's
    wait(300);
    return window;
}

WebBenchmark::Timing WebBenchmark::firstSearch(int typingMs) const
{
    const std::unique_ptr<ForMain> window = openMenu();
    QLineEdit *box = window->TextNetSerch;
    // The first key starts the helper; the other letters follow evenly until Enter
    const QString words = u"juyoutai"_s;
    for (qsizetype i = 0; typingMs > 0 && i < words.size(); ++i) {
        type(box, Qt::Key(Qt::Key_A + (words.at(i).unicode() - u'a')), words.mid(i, 1));
        wait(int(typingMs / words.size()));
    }
    if (typingMs == 0)
        box->setText(words);
    return search(*window, words);
}

WebBenchmark::Timing WebBenchmark::search(ForMain &window, const QString &words) const
{
    window.TextNetSerch->setText(words);
    return timeUntilShown(*window.WebBrowserQN, [&] { type(window.TextNetSerch, Qt::Key_Return, u"\r"_s); });
}

void WebBenchmark::row(const QString &what, const std::function<Timing()> &measure, double floorMs,
                       double *median) const
{
    std::vector<double> shown;
    std::vector<double> painted;
    for (int i = 0; i < m_runs; ++i) {
        const Timing timing = measure();
        if (timing.shownMs >= 0)
            shown.push_back(timing.shownMs);
        if (timing.paintedMs >= 0)
            painted.push_back(timing.paintedMs);
    }
    const double shownMs = medianOf(shown);
    const double paintedMs = medianOf(painted);
    const double measured = paintedMs >= 0 ? paintedMs : shownMs;
    const auto figure = [](double ms) { return ms >= 0 ? QString::number(ms, 'f', 1) : u"-"_s; };
    out() << qSetFieldWidth(50) << Qt::left << what << qSetFieldWidth(10) << Qt::right << figure(shownMs)
          << figure(paintedMs)
          << (floorMs > 0 && measured >= 0 ? QString::number(measured / floorMs, 'f', 2) + u'x' : QString())
          << qSetFieldWidth(0) << Qt::endl;
    if (median)
        *median = measured;
}

int WebBenchmark::run()
{
    if (!m_server->start()) {
        out() << u"cannot listen on 127.0.0.1"_s << Qt::endl;
        return 1;
    }
    m_server->serve("/s", page("rgb(0,192,96)"));
    m_server->serve("/other", page("rgb(192,0,96)"));
    QTemporaryDir dir;
    DemoCatalogue::createGenerated(dir.path(), 100, 5);
    Catalogue::setProgramDirectory(dir.path());
    // The search goes where juyoutai.ini says, as on a PC
    QFile ini(dir.filePath(u"juyoutai.ini"_s));
    if (!ini.open(QIODevice::WriteOnly))
        return 1;
    ini.write("[web]\nsearch=" + m_server->base().toUtf8() + "/s?wd=\n");
    ini.close();
    MessageBox::setPresenter([](const MessageBox::Shown &) { return int(MessageBox::Ok); });

    QFile loadAverage(u"/proc/loadavg"_s);
    const QString load =
        loadAverage.open(QIODevice::ReadOnly) ? QString::fromLatin1(loadAverage.readAll().split(' ').value(0)) : u"?"_s;
    out() << u"\n== web search, a page on 127.0.0.1, median of %1 runs (ms), load average %2 =="_s.arg(m_runs).arg(load)
          << Qt::endl;
    out() << qSetFieldWidth(50) << Qt::left << u"Enter until"_s << qSetFieldWidth(10) << Qt::right << u"shown"_s
          << u"painted"_s << u"floor x"_s << qSetFieldWidth(0) << Qt::endl;

    // The floor: the same page in a helper that runs, after a tab click blanked the one before
    double floorMs = -1;
    {
        const std::unique_ptr<ForMain> window = openMenu();
        search(*window, u"warm"_s);
        row(
            u"floor: helper running, after a tab click"_s,
            [&] {
                loadOther(*window->WebBrowserQN, m_server->base() + "/other"_L1);
                window->MenuSStab->setTab(window->MenuSStab->Tab() == 1 ? 2 : 1);
                wait(300);
                return search(*window, u"juyoutai"_s);
            },
            0, &floorMs);
        row(
            u"helper running, pane shown on another page"_s,
            [&] {
                loadOther(*window->WebBrowserQN, m_server->base() + "/other"_L1);
                return search(*window, u"juyoutai"_s);
            },
            floorMs);
    }
    row(
        u"first search, typed in 1 s (helper from 1st key)"_s, [&] { return firstSearch(1000); }, floorMs);
    row(
        u"first search, helper started at Enter"_s, [&] { return firstSearch(0); }, floorMs);
    Catalogue::CloseCatalogue();
    return 0;
}
