#include "widgets/BusyWork.h"

#include <QApplication>
#include <QEvent>
#include <QEventLoop>
#include <QLabel>
#include <QPointer>
#include <QThread>
#include <QTimer>

#include <exception>
#include <memory>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

// The window's close box waits until its work is done: the work's caller still refers to it.
class CloseHolder : public QObject
{
public:
    bool eventFilter(QObject *, QEvent *event) override
    {
        if (event->type() != QEvent::Close)
            return false;
        event->ignore();
        return true;
    }
};

QLabel *makeLabel(const QString &text, QWidget *parent, Qt::WindowFlags flags)
{
    auto *label = new QLabel(text, parent, flags);
    label->setObjectName(QString::fromLatin1(BusyWork::BusyTextName));
    label->setAlignment(Qt::AlignCenter);
    label->setAutoFillBackground(true);
    label->setFrameShape(QFrame::Box);
    label->setMargin(12);
    label->adjustSize();
    return label;
}

// The windows that held the focus, the latest last.
QList<QPointer<QWidget>> &recentWindows()
{
    static QList<QPointer<QWidget>> windows;
    windows.removeAll(nullptr);
    return windows;
}

// The window a note belongs to: the one in use. Right after a dialog closes no window is active for
// a moment, so the last one that had the focus and is still shown stands in, else the only one shown.
QWidget *noteOwner()
{
    if (QWidget *modal = QApplication::activeModalWidget())
        return modal;
    if (QWidget *active = QApplication::activeWindow())
        return active;
    const QList<QPointer<QWidget>> &recent = recentWindows();
    for (auto it = recent.crbegin(); it != recent.crend(); ++it) {
        if ((*it)->isVisible() && !(*it)->isMinimized())
            return *it;
    }
    QWidget *shown = nullptr;
    for (QWidget *each : QApplication::topLevelWidgets()) {
        const bool ordinary = each->windowType() == Qt::Window || each->windowType() == Qt::Dialog;
        if (!ordinary || !each->isVisible() || each->isMinimized())
            continue;
        if (shown)
            return nullptr;
        shown = each;
    }
    return shown;
}

QList<QPointer<QWidget>> &guardedWindows()
{
    static QList<QPointer<QWidget>> windows;
    windows.removeAll(nullptr);
    return windows;
}

// While it lives: the window and every guarded one take no input and cannot close, and the window
// shows the text; without a window a note of its own shows it.
class BusySign
{
public:
    BusySign(QWidget *window, const QString &text)
        : m_window(window)
    {
        QList<QPointer<QWidget>> held = guardedWindows();
        if (window && !held.contains(window))
            held.append(window);
        for (const QPointer<QWidget> &each : std::as_const(held)) {
            m_held.append({each, each->isEnabled()});
            each->setEnabled(false);
            each->installEventFilter(&m_closeHolder);
        }
        if (!window) {
            m_note.reset(makeLabel(text, nullptr, Qt::Tool | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint));
            // Centred over the window the operator was using, where the eye is.
            if (const QWidget *owner = noteOwner())
                m_note->move(owner->frameGeometry().center() - m_note->rect().center());
            m_note->show();
            return;
        }
        window->setCursor(Qt::BusyCursor);
        m_label = makeLabel(text, window, {});
        m_label->move(window->rect().center() - m_label->rect().center());
        m_label->show();
        m_label->raise();
    }

    ~BusySign()
    {
        delete m_label.data();
        if (m_window)
            m_window->unsetCursor();
        for (const auto &[each, wasEnabled] : std::as_const(m_held)) {
            if (!each)
                continue;
            each->removeEventFilter(&m_closeHolder);
            each->setEnabled(wasEnabled);
        }
    }

    BusySign(const BusySign &) = delete;
    BusySign &operator=(const BusySign &) = delete;

private:
    QPointer<QWidget> m_window;
    QPointer<QLabel> m_label;
    std::unique_ptr<QLabel> m_note;
    CloseHolder m_closeHolder;
    QList<std::pair<QPointer<QWidget>, bool>> m_held; // with whether each was enabled
};

} // namespace

BusyWork::BusyWork()
{
    if (auto *app = qobject_cast<QApplication *>(QCoreApplication::instance())) {
        connect(app, &QApplication::focusChanged, this, [](QWidget *, QWidget *now) {
            if (!now)
                return;
            QList<QPointer<QWidget>> &recent = recentWindows();
            recent.removeAll(now->window());
            recent.append(now->window());
            if (recent.size() > 8)
                recent.removeFirst();
        });
    }
}

BusyWork &BusyWork::instance()
{
    static BusyWork work;
    return work;
}

void BusyWork::guard(QWidget *window)
{
    guardedWindows().append(window);
}

bool BusyWork::running()
{
    return instance().m_running > 0;
}

void BusyWork::turnLoopUntil(QWidget *window, const QString &text, const std::function<void(bool &)> &start)
{
    const BusySign sign(window, text);
    // Turned by hand: an event loop's exec returns at once once the program was asked to end, and
    // the work's caller still needs its result then.
    bool done = false;
    start(done);
    while (!done)
        QApplication::processEvents(QEventLoop::WaitForMoreEvents);
}

void BusyWork::run(QWidget *window, const QString &text, const std::function<void()> &work)
{
    std::exception_ptr failure;
    std::unique_ptr<QThread> thread(QThread::create([&] {
        try {
            work();
        } catch (...) {
            failure = std::current_exception();
        }
    }));
    BusyWork &self = instance();
    ++self.m_running;
    QObject receiver; // on this thread, so that the end of the work wakes its loop
    turnLoopUntil(window, text, [&thread, &receiver](bool &done) {
        QObject::connect(thread.get(), &QThread::finished, &receiver, [&done] { done = true; });
        thread->start();
    });
    thread->wait();
    // Queued, so that what waited for the work runs after this caller has dealt with the result.
    if (--self.m_running == 0)
        QMetaObject::invokeMethod(
            &self,
            [&self] {
                if (!running())
                    Q_EMIT self.finished();
            },
            Qt::QueuedConnection);
    if (failure)
        std::rethrow_exception(failure);
}

void BusyWork::wait(QWidget *window, const QString &text, int milliseconds)
{
    QObject receiver;
    turnLoopUntil(window, text, [milliseconds, &receiver](bool &done) {
        QTimer::singleShot(milliseconds, &receiver, [&done] { done = true; });
    });
}
