#pragma once

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class CafeMode;
class FillScheduler;
class OperatorGate;
class QLabel;

// Café mode as the main window sees it: the server's catalogue kept in a local copy, the notice
// line that tells whether the copy is fresh, and refreshes that wait while the window is busy.
class CafeRefresh : public QObject
{
    Q_OBJECT

public:
    // notice: the line that tells, its present text the usual notice. ready: the window has loaded; scheduler: tries
    // the refresh again shortly while something reads or writes the catalogue; refresh: reads the new copy, keeping
    // the window's place.
    // clientName: how this PC names itself to the server.
    CafeRefresh(const QString &serverUri, const QString &clientName, QLabel *notice, std::function<bool()> ready,
                FillScheduler &scheduler, std::function<void()> refresh, QObject *parent);
    ~CafeRefresh() override;

    // Café mode when the program folder's configuration asks for it (a configuration in error is told, and the
    // catalogue file used): the café check guards the operator windows, and the first copy is waited for a moment.
    static std::unique_ptr<CafeRefresh> start(QLabel *notice, std::function<bool()> ready, FillScheduler &scheduler,
                                              OperatorGate &gate, std::function<void()> refresh, QObject *parent);

    CafeMode &mode() const { return *m_cafe; }
    QString serverUri() const { return m_serverUri; }
    // Before the window is shown: a server that answers soon gives a fresh list at once.
    void waitForFirstSync();
    // Why the menu has no fresh catalogue from the server, as the first line of a message; empty when it has.
    QString offlineCause() const;
    // Offline, or the usual notice; a moved copy is told once instead of it.
    void showNotice();
    // Reads the server's new copy once the window is ready and nothing is busy.
    void refreshFromServer();

private:
    QString m_serverUri;
    std::unique_ptr<CafeMode> m_cafe;
    QLabel *m_notice;
    QString m_usualNotice; // the line's text when it has nothing else to tell
    std::function<bool()> m_ready;
    FillScheduler &m_scheduler;
    std::function<void()> m_refresh;
    QString m_relocationNote;
};
