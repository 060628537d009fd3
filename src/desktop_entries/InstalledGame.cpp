#include "desktop_entries/InstalledGame.h"

#include "desktop_entries/DesktopEntry.h"
#include "desktop_entries/DesktopEntryScanner.h"
#include "desktop_entries/ExecLine.h"
#include "desktop_entries/GameCategoryMap.h"
#include "desktop_entries/IconLookup.h"
#include "desktop_entries/InlineScript.h"
#include "desktop_entries/ProgramLookup.h"
#include "platform/TerminalText.h"

#include <QDir>
#include <QFileInfo>

#include <algorithm>

using namespace Qt::StringLiterals;

InstalledGame::Sources InstalledGame::Sources::system()
{
    const QStringList data = DesktopEntryScanner::dataFolders();
    return {DesktopEntryScanner::applicationFolders(data), data, ProgramLookup::searchFolders()};
}

QList<InstalledGame> InstalledGame::findAll(const Sources &sources)
{
    QList<InstalledGame> games;
    for (const DesktopEntryScanner::Found &found : DesktopEntryScanner::scan(sources.applicationFolders)) {
        if (std::optional<InstalledGame> game = fromEntry(DesktopEntry::read(found.path), sources))
            games.append(*game);
    }
    return games;
}

std::optional<InstalledGame> InstalledGame::fromEntry(const DesktopEntry &entry, const Sources &sources)
{
    InstalledGame game;
    game.entryFile = entry.path();
    if (!entry.isValid()) {
        // It may well be a game; the operator hears why it is left out.
        game.GameName = cleanName(QFileInfo(entry.path()).fileName());
        game.skipReason = entry.error();
        return game;
    }
    if (entry.value(u"Type"_s) != u"Application"_s || !entry.listValue(u"Categories"_s).contains(u"Game"_s))
        return std::nullopt;
    game.GameName = cleanName(entry.chineseName());
    game.GameType = GameCategoryMap::categoryFor(entry.listValue(u"Categories"_s));
    game.skipReason = game.GameName.isEmpty() ? u"没有游戏名称"_s : gameSkipReason(entry, sources);
    if (game.importable())
        game.fillFromExec(entry, sources);
    return game;
}

QString InstalledGame::gameSkipReason(const DesktopEntry &entry, const Sources &sources)
{
    if (entry.boolValue(u"Hidden"_s))
        return u"桌面项已删除（Hidden=true）"_s;
    if (entry.boolValue(u"NoDisplay"_s))
        return u"桌面项不在菜单中显示（NoDisplay=true）"_s;
    if (entry.listValue(u"Categories"_s).contains(u"Settings"_s))
        return u"是设置程序，不是游戏（Settings）"_s;
    if (entry.boolValue(u"Terminal"_s))
        return u"需要在终端中运行（Terminal=true），菜单不打开终端"_s;
    const QString tryExec = entry.value(u"TryExec"_s);
    if (!tryExec.isNull() && ProgramLookup::resolve(tryExec, sources.programFolders).isEmpty())
        return u"找不到 TryExec 程序："_s + tryExec;
    return {};
}

void InstalledGame::fillFromExec(const DesktopEntry &entry, const Sources &sources)
{
    const std::optional<QStringList> argv = ExecLine::split(entry.value(u"Exec"_s), GameName, entry.path());
    if (!argv) {
        skipReason = u"Exec 为空或引号不成对"_s;
        return;
    }
    if (InlineScript::inCommand(*argv)) {
        skipReason = u"命令行中含有脚本"_s;
        return;
    }
    const QString workDir = entry.value(u"Path"_s);
    QString program = argv->first();
    // A relative program path is read from the working folder the entry gives.
    if (program.contains(u'/') && !QDir::isAbsolutePath(program) && !workDir.isEmpty())
        program = QDir(workDir).absoluteFilePath(program);
    const QString executable = ProgramLookup::resolve(program, sources.programFolders);
    if (executable.isEmpty()) {
        skipReason = u"找不到程序："_s + argv->first();
        return;
    }
    const QString folder = workDir.isEmpty() ? QFileInfo(executable).absolutePath() : workDir;
    if (!QFileInfo(folder).isDir()) {
        skipReason = u"工作目录不存在："_s + folder;
        return;
    }
    GamePath = QDir::cleanPath(QDir(folder).absolutePath()) + u'/';
    GameRun = QDir(GamePath).relativeFilePath(executable);
    GameCmd = argumentText(argv->mid(1));
    const QString icon = IconLookup::resolve(entry.value(u"Icon"_s), sources.dataFolders);
    const bool fit = !icon.isEmpty() && isIconFile(icon, {QFileInfo(entry.path()).absolutePath(), GamePath});
    GameIcon = fit ? insideOrAbsolute(GamePath, icon) : u"无"_s;
}

QString InstalledGame::cleanName(const QString &name)
{
    QList<uint> kept;
    for (const uint c : name.toUcs4()) {
        if (kept.size() == MaxNameLength)
            break;
        if (!TerminalText::isControl(c))
            kept.append(c);
    }
    return QString::fromUcs4(reinterpret_cast<const char32_t *>(kept.constData()), kept.size()).trimmed();
}

bool InstalledGame::isIconFile(const QString &path, const QStringList &ownFolders)
{
    // Named like a picture both where the entry points and where any link ends, so that no other
    // kind of file (a password file, a key) is ever taken for the game's icon.
    static const QStringList pictures{u"png"_s, u"svg"_s, u"svgz"_s, u"xpm"_s, u"jpg"_s, u"jpeg"_s, u"gif"_s,
                                      u"bmp"_s, u"ico"_s, u"pbm"_s,  u"pgm"_s, u"ppm"_s, u"xbm"_s,  u"webp"_s};
    const QFileInfo given(path);
    const QFileInfo real(given.canonicalFilePath());
    if (given.canonicalFilePath().isEmpty() || !real.isFile() || !real.isReadable() || real.size() > MaxIconBytes
        || !pictures.contains(given.suffix().toLower()) || !pictures.contains(real.suffix().toLower()))
        return false;
    const QString at = real.filePath();
    if (at.contains(u"/icons/"_s) || at.contains(u"/pixmaps/"_s))
        return true;
    return std::any_of(ownFolders.cbegin(), ownFolders.cend(), [&at](const QString &folder) {
        const QString canonical = QFileInfo(folder).canonicalFilePath();
        return !canonical.isEmpty() && at.startsWith(canonical + u'/');
    });
}

QString InstalledGame::insideOrAbsolute(const QString &folder, const QString &file)
{
    const QString relative = QDir(folder).relativeFilePath(file);
    return relative.startsWith(u"../"_s) ? QFileInfo(file).absoluteFilePath() : relative;
}

QString InstalledGame::argumentText(const QStringList &arguments)
{
    QStringList quoted;
    for (const QString &argument : arguments) {
        const bool plain = !argument.isEmpty() && !argument.contains(u'"')
            && std::none_of(argument.cbegin(), argument.cend(), [](QChar c) { return c.isSpace(); });
        quoted.append(plain ? argument : u'"' + QString(argument).replace(u"\""_s, u"\"\""_s) + u'"');
    }
    const QString text = quoted.join(u' ');
    // "无" alone means "no arguments" to the launcher, so a real argument of that text is quoted.
    if (text == u"无"_s)
        return u"\"无\""_s;
    return text.isEmpty() ? u"无"_s : text;
}
