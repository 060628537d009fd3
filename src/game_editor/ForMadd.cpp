#include "game_editor/ForMadd.h"

#include "catalogue/Catalogue.h"
#include "catalogue/CatalogueError.h"
#include "catalogue/CatalogueStatements.h"
#include "game_editor/EditGameID.h"
#include "game_editor/MainWindowHooks.h"
#include "platform/FileDialogs.h"
#include "platform/IconCache.h"
#include "platform/IconReader.h"
#include "platform/MessageBox.h"
#include "platform/Twips.h"

#include <QComboBox>
#include <QDir>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QMouseEvent>
#include <QPushButton>

#include <limits>

using namespace Qt::StringLiterals;

namespace {

const QString AddCaption = u"添加游戏"_s;
const QString NoValue = u"无"_s;
const QString Notice = u"提示"_s;

QString orNone(const QString &text)
{
    return text.isEmpty() ? NoValue : text;
}

// The record's columns in the order they are written; the last two store "无" for an empty field.
const QString Columns[] = {u"GameName"_s, u"GamePath"_s, u"GameType"_s, u"GameHot"_s,
                           u"GameRun"_s,  u"GameIcon"_s, u"GameCmd"_s};
constexpr int FirstNoneColumn = 5;

} // namespace

ForMadd::ForMadd(MainWindowHooks *hooks, QWidget *parent)
    : QDialog(parent, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint
                          | Qt::WindowCloseButtonHint)
    , m_hooks(hooks)
{
    setObjectName(u"ForMadd"_s);
    setModal(true);
    setFixedSize(Twips::size(4245, 4215));
    createControls();
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
    LabelGamePath = addLabel(u"LabelGamePath"_s, u"游戏目录："_s, Twips::rect(120, 240, 1095, 255));
    TextGamePath = addText(u"TextGamePath"_s, Twips::rect(960, 120, 2535, 375));
    CommandGamePath = addButton(u"CommandGamePath"_s, u"选择"_s, Twips::rect(3600, 120, 615, 375));
    LabelGameRun = addLabel(u"LabelGameRun"_s, u"执行文件："_s, Twips::rect(120, 720, 1095, 255));
    TextGameRun = addText(u"TextGameRun"_s, Twips::rect(960, 600, 2535, 375));
    CommandGameRun = addButton(u"CommandGameRun"_s, u"选择"_s, Twips::rect(3600, 600, 615, 375));
    LabelGameCmd = addLabel(u"LabelGameCmd"_s, u"命令参数："_s, Twips::rect(120, 1200, 1095, 255));
    TextGameCmd = addText(u"TextGameCmd"_s, Twips::rect(960, 1080, 2535, 375));
    LabelGameName = addLabel(u"LabelGameName"_s, u"游戏名称："_s, Twips::rect(120, 1680, 1095, 255));
    TextGameName = addText(u"TextGameName"_s, Twips::rect(960, 1560, 2535, 375));
    LabelGameType = addLabel(u"LabelGameType"_s, u"游戏分类："_s, Twips::rect(120, 2160, 1095, 255));
    ComboGameType = addCombo(u"ComboGameType"_s, Twips::rect(960, 2040, 2535, 300));
    LabelGameHot = addLabel(u"LabelGameHot"_s, u"热门推荐："_s, Twips::rect(120, 2640, 1095, 255));
    ComboGameHot = addCombo(u"ComboGameHot"_s, Twips::rect(960, 2520, 2535, 300));
    ComboGameHot->addItems({u"是"_s, u"否"_s});
    ComboGameHot->setCurrentIndex(-1);
    LabelGameIcon = addLabel(u"LabelGameIcon"_s, u"游戏图标："_s, Twips::rect(120, 3120, 1095, 255));
    TextGameIcon = addText(u"TextGameIcon"_s, Twips::rect(960, 3000, 2535, 375));
    PicGetIco = addLabel(u"PicGetIco"_s, QString(), Twips::rect(3000, 3480, 495, 495));
    PicGetIco->setAlignment(Qt::AlignLeft | Qt::AlignTop);
    PicGetIco->setAutoFillBackground(true);
    QPalette white = PicGetIco->palette();
    white.setColor(QPalette::Window, Qt::white);
    PicGetIco->setPalette(white);
    PicGetIco->setCursor(Qt::PointingHandCursor);
    PicGetIco->installEventFilter(this);
    clearPreview();
    Command1 = addButton(u"Command1"_s, QString(), Twips::rect(1320, 3480, 1215, 495));

    connect(CommandGamePath, &QPushButton::clicked, this, &ForMadd::CommandGamePath_Click);
    connect(CommandGameRun, &QPushButton::clicked, this, &ForMadd::CommandGameRun_Click);
    connect(Command1, &QPushButton::clicked, this, &ForMadd::Command1_Click);
}

void ForMadd::Form_Load()
{
    try {
        CatalogueRecordset &rs = Catalogue::OpenQuery(CatalogueStatements::selectTypeList());
        for (; !rs.Eof(); rs.MoveNext())
            ComboGameType->addItem(rs.Field(u"TypeName"_s));
        rs.Close();
    } catch (const CatalogueError &error) {
        Catalogue::CatalogueRecordsetObject().Close();
        MsgBox(error.message(u"读取游戏分类失败："_s), MessageBox::Exclamation, u"错误"_s);
    }
    // Choose-only lists start without a selection, so their text is empty until a pick.
    ComboGameType->setCurrentIndex(-1);
}

bool ForMadd::isAddMode() const
{
    return windowTitle() == AddCaption;
}

void ForMadd::keepOpenedValues()
{
    m_openedTexts = fieldTexts();
}

void ForMadd::keyPressEvent(QKeyEvent *event)
{
    // Only the close box discards the input; Escape must not throw away what was typed.
    if (event->matches(QKeySequence::Cancel)) {
        event->accept();
        return;
    }
    QDialog::keyPressEvent(event);
}

bool ForMadd::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == PicGetIco && event->type() == QEvent::MouseButtonRelease
        && static_cast<QMouseEvent *>(event)->button() == Qt::LeftButton) {
        PicGetIco_Click();
        return true;
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

QStringList ForMadd::fieldTexts() const
{
    return {TextGameName->text(), TextGamePath->text(), ComboGameType->currentText(), ComboGameHot->currentText(),
            TextGameRun->text(),  TextGameIcon->text(), TextGameCmd->text()};
}

void ForMadd::writeRecord(bool adding)
{
    const QString statement = adding ? CatalogueStatements::selectGameList()
                                     : CatalogueStatements::selectGameById(EditGameID());
    CatalogueRecordset &rs = Catalogue::OpenQuery(statement);
    if (adding)
        rs.AddNew();
    else
        rs.Field(u"GameID"_s); // fails when the game is gone meanwhile: there is no row to write
    const QStringList texts = fieldTexts();
    for (int i = 0; i < texts.size(); ++i) {
        // A field the operator left as it was opened is not written, so its stored bytes stay.
        if (!adding && m_openedTexts && m_openedTexts->at(i) == texts.at(i))
            continue;
        rs.setField(Columns[i], i >= FirstNoneColumn ? orNone(texts.at(i)) : texts.at(i));
    }
    // The changed columns go to the store in one statement, so a refusal writes nothing.
    rs.Update();
    rs.Close();
}

void ForMadd::Command1_Click()
{
    const bool adding = isAddMode();
    if (!requiredFieldsFilled())
        return;
    try {
        writeRecord(adding);
    } catch (const CatalogueError &error) {
        Catalogue::CatalogueRecordsetObject().Close();
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

void ForMadd::clearPreview()
{
    setPreview(IconReader::canvasFor(QImage()));
}

void ForMadd::setPreview(const QImage &image)
{
    m_preview = image;
    PicGetIco->setPixmap(QPixmap::fromImage(image));
}
