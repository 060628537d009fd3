#include "game_editor/ForMadd.h"

#include "catalogue/CatalogueEdits.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueRecordset.h"
#include "catalogue/CatalogueSchema.h"
#include "catalogue/CatalogueStatements.h"
#include "catalogue/RecordsetGuard.h"
#include "game_editor/MainWindowHooks.h"
#include "icons/IconCache.h"
#include "icons/IconReader.h"
#include "operator_gate/OperatorWork.h"
#include "widgets/BusyWork.h"
#include "widgets/FileDialogs.h"
#include "widgets/MessageBox.h"
#include "widgets/Twips.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <limits>
#include <utility>

using namespace Qt::StringLiterals;

namespace {

const QString AddCaption = u"添加游戏"_s;
const QString ModifyCaption = u"修改游戏"_s;
const QString Notice = u"提示"_s;

// Selects an entry by its exact text; false when the list does not offer it.
bool selectText(QComboBox *combo, const QString &text)
{
    const int index = combo->findText(text, Qt::MatchExactly | Qt::MatchCaseSensitive);
    if (index < 0)
        return false;
    combo->setCurrentIndex(index);
    return true;
}

} // namespace

ForMadd::ForMadd(MainWindowHooks *hooks, QWidget *parent)
    : QDialog(parent,
              Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                  | Qt::WindowCloseButtonHint)
    , m_hooks(hooks)
{
    setObjectName(u"ForMadd"_s);
    setModal(true);
    setFixedSize(Twips::size(4245, 4215));
    createControls();
    BusyWork::guard(this);
    Form_Load();
}

QLabel *ForMadd::addLabel(const QString &name, const QString &caption, const QRect &geometry)
{
    auto *label = new QLabel(caption, this);
    label->setObjectName(name);
    label->setGeometry(geometry);
    return label;
}

QLineEdit *ForMadd::addText(const QString &name, const QRect &geometry)
{
    auto *text = new QLineEdit(this);
    text->setObjectName(name);
    text->setGeometry(geometry);
    // Stored values may be longer than the default limit; cutting them would corrupt them.
    text->setMaxLength(std::numeric_limits<int>::max());
    return text;
}

QComboBox *ForMadd::addCombo(const QString &name, const QRect &geometry)
{
    auto *combo = new QComboBox(this);
    combo->setObjectName(name);
    combo->setGeometry(geometry);
    combo->setEditable(false);
    return combo;
}

QPushButton *ForMadd::addButton(const QString &name, const QString &caption, const QRect &geometry)
{
    auto *button = new QPushButton(caption, this);
    button->setObjectName(name);
    button->setGeometry(geometry);
    button->setAutoDefault(false);
    return button;
}

void ForMadd::createControls()
{
    addLabel(u"LabelGamePath"_s, u"游戏目录："_s, Twips::rect(120, 240, 1095, 255));
    TextGamePath = addText(u"TextGamePath"_s, Twips::rect(960, 120, 2535, 375));
    CommandGamePath = addButton(u"CommandGamePath"_s, u"选择"_s, Twips::rect(3600, 120, 615, 375));
    addLabel(u"LabelGameRun"_s, u"执行文件："_s, Twips::rect(120, 720, 1095, 255));
    TextGameRun = addText(u"TextGameRun"_s, Twips::rect(960, 600, 2535, 375));
    CommandGameRun = addButton(u"CommandGameRun"_s, u"选择"_s, Twips::rect(3600, 600, 615, 375));
    addLabel(u"LabelGameCmd"_s, u"命令参数："_s, Twips::rect(120, 1200, 1095, 255));
    TextGameCmd = addText(u"TextGameCmd"_s, Twips::rect(960, 1080, 2535, 375));
    addLabel(u"LabelGameName"_s, u"游戏名称："_s, Twips::rect(120, 1680, 1095, 255));
    TextGameName = addText(u"TextGameName"_s, Twips::rect(960, 1560, 2535, 375));
    addLabel(u"LabelGameType"_s, u"游戏分类："_s, Twips::rect(120, 2160, 1095, 255));
    ComboGameType = addCombo(u"ComboGameType"_s, Twips::rect(960, 2040, 2535, 300));
    addLabel(u"LabelGameHot"_s, u"热门推荐："_s, Twips::rect(120, 2640, 1095, 255));
    ComboGameHot = addCombo(u"ComboGameHot"_s, Twips::rect(960, 2520, 2535, 300));
    ComboGameHot->addItems({u"是"_s, u"否"_s});
    ComboGameHot->setCurrentIndex(-1);
    addLabel(u"LabelGameIcon"_s, u"游戏图标："_s, Twips::rect(120, 3120, 1095, 255));
    TextGameIcon = addText(u"TextGameIcon"_s, Twips::rect(960, 3000, 2535, 375));
    createPicture();
    // Screen readers name each field after the caption beside it.
    const std::pair<QWidget *, const char16_t *> captions[] = {
        {TextGamePath, u"游戏目录"}, {TextGameRun, u"执行文件"},   {TextGameCmd, u"命令参数"},
        {TextGameName, u"游戏名称"}, {ComboGameType, u"游戏分类"}, {ComboGameHot, u"热门推荐"},
        {TextGameIcon, u"游戏图标"}};
    for (const auto &[field, caption] : captions)
        field->setAccessibleName(QString::fromUtf16(caption));
    Command1 = addButton(u"Command1"_s, QString(), Twips::rect(1320, 3480, 1215, 495));

    connect(CommandGamePath, &QPushButton::clicked, this, &ForMadd::CommandGamePath_Click);
    connect(CommandGameRun, &QPushButton::clicked, this, &ForMadd::CommandGameRun_Click);
    connect(Command1, &QPushButton::clicked, this, &ForMadd::Command1_Click);
}

void ForMadd::createPicture()
{
    PicGetIco = addLabel(u"PicGetIco"_s, QString(), Twips::rect(3000, 3480, 495, 495));
    PicGetIco->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PicGetIco->setAutoFillBackground(true);
    QPalette white = PicGetIco->palette();
    white.setColor(QPalette::Window, Qt::white);
    PicGetIco->setPalette(white);
    PicGetIco->setCursor(Qt::PointingHandCursor);
    // The icon picker opens from the keyboard too: Tab reaches the picture, Enter or Space picks.
    PicGetIco->setFocusPolicy(Qt::TabFocus);
    PicGetIco->installEventFilter(this);
    setPreview(IconReader::canvasFor(QImage()));
}

void ForMadd::Form_Load()
{
    try {
        QStringList types;
        OperatorWork::run(this, u"正在读取…"_s, [&types] {
            RecordsetGuard rs(CatalogueStatements::selectTypeList());
            for (; !rs->Eof(); rs->MoveNext())
                types.append(rs->Field(CatalogueSchema::TypeName));
        });
        ComboGameType->addItems(types);
    } catch (const CatalogueError &error) {
        MsgBox(error.message(u"读取游戏分类失败："_s), MessageBox::Exclamation, u"错误"_s);
    }
    // Choose-only lists start without a selection, so their text is empty until a pick.
    ComboGameType->setCurrentIndex(-1);
}

void ForMadd::setMode(Mode mode, const QString &caption)
{
    m_mode = mode;
    setWindowTitle(caption);
    Command1->setText(caption);
}

void ForMadd::openForAdding()
{
    setMode(Mode::Adding, AddCaption);
}

bool ForMadd::openForModifying(const GameRecord &game, QString *refusedValue)
{
    const std::pair<QComboBox *, QString> choices[] = {{ComboGameHot, game.GameHot}, {ComboGameType, game.GameType}};
    for (const auto &[combo, value] : choices) {
        if (!selectText(combo, value)) {
            if (refusedValue)
                *refusedValue = value;
            return false;
        }
    }
    setMode(Mode::Modifying, ModifyCaption);
    TextGameName->setText(game.GameName);
    TextGamePath->setText(game.GamePath);
    TextGameRun->setText(game.GameRun);
    // A game without an icon of its own shows an empty field and the executable's icon.
    TextGameIcon->setText(CatalogueEdits::shownAs(game).GameIcon);
    const bool absoluteIcon = CatalogueEdits::hasOwnIcon(game) && game.GameIcon.startsWith(u'/');
    drawPreview(absoluteIcon ? game.GameIcon
                             : game.GamePath + (CatalogueEdits::hasOwnIcon(game) ? game.GameIcon : game.GameRun));
    TextGameCmd->setText(game.GameCmd);
    m_opened = entered();
    m_opened.GameID = game.GameID;
    m_openedGame = CatalogueEdits::shownAs(game);
    return true;
}

bool ForMadd::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != PicGetIco)
        return QDialog::eventFilter(watched, event);
    if (event->type() == QEvent::MouseButtonRelease && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        PicGetIco_Click();
        return true;
    }
    if (event->type() == QEvent::KeyPress) {
        const int key = static_cast<QKeyEvent *>(event)->key();
        if (key == Qt::Key_Return || key == Qt::Key_Enter || key == Qt::Key_Space) {
            PicGetIco_Click();
            return true;
        }
    }
    return QDialog::eventFilter(watched, event);
}

bool ForMadd::requiredFieldsFilled()
{
    const std::pair<QString, QString> checks[] = {
        {TextGamePath->text(), u"游戏目录不能为空！"_s},
        {TextGameRun->text(), u"游戏执行文件不能为空！"_s},
        {TextGameName->text(), u"游戏名称不能为空！"_s},
        {ComboGameType->currentText(), u"游戏分类不能为空！"_s},
        {ComboGameHot->currentText(), u"游戏是否为热门分类不能为空！"_s},
    };
    for (const auto &[value, message] : checks) {
        if (value.isEmpty()) {
            MsgBox(message, MessageBox::Exclamation, Notice);
            return false;
        }
    }
    return true;
}

GameRecord ForMadd::entered() const
{
    GameRecord game;
    game.GameName = TextGameName->text();
    game.GamePath = TextGamePath->text();
    game.GameType = ComboGameType->currentText();
    game.GameHot = ComboGameHot->currentText();
    game.GameRun = TextGameRun->text();
    game.GameIcon = TextGameIcon->text();
    game.GameCmd = TextGameCmd->text();
    return game;
}

void ForMadd::Command1_Click()
{
    const bool adding = m_mode == Mode::Adding;
    if (!requiredFieldsFilled())
        return;
    try {
        const GameRecord game = entered();
        OperatorWork::run(this, u"正在保存…"_s, [this, adding, &game] {
            if (adding)
                CatalogueEdits::addGame(game);
            else
                CatalogueEdits::modifyGame(m_opened, m_openedGame, game);
        });
    } catch (const CatalogueError &error) {
        if (error.number() == CatalogueError::RowChanged)
            MsgBox(u"该游戏已被修改，请关闭后重新打开。"_s, MessageBox::Exclamation, Notice);
        else if (error.number() == CatalogueError::ServerOutcomeUnknown)
            MsgBox(error.message(u"无法确认是否已保存："_s), MessageBox::Exclamation, u"错误"_s);
        else
            MsgBox(error.message(u"保存失败："_s), MessageBox::Exclamation, u"错误"_s);
        return;
    }
    MsgBox(adding ? u"新游戏已经添加完成！"_s : u"游戏已经修改完成！"_s, MessageBox::Information, Notice);
    MainWindowHooks *hooks = m_hooks;
    accept();
    if (hooks)
        hooks->REloadMenuSStab();
}

QString ForMadd::cleanedDirectory(const QString &directory)
{
    return withTrailingSeparator(QDir::toNativeSeparators(QDir::cleanPath(directory)));
}

QString ForMadd::withTrailingSeparator(const QString &directory)
{
    if (directory.endsWith(u'/') || directory.endsWith(u'\\'))
        return directory;
    return directory + QDir::separator();
}

QString ForMadd::storedName(const QString &fullPath, const QString &directory)
{
#ifdef Q_OS_WIN
    // The file system ignores case here, so names are kept in one case.
    const QString full = fullPath.toLower();
    const QString base = directory.toLower();
#else
    const QString &full = fullPath;
    const QString &base = directory;
#endif
    if (!base.isEmpty() && full.startsWith(base))
        return full.mid(base.size());
    return full;
}

void ForMadd::CommandGamePath_Click()
{
    const QString directory = FileDialogs::BrowseFolder(this, u"请选择游戏所在目录"_s);
    if (directory.isEmpty())
        return;
    // A cleaned folder is a prefix of the picked files' paths, so their names become relative.
    TextGamePath->setText(cleanedDirectory(directory));
}

QString ForMadd::pickGameFile()
{
    if (TextGamePath->text().isEmpty()) {
        MsgBox(u"请先选择游戏所在目录！"_s, MessageBox::Exclamation, Notice);
        return QString();
    }
    return FileDialogs::OpenFileName(this, u"请选择游戏执行文件"_s, u"所有文件 (*)"_s, TextGamePath->text());
}

void ForMadd::CommandGameRun_Click()
{
    const QString file = pickGameFile();
    if (file.isEmpty())
        return;
    TextGameRun->setText(storedName(file, TextGamePath->text()));
    drawPreview(file);
}

void ForMadd::PicGetIco_Click()
{
    const QString file = pickGameFile();
    if (file.isEmpty())
        return;
    TextGameIcon->setText(storedName(file, TextGamePath->text()));
    drawPreview(file);
}

void ForMadd::drawPreview(const QString &file)
{
    setPreview(IconCache::shared().canvas(file));
}

void ForMadd::setPreview(const QImage &image)
{
    PicGetIco->setPixmap(QPixmap::fromImage(image));
}
