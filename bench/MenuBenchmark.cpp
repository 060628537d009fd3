#include "MenuBenchmark.h"

#include "DemoCatalogue.h"
#include "app/StartUp.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/GameRecord.h"
#include "catalogue/RecordsetGuard.h"
#include "category_manager/ForMtype.h"
#include "desktop_entries/InstalledGame.h"
#include "icons/IconCache.h"
#include "main_window/ForMain.h"
#include "main_window/GameListModel.h"
#include "main_window/ImageList.h"
#include "platform/Process.h"
#include "tab_strip/SSTab.h"
#include "widgets/MessageBox.h"
#include "widgets/Modal.h"

#include <QApplication>
#include <QDialog>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QIcon>
#include <QImage>
#include <QLineEdit>
#include <QListView>
#include <QProcess>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>

#include <algorithm>
#include <memory>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

QTextStream &out()
{
    static QTextStream stream(stdout);
    return stream;
}

long peakResidentKb()
{
    return Process::peakResidentKb();
}

// Another program's write: everything kept from the file has to be read again.
void changeFileElsewhere()
{
    CatalogueConnection other;
    other.Open(Catalogue::DatabasePath(), QString::fromUtf16(Catalogue::Password));
    other.Execute(u"UPDATE TypeList SET TypeName = TypeName WHERE rowid = 1"_s);
}

double medianOf(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values.at(values.size() / 2);
}

// A 5 ms timer whose longest gap between turns is how long a click or a key would have waited.
class StallProbe : public QObject
{
public:
    StallProbe()
    {
        m_timer.setTimerType(Qt::PreciseTimer);
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, this, [this] { tick(); });
    }

    void start()
    {
        m_clock.start();
        m_last = 0;
        m_longest = 0;
        m_timer.start();
    }

    double finish()
    {
        tick();
        m_timer.stop();
        return m_longest / 1e6;
    }

private:
    void tick()
    {
        const qint64 now = m_clock.nsecsElapsed();
        m_longest = std::max(m_longest, now - m_last);
        m_last = now;
    }

    QTimer m_timer;
    QElapsedTimer m_clock;
    qint64 m_last = 0;
    qint64 m_longest = 0;
};

// Milliseconds since this process was started, from the kernel's record of its start.
double msSinceProcessStart()
{
    QFile stat(u"/proc/self/stat"_s);
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray line = stat.readAll();
    // The command name may hold spaces; the fields after it are counted from its closing bracket.
    const QList<QByteArray> fields = line.mid(line.lastIndexOf(')') + 2).split(' ');
    const double startTicks = fields.value(19).toDouble(); // field 22 of the whole line
    return Process::millisecondsSinceBoot() - startTicks * 1e3 / double(Process::clockTicksPerSecond());
}

// Lets the event loop run until the window has painted once.
class FirstPaint : public QObject
{
public:
    explicit FirstPaint(QWidget *window)
        : m_window(window)
    {
        qApp->installEventFilter(this);
    }

    // Returns the ms since process start at the first turn after the paint, before the work
    // the window queued from its paint runs.
    double wait()
    {
        QTimer::singleShot(5000, &m_loop, &QEventLoop::quit);
        if (!m_painted)
            m_loop.exec();
        return m_paintedAt;
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        if (event->type() == QEvent::Paint && watched->isWidgetType()
            && static_cast<QWidget *>(watched)->window() == m_window && !m_painted) {
            m_painted = true;
            QMetaObject::invokeMethod(
                &m_loop,
                [this] {
                    m_paintedAt = msSinceProcessStart();
                    m_loop.quit();
                },
                Qt::QueuedConnection);
        }
        return false;
    }

private:
    QWidget *m_window;
    QEventLoop m_loop;
    bool m_painted = false;
    double m_paintedAt = -1;
};

} // namespace

MenuBenchmark::MenuBenchmark(int games, int runs, const QString &program)
    : m_games(games)
    , m_runs(runs)
    , m_program(program)
{
}

MenuBenchmark::Timing MenuBenchmark::median(const std::function<void()> &work,
                                            const std::function<void()> &prepare) const
{
    std::vector<double> times;
    std::vector<double> stalls;
    StallProbe probe;
    for (int i = 0; i < m_runs; ++i) {
        if (prepare)
            prepare();
        probe.start();
        QElapsedTimer timer;
        timer.start();
        work();
        QCoreApplication::processEvents();
        // A changed large catalogue is read on a worker: the fill counts until its list is shown.
        while (m_window && m_window->readingGames())
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        times.push_back(timer.nsecsElapsed() / 1e6);
        // The icons read in the background arrive as queued results: their handling counts too.
        QElapsedTimer settle;
        settle.start();
        while (m_model && m_model->pendingIcons() > 0 && settle.elapsed() < 5000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        QEventLoop tail;
        QTimer::singleShot(20, &tail, &QEventLoop::quit);
        tail.exec();
        stalls.push_back(probe.finish());
    }
    return {medianOf(times), medianOf(stalls)};
}

double MenuBenchmark::floorFor(const QString &statement) const
{
    // Reading every row of the query and building the list model, with no icons.
    return median([&] {
               Catalogue::CatalogueConnectionObject().forgetResults();
               QList<GameListModel::Item> items;
               RecordsetGuard rs(statement);
               for (; !rs->Eof(); rs->MoveNext()) {
                   const GameRecord game = GameRecord::read(*rs);
                   items.append({game.GameName, 0, game.GamePath, game.GameCmd, game.GameRun});
               }
           })
        .ms;
}

void MenuBenchmark::row(const QString &what, const Timing &timing, double floorMs) const
{
    out() << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(10) << Qt::right
          << QString::number(timing.ms, 'f', 1);
    out() << (floorMs > 0 ? QString::number(timing.ms / floorMs, 'f', 2) + u'x' : QString());
    if (timing.stallMs > 0)
        out() << QString::number(timing.stallMs, 'f', 1);
    out() << qSetFieldWidth(0) << Qt::endl;
}

int MenuBenchmark::startupChild(const QString &directory)
{
    QList<double> marks{msSinceProcessStart()};
    int argc = 1;
    char name[] = "juyoutai";
    char *argv[] = {name, nullptr};
    QApplication app(argc, argv);
    StartUp::setUpApplication();
    marks << msSinceProcessStart();
    Catalogue::setProgramDirectory(directory);
    MessageBox::setPresenter([](const MessageBox::Shown &) { return int(MessageBox::Ok); });
    ForMain window;
    QApplication::setWindowIcon(QIcon(u":/icons/juyoutai-256.png"_s));
    marks << msSinceProcessStart();
    if (!window.Form_Load())
        return 1;
    marks << msSinceProcessStart();
    FirstPaint painted(&window);
    window.show();
    const double paintedAt = painted.wait();
    marks << paintedAt;
    // What the window leaves for the turns after its first paint.
    QCoreApplication::processEvents();
    marks << msSinceProcessStart() - paintedAt;
    // The open alone, measured after the fact on a second connection to the same file.
    QElapsedTimer open;
    open.start();
    CatalogueConnection().Open(Catalogue::DatabasePath(), QString::fromUtf16(Catalogue::Password));
    marks << open.nsecsElapsed() / 1e6;
    QStringList text;
    for (const double mark : marks)
        text << QString::number(mark, 'f', 2);
    QTextStream(stdout) << u"phases "_s << text.join(u' ') << Qt::endl;
    return 0;
}

void MenuBenchmark::startupPhases(const QString &directory) const
{
    // Each phase ends at a mark in ms since the process started; the open is its own duration.
    std::vector<std::vector<double>> phases(7);
    for (int i = 0; i < m_runs; ++i) {
        QProcess child;
        child.start(m_program, {u"--startup"_s, directory});
        if (!child.waitForFinished(60000) || child.exitCode() != 0) {
            out() << u"start-up child failed: "_s << child.readAllStandardError() << Qt::endl;
            return;
        }
        const QString line = QString::fromUtf8(child.readAllStandardOutput()).section(u"phases "_s, 1).trimmed();
        const QStringList marks = line.split(u' ');
        for (int p = 0; p < 7; ++p)
            phases[p].push_back(marks.value(p).toDouble());
    }
    const double main = medianOf(phases[0]);
    const double app = medianOf(phases[1]);
    const double built = medianOf(phases[2]);
    const double loaded = medianOf(phases[3]);
    const double painted = medianOf(phases[4]);
    const double afterPaint = medianOf(phases[5]);
    const double open = medianOf(phases[6]);
    row(u"start-up phase: to main() (10 ms ticks)"_s, {main, 0}, 0);
    row(u"start-up phase: QApplication"_s, {app - main, 0}, 0);
    row(u"start-up phase: window built"_s, {built - app, 0}, 0);
    row(u"start-up phase: catalogue open (apart)"_s, {open, 0}, 0);
    row(u"start-up phase: first fill (load - open)"_s, {loaded - built - open, 0}, 0);
    row(u"start-up phase: first paint"_s, {painted - loaded, 0}, 0);
    row(u"start-up: process start to first paint"_s, {painted, 0}, 0);
    row(u"start-up: first turn after paint (checks)"_s, {afterPaint, 0}, 0);
}

void MenuBenchmark::run()
{
    QTemporaryDir dir;
    DemoCatalogue::createGenerated(dir.path(), m_games, 50);
    Catalogue::setProgramDirectory(dir.path());
    // A failure must be measured, not waited on: every box is answered at once.
    MessageBox::setPresenter([](const MessageBox::Shown &) { return int(MessageBox::Ok); });

    out() << u"\n== %1 games, 50 categories, median of %2 runs (ms) =="_s.arg(m_games).arg(m_runs) << Qt::endl;
    out() << qSetFieldWidth(44) << Qt::left << u"measure"_s << qSetFieldWidth(10) << Qt::right << u"ms"_s
          << u"floor x"_s << u"stall ms"_s << qSetFieldWidth(0) << Qt::endl;
    startupPhases(dir.path());

    std::unique_ptr<ForMain> window;
    const Timing startup = median([&] {
        Catalogue::CloseCatalogue();
        IconCache::shared().clear();
        window = std::make_unique<ForMain>();
        window->Form_Load();
        window->show();
        QCoreApplication::processEvents();
    });
    const double hotFloor = floorFor(CatalogueStatements::selectGameList());
    const QString category = window->MenuSStab->TabCaption(1);
    const double categoryFloor = floorFor(CatalogueStatements::selectGamesByType(category));
    row(u"start-up to listed Hot tab"_s, startup, hotFloor);
    m_model = window->findChild<GameListModel *>();
    m_window = window.get();

    auto fills = [&](const QString &pass, bool cold) {
        auto prepare = [&] {
            if (!cold)
                return;
            IconCache::shared().clear();
            changeFileElsewhere();
        };
        row(pass + u"category tab refill"_s, median([&] {
                prepare();
                window->MenuSStab->setTab(window->MenuSStab->Tab() == 1 ? 2 : 1);
            }),
            categoryFloor);
        window->MenuSStab->setTab(0);
        row(pass + u"Hot refill"_s, median([&] {
                prepare();
                window->REloadMenuSStab();
            }),
            hotFloor);
        row(pass + u"ReloadForMain"_s, median([&] {
                prepare();
                window->ReloadForMain();
            }),
            hotFloor);
        for (const QString &query : {u"s"_s, QString::number(m_games - 1), u"反恐"_s}) {
            row(pass + u"search \""_s + query + u'"', median([&] {
                    prepare();
                    window->SerchText->setText(query);
                    window->SerchCommand_Click();
                }),
                hotFloor);
        }
    };
    // The window paints at once with white canvases and the icons follow from worker threads:
    // the first measure is how long the window is busy, the second how long until every icon is shown.
    window->MenuSStab->setTab(0);
    const GameListModel *model = window->findChild<GameListModel *>();
    const auto coldPaint = [&] {
        IconCache::shared().clear();
        window->REloadMenuSStab();
        window->GameList->doItemsLayout();
        window->GameList->viewport()->repaint();
    };
    row(u"cold: Hot refill + paint, icons pending"_s, median(coldPaint), hotFloor);
    int requested = 0;
    row(u"cold: Hot refill until visible icons shown"_s, median([&] {
            coldPaint();
            requested = model->pendingIcons();
            while (model->pendingIcons() > 0)
                QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
        }),
        hotFloor);
    out() << u"  (icon files read in the background per paint: %1)"_s.arg(requested) << Qt::endl;
    fills(u"cold: "_s, true);
    fills(u"warm: "_s, false);
    // Browsing many tabs first must not make the next search read the whole file again.
    row(u"warm: search \"s\" after browsing 15 tabs"_s,
        median(
            [&] {
                window->SerchText->setText(u"s"_s);
                window->SerchCommand_Click();
            },
            [&] {
                for (int tab = 1; tab <= 15 && tab < window->MenuSStab->Tabs(); ++tab)
                    window->MenuSStab->setTab(tab);
            }),
        hotFloor);
    // A search made as soon as the window is up, before the names' initials are worked out: the list waits for
    // them on a worker, the window must not.
    QElapsedTimer sinceStart;
    double searchedAt = 0;
    row(u"search \"s\" first thing after start-up"_s,
        median(
            [&] {
                searchedAt = sinceStart.nsecsElapsed() / 1e6;
                window->SerchText->setText(u"s"_s);
                window->SerchCommand_Click();
            },
            [&] {
                m_model = nullptr;
                m_window = nullptr;
                window.reset();
                Catalogue::CloseCatalogue();
                sinceStart.start();
                window = std::make_unique<ForMain>();
                FirstPaint paint(window.get());
                window->Form_Load();
                window->show();
                paint.wait();
                // The checks queued by the paint run first, and start the initials' worker; they stall on
                // their own, in the start-up lines above.
                QCoreApplication::processEvents();
                m_window = window.get();
                m_model = window->findChild<GameListModel *>();
            }),
        hotFloor);
    out() << u"  (the search was made %1 ms after the window was made)"_s.arg(searchedAt, 0, 'f', 1) << Qt::endl;
    importDialog();
    row(u"floor: read Hot query + model (uncached)"_s, {hotFloor, 0}, 0);
    row(u"floor: read category query + model (uncached)"_s, {categoryFloor, 0}, 0);
    out() << qSetFieldWidth(44) << Qt::left << u"peak resident memory (MB)"_s << qSetFieldWidth(10) << Qt::right
          << QString::number(peakResidentKb() / 1024.0, 'f', 1) << qSetFieldWidth(0) << Qt::endl;
    m_model = nullptr;
    m_window = nullptr;
    window.reset();
    Catalogue::CloseCatalogue();
}

void MenuBenchmark::importDialog() const
{
    // 1,000 installed games, each with its own program line and icon, in a data folder of their own.
    constexpr int Installed = 1000;
    QTemporaryDir data;
    QDir().mkpath(data.filePath(u"usr/applications"_s));
    QFile program(data.filePath(u"run"_s));
    program.open(QIODevice::WriteOnly);
    program.close();
    program.setPermissions(program.permissions() | QFile::ExeOwner);
    QImage picture(32, 32, QImage::Format_ARGB32);
    picture.fill(Qt::red);
    for (int i = 0; i < Installed; ++i) {
        const QString icon = data.filePath(u"icon%1.png"_s.arg(i));
        picture.save(icon, "PNG");
        QFile entry(data.filePath(u"usr/applications/g%1.desktop"_s.arg(i)));
        entry.open(QIODevice::WriteOnly);
        entry.write(u"[Desktop Entry]\nType=Application\nCategories=Game;\nName=G%1\nExec=%2 -n%1\nIcon=%3\n"_s.arg(i)
                        .arg(program.fileName(), icon)
                        .toUtf8());
    }
    const QByteArray home = qEnvironmentVariableIsSet("XDG_DATA_HOME") ? qgetenv("XDG_DATA_HOME") : QByteArray();
    const QByteArray dirs = qEnvironmentVariableIsSet("XDG_DATA_DIRS") ? qgetenv("XDG_DATA_DIRS") : QByteArray();
    qputenv("XDG_DATA_HOME", data.filePath(u"home"_s).toUtf8());
    qputenv("XDG_DATA_DIRS", data.filePath(u"usr"_s).toUtf8());

    // The floor: finding and reading the same entries, with no dialog.
    qsizetype listed = 0;
    const double floorMs = median([&] { listed = InstalledGame::findAll(InstalledGame::Sources::system()).size(); }).ms;

    // The manager's import: from the click until the dialog is about to be shown, its table filled.
    ForMtype manager(nullptr);
    QElapsedTimer clock;
    std::vector<double> opened;
    int rows = 0;
    Modal::setRunner([&](QDialog &dialog) {
        opened.push_back(clock.nsecsElapsed() / 1e6);
        rows = dialog.findChild<QTableWidget *>()->rowCount();
        return int(QDialog::Rejected);
    });
    for (int i = 0; i < m_runs; ++i) {
        clock.start();
        manager.DaoRu_Click();
    }
    Modal::setRunner({});
    const auto restore = [](const char *name, const QByteArray &value) {
        if (value.isNull())
            qunsetenv(name);
        else
            qputenv(name, value);
    };
    restore("XDG_DATA_HOME", home);
    restore("XDG_DATA_DIRS", dirs);
    if (opened.empty() || rows != Installed || listed != Installed) {
        out() << u"import dialog: listed %1 of %2 entries"_s.arg(rows).arg(Installed) << Qt::endl;
        return;
    }
    row(u"import dialog open, 1000 installed games"_s, {medianOf(opened), 0}, floorMs);
    row(u"floor: list 1000 installed games (no dialog)"_s, {floorMs, 0}, 0);
}
