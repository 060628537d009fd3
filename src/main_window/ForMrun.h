#pragma once

#include <QDialog>

#include <functional>

class QLabel;
class QPushButton;

// The run dialog: confirms the chosen game and starts it through the shell. It opens centred
// on the screen, not on the main window.
class ForMrun : public QDialog
{
    Q_OBJECT

public:
    explicit ForMrun(QWidget *parent = nullptr);

    // The chosen game; the caption shows its name.
    void setGame(const QString &name, const QString &directory, const QString &executable, const QString &arguments);

    QString directory() const { return m_directory; }
    QString executable() const { return m_executable; }
    QString arguments() const { return m_arguments; }

    // A game started from a dialog is not started again from another one for this long: a held
    // key or hurried clicks start it once.
    static constexpr qint64 RestartGuardMs = 2000;
    // The clock, in ms, the guard reads; tests set their own. An empty clock restores the steady one.
    static void setClock(std::function<qint64()> source);

Q_SIGNALS:
    // The game was started (the shell reported success).
    void started();

protected:
    void showEvent(QShowEvent *event) override;
    bool eventFilter(QObject *watched, QEvent *event) override;

private Q_SLOTS:
    void CmdRunGame_Click();

private:
    void createControls();
    void centreOnScreen();

    QLabel *m_label1 = nullptr;
    QLabel *m_label2 = nullptr;
    QPushButton *m_cmdRunGame = nullptr;
    QString m_directory;
    QString m_executable;
    QString m_arguments;
};
