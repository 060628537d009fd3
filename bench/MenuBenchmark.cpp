#include "MenuBenchmark.h"

#include "DemoCatalogue.h"
#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/GameRecord.h"
#include "catalogue/RecordsetGuard.h"
#include "main_window/ForMain.h"
#include "main_window/GameListModel.h"
#include "main_window/ImageList.h"
#include "platform/IconCache.h"
#include "platform/MessageBox.h"
#include "platform/SSTab.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QListView>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

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
    rusage usage{};
    getrusage(RUSAGE_SELF, &usage);
    return usage.ru_maxrss;
}

} // namespace

MenuBenchmark::MenuBenchmark(int games, int runs)
    : m_games(games)
    , m_runs(runs)
{
}

double MenuBenchmark::median(const std::function<void()> &work) const
{
    std::vector<double> times;
    for (int i = 0; i < m_runs; ++i) {
        QElapsedTimer timer;
        timer.start();
        work();
        QCoreApplication::processEvents();
        times.push_back(timer.nsecsElapsed() / 1e6);
    }
    std::sort(times.begin(), times.end());
    return times.at(times.size() / 2);
}

double MenuBenchmark::floorFor(const QString &statement) const
{
    // Reading every row of the query and building the list model, with no icons.
    return median([&] {
        Catalogue::CatalogueConnectionObject().forgetResults();
        ImageList images;
        GameListModel model(images);
        model.Clear();
        {
            RecordsetGuard rs(statement);
            for (; !rs->Eof(); rs->MoveNext()) {
                const GameRecord game = GameRecord::read(*rs);
                model.Add({game.GameName, 0, game.GamePath, game.GameCmd, game.GameRun});
            }
        }
        model.commit();
    });
}

void MenuBenchmark::row(const QString &what, double ms, double floorMs) const
{
    out() << qSetFieldWidth(44) << Qt::left << what << qSetFieldWidth(10) << Qt::right << QString::number(ms, 'f', 1);
    if (floorMs > 0)
        out() << qSetFieldWidth(10) << QString::number(ms / floorMs, 'f', 2) + u'x';
    out() << qSetFieldWidth(0) << Qt::endl;
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
          << u"floor x"_s << qSetFieldWidth(0) << Qt::endl;

    std::unique_ptr<ForMain> window;
    const double startup = median([&] {
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

    auto fills = [&](const QString &pass, bool cold) {
        auto prepare = [&] {
            if (!cold)
                return;
            IconCache::shared().clear();
            Catalogue::CatalogueConnectionObject().forgetResults();
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
    const GameListModel *model = window->gameListModel();
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
    row(u"floor: read Hot query + model (uncached)"_s, hotFloor, 0);
    row(u"floor: read category query + model (uncached)"_s, categoryFloor, 0);
    out() << qSetFieldWidth(44) << Qt::left << u"peak resident memory (MB)"_s << qSetFieldWidth(10) << Qt::right
          << QString::number(peakResidentKb() / 1024.0, 'f', 1) << qSetFieldWidth(0) << Qt::endl;
    window.reset();
    Catalogue::CloseCatalogue();
}
