#include "room_console/ForMroom.h"

#include "cafe/RoomReportText.h"
#include "platform/TerminalText.h"
#include "room_console/RoomBarChart.h"
#include "room_console/RoomReader.h"
#include "room_console/RoomTableModel.h"
#include "widgets/FileDialogs.h"
#include "widgets/MessageBox.h"

#include <QButtonGroup>
#include <QComboBox>
#include <QDir>
#include <QGridLayout>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QRadioButton>
#include <QSaveFile>
#include <QSortFilterProxyModel>
#include <QSpinBox>
#include <QSplitter>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTableView>
#include <QThread>
#include <QVBoxLayout>

using namespace Qt::StringLiterals;

QPointer<ForMroom> ForMroom::s_instance;
int ForMroom::s_refreshMs = ForMroom::RefreshMs;

namespace {

constexpr int DefaultDays = 7;
constexpr int DefaultTop = 20;
constexpr int CustomPeriod = 0;
// "正在读取…" only for a read that takes this long, so the line does not blink at every refresh.
constexpr int SlowReadMs = 300;

const QString FlagNote = u"按启动次数排行时，只列出排行中的游戏：标记为热门却不在排行中的游戏不再列出；"
                         "改回“按标记”后，它们又会列出。游戏编辑窗口中的热门标记在两种规则下都可以修改。"_s;

QString count(qint64 value)
{
    return QLocale().toString(value);
}

QLabel *captionFor(const QString &text, QWidget *buddy, QWidget *parent)
{
    auto *label = new QLabel(text, parent);
    label->setBuddy(buddy);
    return label;
}

} // namespace

ForMroom::ForMroom(const QString &operatorUri, PgHelper::Connection connection, QWidget *parent)
    : QWidget(parent, Qt::Window)
{
    setObjectName(u"ForMroom"_s);
    setWindowTitle(u"机房状态"_s);
    setAccessibleName(u"机房状态"_s);

    m_summary = new QLabel(u"正在读取…"_s, this);
    m_summary->setObjectName(u"Summary"_s);
    m_summary->setAccessibleName(u"概况"_s);
    m_summary->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);
    auto *refresh = new QPushButton(u"刷新"_s, this);
    refresh->setObjectName(u"RefreshCmd"_s);
    connect(refresh, &QPushButton::clicked, this, &ForMroom::Refresh_Click);
    auto *top = new QHBoxLayout;
    top->addWidget(m_summary, 1);
    top->addWidget(refresh);

    m_panes = new QTabWidget(this);
    m_panes->setObjectName(u"Panes"_s);
    m_panes->setAccessibleName(u"机房状态的页"_s);
    m_panes->addTab(createMachinesPane(), u"机器"_s);
    m_panes->addTab(createRankingPane(), u"排行"_s);
    m_panes->addTab(createHoursPane(), u"时段"_s);
    m_panes->addTab(createHotPane(), u"热门推荐"_s);

    m_status = new QLabel(u"正在读取…"_s, this);
    m_status->setObjectName(u"Status"_s);
    m_status->setAccessibleName(u"状态"_s);
    m_status->setWordWrap(true);
    m_status->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::TextSelectableByKeyboard);

    auto *layout = new QVBoxLayout(this);
    layout->addLayout(top);
    layout->addWidget(m_panes, 1);
    layout->addWidget(m_status);
    resize(fontMetrics().averageCharWidth() * 150, fontMetrics().height() * 42);

    // The reader's thread ends with the window; a read still waiting on the server ends it later.
    m_thread = new QThread;
    m_thread->setObjectName(u"RoomReader"_s);
    m_reader = new RoomReader(operatorUri, std::move(connection));
    m_reader->moveToThread(m_thread);
    connect(m_thread, &QThread::finished, m_reader, &QObject::deleteLater);
    connect(m_thread, &QThread::finished, m_thread, &QObject::deleteLater);
    connect(m_reader, &RoomReader::readDone, this, &ForMroom::showReport);
    connect(m_reader, &RoomReader::readFailed, this, &ForMroom::showFailure);
    connect(m_reader, &RoomReader::machinesSorted, this,
            [this](const QList<RoomTableModel::Row> &machines) { m_machines->setRows(machines); });
    connect(m_reader, &RoomReader::hotSet, this, [this](const QString &failure) {
        m_applyHot->setEnabled(true);
        if (!failure.isEmpty()) {
            MsgBox(u"热门推荐的规则没有改变。\n"_s + failure, MessageBox::Exclamation, u"错误"_s);
            return;
        }
        m_shownRule.reset(); // the rule read next is shown as it is now
        read();
    });
    m_thread->start();

    m_timer.setInterval(s_refreshMs);
    connect(&m_timer, &QTimer::timeout, this, &ForMroom::read);
    m_timer.start();
    m_slowRead.setSingleShot(true);
    m_slowRead.setInterval(SlowReadMs);
    connect(&m_slowRead, &QTimer::timeout, this, [this] { m_status->setText(u"正在读取…"_s); });
    read();
}

ForMroom::~ForMroom()
{
    m_thread->quit();
}

bool ForMroom::bringToFront()
{
    if (!s_instance)
        return false;
    s_instance->showNormal();
    s_instance->raise();
    s_instance->activateWindow();
    return true;
}

ForMroom *ForMroom::showConsole(const QString &operatorUri, PgHelper::Connection connection)
{
    if (bringToFront())
        return s_instance;
    auto *console = new ForMroom(operatorUri, std::move(connection));
    console->setAttribute(Qt::WA_DeleteOnClose);
    s_instance = console;
    console->show();
    return console;
}

ForMroom *ForMroom::instance()
{
    return s_instance;
}

QTableView *ForMroom::createTable(const QString &name, const QString &caption, QAbstractItemModel *model)
{
    auto *view = new QTableView(this);
    view->setObjectName(name);
    view->setAccessibleName(caption);
    view->setModel(model);
    view->setSelectionBehavior(QAbstractItemView::SelectRows);
    view->setEditTriggers(QAbstractItemView::NoEditTriggers);
    view->verticalHeader()->hide();
    view->horizontalHeader()->setSectionResizeMode(QHeaderView::ResizeToContents);
    // Sized to the rows in sight: measuring a thousand rows at each refresh would hold up the window.
    view->horizontalHeader()->setResizeContentsPrecision(0);
    view->horizontalHeader()->setStretchLastSection(true);
    return view;
}

QWidget *ForMroom::createMachinesPane()
{
    auto *pane = new QWidget(this);
    m_filter = new QLineEdit(pane);
    m_filter->setObjectName(u"MachineFilter"_s);
    m_filter->setAccessibleName(u"筛选机器名"_s);
    m_filter->setPlaceholderText(u"输入机器名的一部分"_s);
    m_filter->setClearButtonEnabled(true);
    m_machines = new RoomTableModel({u"机器名"_s, u"状态"_s, u"最后在线"_s, u"最近启动"_s}, {}, this);
    m_machineRows = new QSortFilterProxyModel(this);
    m_machineRows->setSourceModel(m_machines);
    m_machineRows->setSortRole(RoomTableModel::SortRole);
    m_machineRows->setFilterCaseSensitivity(Qt::CaseInsensitive);
    m_machineRows->setFilterKeyColumn(0);
    connect(m_filter, &QLineEdit::textChanged, m_machineRows, &QSortFilterProxyModel::setFilterFixedString);
    QTableView *view = createTable(u"MachineTable"_s, u"机器"_s, m_machineRows);
    // Online first, then by name, until a column header is clicked; the reader's thread sorts.
    QHeaderView *header = view->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, [this](int column, Qt::SortOrder order) {
        QMetaObject::invokeMethod(m_reader,
                                  [reader = m_reader, column, order] { reader->sortMachines(column, order); });
    });
    m_emptyRoom = new QLabel(u"还没有机器连接过服务器"_s, pane);
    m_emptyRoom->setObjectName(u"EmptyRoom"_s);
    m_emptyRoom->setAlignment(Qt::AlignCenter);
    m_emptyRoom->hide();
    auto *filterRow = new QHBoxLayout;
    filterRow->addWidget(captionFor(u"筛选(&F)："_s, m_filter, pane));
    filterRow->addWidget(m_filter, 1);
    auto *layout = new QVBoxLayout(pane);
    layout->addLayout(filterRow);
    layout->addWidget(view, 1);
    layout->addWidget(m_emptyRoom);
    return pane;
}

QWidget *ForMroom::createRankingPane()
{
    auto *pane = new QWidget(this);
    m_period = new QComboBox(pane);
    m_period->setObjectName(u"PeriodChoice"_s);
    m_period->setAccessibleName(u"时段"_s);
    m_period->addItem(u"今天"_s, 1);
    m_period->addItem(u"最近 7 天"_s, 7);
    m_period->addItem(u"最近 30 天"_s, 30);
    m_period->addItem(u"自定义天数"_s, CustomPeriod);
    m_period->setCurrentIndex(1);
    m_customDays = new QSpinBox(pane);
    m_customDays->setObjectName(u"CustomDays"_s);
    m_customDays->setAccessibleName(u"自定义天数"_s);
    m_customDays->setRange(RoomReport::MinDays, RoomReport::MaxDays);
    m_customDays->setValue(14);
    m_customDays->setSuffix(u" 天"_s);
    m_customDays->setEnabled(false);
    m_top = new QSpinBox(pane);
    m_top->setObjectName(u"TopChoice"_s);
    m_top->setAccessibleName(u"列出前几个游戏"_s);
    m_top->setRange(RoomReport::MinTop, RoomReport::MaxTop);
    m_top->setValue(DefaultTop);
    auto *exportCsv = new QPushButton(u"导出 CSV…"_s, pane);
    exportCsv->setObjectName(u"ExportCsvCmd"_s);
    connect(exportCsv, &QPushButton::clicked, this, &ForMroom::ExportCsv_Click);
    connect(m_period, &QComboBox::currentIndexChanged, this, [this] {
        m_customDays->setEnabled(m_period->currentData().toInt() == CustomPeriod);
        read();
    });
    connect(m_customDays, &QSpinBox::valueChanged, this, &ForMroom::read);
    connect(m_top, &QSpinBox::valueChanged, this, &ForMroom::read);

    auto *choices = new QHBoxLayout;
    choices->addWidget(captionFor(u"时段(&P)："_s, m_period, pane));
    choices->addWidget(m_period);
    choices->addWidget(m_customDays);
    choices->addSpacing(fontMetrics().averageCharWidth() * 2);
    choices->addWidget(captionFor(u"前(&K)："_s, m_top, pane));
    choices->addWidget(m_top);
    choices->addWidget(new QLabel(u"个游戏"_s, pane));
    choices->addStretch(1);
    choices->addWidget(exportCsv);

    m_rankingChart = new RoomBarChart(RoomBarChart::Direction::Across, pane);
    m_rankingChart->setObjectName(u"RankingChart"_s);
    m_rankingChart->setAccessibleName(u"排行图"_s);
    m_rankingChart->setAccessibleDescription(u"每个游戏的启动次数和机器数，数字见旁边的排行表"_s);
    m_ranking = new RoomTableModel({u"排名"_s, u"游戏名称"_s, u"启动次数"_s, u"机器数"_s}, {0, 2, 3}, this);
    auto *rankingRows = new QSortFilterProxyModel(this);
    rankingRows->setSourceModel(m_ranking);
    rankingRows->setSortRole(RoomTableModel::SortRole);
    QTableView *table = createTable(u"RankingTable"_s, u"排行表"_s, rankingRows);
    table->setSortingEnabled(true);
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    // A long name is cut short, never the counts beside it.
    table->horizontalHeader()->setSectionResizeMode(1, QHeaderView::Stretch);
    // Room for the rank, the counts and a name of about twelve characters.
    table->setMinimumWidth(table->fontMetrics().horizontalAdvance(u"排名启动次数机器数游戏名称游戏名称游戏名称"_s)
                           + 80);
    auto *split = new QSplitter(Qt::Horizontal, pane);
    split->setChildrenCollapsible(false);
    split->addWidget(m_rankingChart);
    split->addWidget(table);
    split->setStretchFactor(0, 3);
    split->setStretchFactor(1, 2);

    auto *layout = new QVBoxLayout(pane);
    layout->addLayout(choices);
    layout->addWidget(split, 1);
    return pane;
}

QWidget *ForMroom::createHoursPane()
{
    auto *pane = new QWidget(this);
    m_hoursCaption = new QLabel(pane);
    m_hoursCaption->setObjectName(u"HoursCaption"_s);
    m_hourChart = new RoomBarChart(RoomBarChart::Direction::Upright, pane);
    m_hourChart->setObjectName(u"HourChart"_s);
    m_hourChart->setAccessibleName(u"每小时启动次数图"_s);
    m_hourChart->setAccessibleDescription(u"0 到 23 时每小时的启动次数，数字见旁边的表"_s);
    m_hours = new RoomTableModel({u"时"_s, u"启动次数"_s}, {0, 1}, this);
    QTableView *hourTable = createTable(u"HourTable"_s, u"每小时启动次数"_s, m_hours);
    m_busiest = new QLabel(pane);
    m_busiest->setObjectName(u"BusiestHour"_s);
    m_busiest->setAccessibleName(u"最忙的时段"_s);
    m_dayChart = new RoomBarChart(RoomBarChart::Direction::Upright, pane);
    m_dayChart->setObjectName(u"DayChart"_s);
    m_dayChart->setAccessibleName(u"每天启动次数图"_s);
    m_dayChart->setAccessibleDescription(u"最近 30 天每天的启动次数，数字见旁边的表"_s);
    m_days = new RoomTableModel({u"日期"_s, u"启动次数"_s}, {1}, this);
    QTableView *dayTable = createTable(u"DayTable"_s, u"每天启动次数"_s, m_days);

    auto *layout = new QGridLayout(pane);
    layout->addWidget(m_hoursCaption, 0, 0, 1, 2);
    layout->addWidget(m_hourChart, 1, 0);
    layout->addWidget(hourTable, 1, 1);
    layout->addWidget(m_busiest, 2, 0, 1, 2);
    layout->addWidget(new QLabel(u"最近 30 天每天的启动次数："_s, pane), 3, 0, 1, 2);
    layout->addWidget(m_dayChart, 4, 0);
    layout->addWidget(dayTable, 4, 1);
    layout->setColumnStretch(0, 3);
    layout->setColumnStretch(1, 1);
    layout->setRowStretch(1, 1);
    layout->setRowStretch(4, 1);
    return pane;
}

QWidget *ForMroom::createHotPane()
{
    auto *pane = new QWidget(this);
    m_hotRule = new QLabel(pane);
    m_hotRule->setObjectName(u"HotRuleText"_s);
    m_hotRule->setAccessibleName(u"当前的规则"_s);
    m_byFlag = new QRadioButton(u"按标记：列出标记为热门的游戏(&G)"_s, pane);
    m_byFlag->setObjectName(u"HotByFlag"_s);
    m_byLaunches = new QRadioButton(u"按启动次数：列出最近几天启动最多的游戏(&L)"_s, pane);
    m_byLaunches->setObjectName(u"HotByLaunches"_s);
    auto *group = new QButtonGroup(pane);
    group->addButton(m_byFlag);
    group->addButton(m_byLaunches);
    m_byFlag->setChecked(true);
    m_hotDays = new QSpinBox(pane);
    m_hotDays->setObjectName(u"HotDays"_s);
    m_hotDays->setAccessibleName(u"最近几天"_s);
    m_hotDays->setRange(RoomReport::MinDays, RoomReport::MaxDays);
    m_hotDays->setValue(DefaultDays);
    m_hotTop = new QSpinBox(pane);
    m_hotTop->setObjectName(u"HotTop"_s);
    m_hotTop->setAccessibleName(u"列出几个游戏"_s);
    m_hotTop->setRange(RoomReport::MinTop, RoomReport::MaxTop);
    m_hotTop->setValue(DefaultTop);
    m_applyHot = new QPushButton(u"应用"_s, pane);
    m_applyHot->setObjectName(u"ApplyHotCmd"_s);
    connect(m_applyHot, &QPushButton::clicked, this, &ForMroom::ApplyHot_Click);
    connect(m_byLaunches, &QRadioButton::toggled, this, &ForMroom::enableHotInputs);
    enableHotInputs();
    auto *note = new QLabel(FlagNote, pane);
    note->setObjectName(u"HotNote"_s);
    note->setWordWrap(true);

    auto *numbers = new QHBoxLayout;
    numbers->addSpacing(fontMetrics().averageCharWidth() * 4);
    numbers->addWidget(captionFor(u"最近(&D)"_s, m_hotDays, pane));
    numbers->addWidget(m_hotDays);
    numbers->addWidget(captionFor(u"天启动最多的(&T)"_s, m_hotTop, pane));
    numbers->addWidget(m_hotTop);
    numbers->addWidget(new QLabel(u"个游戏"_s, pane));
    numbers->addStretch(1);
    auto *apply = new QHBoxLayout;
    apply->addStretch(1);
    apply->addWidget(m_applyHot);
    auto *layout = new QVBoxLayout(pane);
    layout->addWidget(m_hotRule);
    layout->addSpacing(fontMetrics().height() / 2);
    layout->addWidget(m_byFlag);
    layout->addWidget(m_byLaunches);
    layout->addLayout(numbers);
    layout->addWidget(note);
    layout->addLayout(apply);
    layout->addStretch(1);
    return pane;
}

void ForMroom::enableHotInputs()
{
    m_hotDays->setEnabled(m_byLaunches->isChecked());
    m_hotTop->setEnabled(m_byLaunches->isChecked());
}

int ForMroom::periodDays() const
{
    const int days = m_period->currentData().toInt();
    return days == CustomPeriod ? m_customDays->value() : days;
}

void ForMroom::Refresh_Click()
{
    m_status->setText(u"正在读取…"_s);
    read();
}

// One read at a time: a refresh asked for meanwhile follows when it ends.
void ForMroom::read()
{
    if (m_reading) {
        m_readAgain = true;
        return;
    }
    m_reading = true;
    m_slowRead.start();
    QMetaObject::invokeMethod(
        m_reader, [reader = m_reader, days = periodDays(), top = m_top->value()] { reader->read(days, top); });
}

void ForMroom::showReport(const RoomReport &report, const QList<RoomTableModel::Row> &machines)
{
    m_reading = false;
    m_slowRead.stop();
    m_report = report;
    setStale(false);
    if (report.clients.isEmpty()) {
        m_summary->setText(u"还没有机器连接过服务器"_s);
    } else {
        QString latest = u"—"_s;
        if (report.latestLaunch)
            latest = u"%1（%2，%3）"_s.arg(TerminalText::printable(report.latestLaunch->lastGame),
                                           TerminalText::printable(report.latestLaunch->name),
                                           report.latestLaunch->lastGameAt);
        m_summary->setText(u"在线 %1 台 / 共 %2 台　今日启动 %3 次　最近一次：%4"_s.arg(
            count(report.onlineCount()), count(report.clients.size()), count(report.launchesToday), latest));
    }
    showMachines(report, machines);
    showRanking(report);
    showHours(report);
    showHotRule(report.hot);
    m_status->setText(u"已读取（服务器时间 %1），每 %2 秒刷新一次。"_s.arg(report.readAt).arg(s_refreshMs / 1000.0));
    if (std::exchange(m_readAgain, false))
        read();
}

void ForMroom::showFailure(const QString &message, bool tablesMissing)
{
    m_reading = false;
    m_slowRead.stop();
    if (tablesMissing)
        m_status->setText(u"这台服务器还没有机房状态所需的表：请在服务器上用新版本运行一次 "
                          "juyoutai-catalogue server-init。\n"_s
                          + message);
    else
        // One line of the server's words, said once.
        m_status->setText((message.startsWith(u"无法连接服务器"_s) ? message.simplified()
                                                                   : u"无法连接服务器：%1"_s.arg(message.simplified()))
                          + (m_report ? u"\n显示的是服务器时间 %1 读取的数据。"_s.arg(m_report->readAt) : QString()));
    setStale(m_report.has_value());
    if (std::exchange(m_readAgain, false))
        read();
}

// The rows come made from the reader's thread.
void ForMroom::showMachines(const RoomReport &report, const QList<RoomTableModel::Row> &machines)
{
    m_machines->setRows(machines);
    m_emptyRoom->setVisible(report.clients.isEmpty());
}

void ForMroom::showRanking(const RoomReport &report)
{
    QList<RoomTableModel::Row> rows;
    QList<RoomBarChart::Bar> bars;
    for (qsizetype i = 0; i < report.ranking.games.size(); ++i) {
        const RoomReport::Game &game = report.ranking.games.at(i);
        const QString name = TerminalText::printable(game.name);
        rows.append({{count(i + 1), name, count(game.launches), count(game.machines)},
                     {i + 1, game.name, game.launches, game.machines}});
        bars.append({name, game.launches, u"%1 次 / %2 台"_s.arg(count(game.launches), count(game.machines))});
    }
    m_ranking->setRows(std::move(rows));
    m_rankingChart->setBars(std::move(bars));
}

void ForMroom::showHours(const RoomReport &report)
{
    const int days = report.ranking.days;
    m_hoursCaption->setText(days == 1 ? u"今天每小时的启动次数："_s : u"最近 %1 天每小时的启动次数："_s.arg(days));
    QList<RoomTableModel::Row> hourRows;
    QList<RoomBarChart::Bar> hourBars;
    int busiest = 0;
    for (int hour = 0; hour < 24; ++hour) {
        const qint64 launches = report.launchesPerHour.at(size_t(hour));
        if (launches > report.launchesPerHour.at(size_t(busiest)))
            busiest = hour;
        hourRows.append({{u"%1 时"_s.arg(hour), count(launches)}, {hour, launches}});
        hourBars.append({QString::number(hour), launches, count(launches)});
    }
    m_hours->setRows(std::move(hourRows));
    m_hourChart->setBars(std::move(hourBars));
    const qint64 most = report.launchesPerHour.at(size_t(busiest));
    m_busiest->setText(most == 0
                           ? u"这段时间没有启动记录。"_s
                           : u"最忙的时段：%1 时至 %2 时（%3 次）"_s.arg(busiest).arg(busiest + 1).arg(count(most)));

    QList<RoomTableModel::Row> dayRows;
    QList<RoomBarChart::Bar> dayBars;
    for (const RoomReport::DayLaunches &day : report.launchesPerDay) {
        dayRows.append({{day.day.toString(Qt::ISODate), count(day.launches)}, {day.day, day.launches}});
        dayBars.append({day.day.toString(u"M/d"_s), day.launches, count(day.launches)});
    }
    m_days->setRows(std::move(dayRows));
    m_dayChart->setBars(std::move(dayBars));
}

void ForMroom::showHotRule(const RoomReport::HotRule &rule)
{
    m_hotRule->setText(rule.byLaunches() ? u"当前规则：按最近 %1 天启动最多的 %2 个游戏"_s.arg(rule.days).arg(rule.top)
                                         : u"当前规则：按标记"_s);
    // The choice follows the server only when the rule there changed, not over the operator's edits.
    if (m_shownRule && m_shownRule->top == rule.top && m_shownRule->days == rule.days)
        return;
    m_shownRule = rule;
    (rule.byLaunches() ? m_byLaunches : m_byFlag)->setChecked(true);
    if (rule.byLaunches()) {
        m_hotDays->setValue(rule.days);
        m_hotTop->setValue(rule.top);
    }
    enableHotInputs();
}

void ForMroom::setStale(bool stale)
{
    m_stale = stale;
    m_summary->setEnabled(!stale);
    m_machines->setStale(stale);
    m_ranking->setStale(stale);
    m_hours->setStale(stale);
    m_days->setStale(stale);
    m_rankingChart->setStale(stale);
    m_hourChart->setStale(stale);
    m_dayChart->setStale(stale);
}

void ForMroom::ApplyHot_Click()
{
    const int top = m_byLaunches->isChecked() ? m_hotTop->value() : 0;
    const int days = m_hotDays->value();
    m_applyHot->setEnabled(false);
    QMetaObject::invokeMethod(m_reader, [reader = m_reader, top, days] { reader->setHot(top, days); });
}

// What `stats --csv` writes for the period shown; the file appears whole or not at all.
void ForMroom::ExportCsv_Click()
{
    if (!m_report) {
        MsgBox(u"还没有从服务器读到排行，请稍后再试。"_s, MessageBox::Exclamation, u"导出 CSV"_s);
        return;
    }
    const RoomReport::Ranking ranking = m_report->ranking;
    const QString suggested = QDir(QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation))
                                  .filePath(u"机房排行-最近%1天.csv"_s.arg(ranking.days));
    const QString path = FileDialogs::SaveFileName(this, u"导出 CSV"_s, u"CSV 文件 (*.csv)"_s, suggested);
    if (path.isEmpty())
        return;
    QSaveFile file(path);
    const QByteArray bytes = RoomReportText::csv(ranking).toUtf8();
    if (!file.open(QIODevice::WriteOnly) || file.write(bytes) != bytes.size() || !file.commit()) {
        MsgBox(u"无法保存文件 %1：%2\n没有写下任何文件，请换一个文件夹再试。"_s.arg(QDir::toNativeSeparators(path),
                                                                                    file.errorString()),
               MessageBox::Exclamation, u"导出 CSV"_s);
        return;
    }
    m_status->setText(u"已导出到 %1。"_s.arg(QDir::toNativeSeparators(path)));
}
