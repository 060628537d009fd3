#pragma once

#include "catalogue/GameRecord.h"

#include <QDialog>

class MainWindowHooks;
class QComboBox;
class QImage;
class QLabel;
class QLineEdit;
class QPushButton;

// The game editor: adds a game or rewrites one. The opener chooses the mode, and the caption
// and the button show it: "添加游戏" or "修改游戏".
class ForMadd : public QDialog
{
    Q_OBJECT

public:
    explicit ForMadd(MainWindowHooks *hooks, QWidget *parent = nullptr);

    void openForAdding();
    // Shows a stored game for rewriting; a save then writes only the fields the operator
    // changed, so untouched columns keep their stored bytes. False, naming the value in
    // refusedValue, when a list does not offer the stored category or hot flag.
    bool openForModifying(const GameRecord &game, QString *refusedValue = nullptr);

    // A picked directory, cleaned of ".", ".." and doubled separators, with exactly one at its end.
    static QString cleanedDirectory(const QString &directory);
    // A picked directory ends with exactly one separator.
    static QString withTrailingSeparator(const QString &directory);
    // A picked file relative to the game directory; outside it the whole path is kept.
    static QString storedName(const QString &fullPath, const QString &directory);

    void Command1_Click();
    void CommandGamePath_Click();
    void CommandGameRun_Click();
    void PicGetIco_Click();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    enum class Mode { Adding, Modifying };

    void createControls();
    void createPicture();
    void Form_Load();
    void setMode(Mode mode, const QString &caption);
    QLabel *addLabel(const QString &name, const QString &caption, const QRect &geometry);
    QLineEdit *addText(const QString &name, const QRect &geometry);
    QComboBox *addCombo(const QString &name, const QRect &geometry);
    QPushButton *addButton(const QString &name, const QString &caption, const QRect &geometry);
    bool requiredFieldsFilled();
    GameRecord entered() const;
    QString pickGameFile();
    // Draws the first icon of a file on PicGetIco; a file without one leaves it white.
    void drawPreview(const QString &file);
    void setPreview(const QImage &image);

    MainWindowHooks *m_hooks;
    Mode m_mode = Mode::Adding;
    GameRecord m_opened; // the fields as a modify opened them, and the game's number
    GameRecord m_openedGame; // the game a modify was opened with, as its fields show it

    // Controls, by their design names.
    QLineEdit *TextGamePath = nullptr;
    QPushButton *CommandGamePath = nullptr;
    QLineEdit *TextGameRun = nullptr;
    QPushButton *CommandGameRun = nullptr;
    QLineEdit *TextGameCmd = nullptr;
    QLineEdit *TextGameName = nullptr;
    QComboBox *ComboGameType = nullptr;
    QComboBox *ComboGameHot = nullptr;
    QLineEdit *TextGameIcon = nullptr;
    QLabel *PicGetIco = nullptr;
    QPushButton *Command1 = nullptr;
};
