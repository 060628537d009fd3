#pragma once

#include "cafe/PgHelper.h"
#include "cafe/RoomReport.h"
#include "room_console/RoomTableModel.h"

#include <QPointer>
#include <QTimer>
#include <QWidget>

#include <optional>

class QAbstractItemModel;
class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;
class QSortFilterProxyModel;
class QSpinBox;
class QTabWidget;
class QTableView;
class QThread;
class RoomBarChart;
class RoomReader;

// The room console "机房状态": which PCs are on, what is played and when, and the Hot tab's rule, read
// from the room's server every few seconds while it is open. Non-modal, without owner, one instance at
// a time. Every read runs beside the windows on the operator's connection; when the server is lost the
// last figures stay, greyed, with the time they were read.
class ForMroom : public QWidget
{
    Q_OBJECT

public:
    ForMroom(const QString &operatorUri, PgHelper::Connection connection, QWidget *parent = nullptr);
    ~ForMroom() override;

    // Opens the console on the granted connection, or brings the open one to the front.
    static ForMroom *showConsole(const QString &operatorUri, PgHelper::Connection connection);
    static ForMroom *instance();
    // False when no console is open.
    static bool bringToFront();

    static constexpr int RefreshMs = 5000;
    static void setRefreshMs(int milliseconds) { s_refreshMs = milliseconds; }

    // The days the ranking and the hours count.
    int periodDays() const;
    // The figures shown, if any were read.
    const std::optional<RoomReport> &report() const { return m_report; }
    bool stale() const { return m_stale; }

    void Refresh_Click();
    void ExportCsv_Click();
    void ApplyHot_Click();

private:
    QWidget *createMachinesPane();
    QWidget *createRankingPane();
    QWidget *createHoursPane();
    QWidget *createHotPane();
    QTableView *createTable(const QString &name, const QString &caption, QAbstractItemModel *model);
    void read();
    void showReport(const RoomReport &report, const QList<RoomTableModel::Row> &machines);
    void showFailure(const QString &message, bool tablesMissing);
    void showMachines(const RoomReport &report, const QList<RoomTableModel::Row> &machines);
    void showRanking(const RoomReport &report);
    void showHours(const RoomReport &report);
    void showHotRule(const RoomReport::HotRule &rule);
    void setStale(bool stale);
    void enableHotInputs();

    QThread *m_thread = nullptr;
    RoomReader *m_reader = nullptr;
    QTimer m_timer;
    QTimer m_slowRead;
    bool m_reading = false;
    bool m_readAgain = false;
    bool m_stale = false;
    std::optional<RoomReport> m_report;
    std::optional<RoomReport::HotRule> m_shownRule;

    QLabel *m_summary = nullptr;
    QLabel *m_status = nullptr;
    QTabWidget *m_panes = nullptr;
    QLineEdit *m_filter = nullptr;
    QLabel *m_emptyRoom = nullptr;
    RoomTableModel *m_machines = nullptr;
    QSortFilterProxyModel *m_machineRows = nullptr;
    QComboBox *m_period = nullptr;
    QSpinBox *m_customDays = nullptr;
    QSpinBox *m_top = nullptr;
    RoomBarChart *m_rankingChart = nullptr;
    RoomTableModel *m_ranking = nullptr;
    QLabel *m_hoursCaption = nullptr;
    RoomBarChart *m_hourChart = nullptr;
    RoomTableModel *m_hours = nullptr;
    QLabel *m_busiest = nullptr;
    RoomBarChart *m_dayChart = nullptr;
    RoomTableModel *m_days = nullptr;
    QLabel *m_hotRule = nullptr;
    QRadioButton *m_byFlag = nullptr;
    QRadioButton *m_byLaunches = nullptr;
    QSpinBox *m_hotDays = nullptr;
    QSpinBox *m_hotTop = nullptr;
    QPushButton *m_applyHot = nullptr;

    static QPointer<ForMroom> s_instance;
    static int s_refreshMs;
};
