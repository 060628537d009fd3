#include "main_window/ForMrun.h"

#include "main_window/HeldKeys.h"
#include "platform/Shell.h"
#include "widgets/MessageBox.h"
#include "widgets/Twips.h"

#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>

using namespace Qt::StringLiterals;

namespace {

std::function<qint64()> &guardClock()
{
    static std::function<qint64()> now;
    return now;
}

qint64 now()
{
    if (guardClock())
        return guardClock()();
    static const QElapsedTimer steady = [] {
        QElapsedTimer timer;
        timer.start();
        return timer;
    }();
    return steady.elapsed();
}

// The last game started from a dialog and when.
struct LastStart
{
    QString file;
    QString arguments;
    QString directory;
    qint64 at = 0;
    bool any = false;
};

LastStart &lastStart()
{
    static LastStart last;
    return last;
}

} // namespace

void ForMrun::setClock(std::function<qint64()> source)
{
    guardClock() = std::move(source);
    lastStart() = {};
}

ForMrun::ForMrun(QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
{
    setObjectName(u"ForMrun"_s);
    setModal(true);
    setFixedSize(Twips::size(6300, 3120));
    createControls();
}

void ForMrun::createControls()
{
    m_label1 = new QLabel(u"欢迎光临"_s, this);
    m_label1->setObjectName(u"Label1"_s);
    m_label1->setGeometry(Twips::rect(120, 120, 6015, 2175));
    m_label1->setAlignment(Qt::AlignCenter);
    QFont welcome = m_label1->font();
    welcome.setPointSize(36);
    welcome.setBold(true);
    m_label1->setFont(welcome);

    m_label2 = new QLabel(u"聚游台 "_s + QLatin1String(JYT_VERSION), this);
    m_label2->setObjectName(u"Label2"_s);
    m_label2->setGeometry(Twips::rect(120, 2640, 3855, 255));

    m_cmdRunGame = new QPushButton(u"运行游戏"_s, this);
    m_cmdRunGame->setObjectName(u"CmdRunGame"_s);
    m_cmdRunGame->setGeometry(Twips::rect(4680, 2400, 1455, 615));
    m_cmdRunGame->setDefault(true);
    // The dialog takes key presses the button leaves; both see auto-repeats here first.
    installEventFilter(this);
    m_cmdRunGame->installEventFilter(this);
    connect(m_cmdRunGame, &QPushButton::clicked, this, &ForMrun::CmdRunGame_Click);
}

void ForMrun::setGame(const QString &name, const QString &directory, const QString &executable,
                      const QString &arguments)
{
    setWindowTitle(name);
    m_directory = directory;
    m_executable = executable;
    m_arguments = arguments;
}

void ForMrun::showEvent(QShowEvent *event)
{
    // Restoring from the task bar keeps the place the player left it at
    if (!event->spontaneous())
        centreOnScreen();
    QDialog::showEvent(event);
}

bool ForMrun::eventFilter(QObject *watched, QEvent *event)
{
    // A held key presses nothing: only a fresh press starts the game or closes the dialog. A press the
    // focused button left reaches the dialog too; it was judged where it arrived first.
    if (event->type() == QEvent::KeyPress) {
        const auto *key = static_cast<QKeyEvent *>(event);
        const bool arrivedHere = watched != this || !focusWidget() || focusWidget() == this;
        if (key->isAutoRepeat() || (arrivedHere && HeldKeys::isRepeat(key)))
            return true;
    }
    return QDialog::eventFilter(watched, event);
}

void ForMrun::centreOnScreen()
{
    const QWidget *owner = parentWidget() ? parentWidget()->window() : this;
    const QScreen *screen = owner->screen();
    if (!screen)
        return;
    QRect frame = frameGeometry();
    // Before the first show the frame is unknown; the owner's frame is the best guess
    if (frame == geometry() && owner != this) {
        const QRect outer = owner->frameGeometry();
        const QRect inner = owner->geometry();
        frame.adjust(outer.left() - inner.left(), outer.top() - inner.top(), outer.right() - inner.right(),
                     outer.bottom() - inner.bottom());
    }
    frame.moveCenter(screen->availableGeometry().center());
    move(frame.topLeft());
}

void ForMrun::CmdRunGame_Click()
{
    // The directory keeps its trailing separator, so the two parts are simply joined.
    const QString file = m_directory + m_executable;
    // The same game again within moments: the first start is still under way.
    const LastStart &last = lastStart();
    if (last.any && last.file == file && last.arguments == m_arguments && last.directory == m_directory
        && now() - last.at < RestartGuardMs) {
        accept();
        return;
    }
    const LaunchResult result = Shell::instance().open(file, m_arguments, m_directory);
    if (!result.ok) {
        MsgBox(u"无法启动游戏："_s + file + u'\n' + result.reason, MessageBox::Exclamation, u"错误"_s);
    } else {
        lastStart() = {file, m_arguments, m_directory, now(), true};
        Q_EMIT started();
    }
    accept();
}
