#pragma once

#include <QDialog>
#include <QImage>
#include <QStringList>

#include <optional>

class MainWindowHooks;
class QComboBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The game editor: adds a game or rewrites one. The window caption decides the mode: exactly
// "添加游戏" adds, any other caption modifies the game named by EditGameID.
class ForMadd : public QDialog
{
    Q_OBJECT

public:
    explicit ForMadd(MainWindowHooks *hooks, QWidget *parent = nullptr);

    bool isAddMode() const;

    // Remembers the fields as the opener filled them; a modify then writes only the fields
    // that differ from these, so untouched columns keep their stored bytes.
    void keepOpenedValues();

    // Draws the first icon of a file on PicGetIco; a file without one leaves it white.
    void drawPreview(const QString &file);
    void clearPreview();
    QImage preview() const { return m_preview; }

    // A picked directory, cleaned of ".", ".." and doubled separators, with exactly one at its end.
    static QString cleanedDirectory(const QString &directory);
    // A picked directory ends with exactly one separator.
    static QString withTrailingSeparator(const QString &directory);
    // A picked file relative to the game directory; outside it the whole path is kept.
    static QString storedName(const QString &fullPath, const QString &directory);

    void Form_Load();
    void Command1_Click();
    void CommandGamePath_Click();
    void CommandGameRun_Click();
    void PicGetIco_Click();

    // Controls, by their design names; the opener sets captions and fields through them.
    QLabel *LabelGamePath = nullptr;
    QLineEdit *TextGamePath = nullptr;
    QPushButton *CommandGamePath = nullptr;
    QLabel *LabelGameRun = nullptr;
    QLineEdit *TextGameRun = nullptr;
    QPushButton *CommandGameRun = nullptr;
    QLabel *LabelGameCmd = nullptr;
    QLineEdit *TextGameCmd = nullptr;
    QLabel *LabelGameName = nullptr;
    QLineEdit *TextGameName = nullptr;
    QLabel *LabelGameType = nullptr;
    QComboBox *ComboGameType = nullptr;
    QLabel *LabelGameHot = nullptr;
    QComboBox *ComboGameHot = nullptr;
    QLabel *LabelGameIcon = nullptr;
    QLineEdit *TextGameIcon = nullptr;
    QLabel *PicGetIco = nullptr;
    QPushButton *Command1 = nullptr;

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;
    void keyPressEvent(QKeyEvent *event) override;

private:
    void createControls();
    QLabel *addLabel(const QString &name, const QString &caption, const QRect &geometry);
    QLineEdit *addText(const QString &name, const QRect &geometry);
    QComboBox *addCombo(const QString &name, const QRect &geometry);
    QPushButton *addButton(const QString &name, const QString &caption, const QRect &geometry);
    bool requiredFieldsFilled();
    QStringList fieldTexts() const;
    void writeRecord(bool adding);
    QString pickGameFile();
    void setPreview(const QImage &image);

    MainWindowHooks *m_hooks;
    QImage m_preview;
    std::optional<QStringList> m_openedTexts;
};
