#include "desktop_entries/DesktopEntryScanner.h"
#include "desktop_entries/InstalledGame.h"
#include "desktop_entries/ProgramLookup.h"
#include "platform/CommandLine.h"

#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

using namespace Qt::StringLiterals;

class tst_InstalledGame : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void convertsEntry_data();
    void convertsEntry();
    void firstIdWinsAndBadFilesDoNotStopTheRest();
    void linksLeadNowhereOutsideTheFolders();
    void argumentTextSplitsBack_data();
    void argumentTextSplitsBack();
    void searchesDebianGameFolders();

private:
    QString fill(QString text) const;
    bool write(const QString &path, const QByteArray &content, bool runnable = false) const;
    InstalledGame::Sources sources() const;

    std::unique_ptr<QTemporaryDir> m_root;
};

void tst_InstalledGame::init()
{
    m_root = std::make_unique<QTemporaryDir>();
    QVERIFY(m_root->isValid());
    const QString root = m_root->path();
    for (const QString &dir : {u"/home/applications"_s, u"/usr/applications"_s, u"/bin"_s, u"/my games/star"_s})
        QVERIFY(QDir().mkpath(root + dir));
    for (const QString &program : {u"/bin/mines"_s, u"/bin/my game"_s, u"/my games/star/run game"_s})
        QVERIFY(write(root + program, "#!/bin/sh\n", true));
    QVERIFY(write(root + u"/usr/icons/hicolor/32x32/apps/mines.png"_s, "png"));
    QVERIFY(write(root + u"/home/icons/hicolor/128x128/apps/mines.png"_s, "png"));
    QVERIFY(write(root + u"/usr/icons/hicolor/scalable/apps/vector.svg"_s, "<svg/>"));
    QVERIFY(write(root + u"/usr/icons/hicolor/scalable/apps/outline-symbolic.svg"_s, "<svg/>"));
    QVERIFY(write(root + u"/usr/pixmaps/old.xpm"_s, "xpm"));
    QVERIFY(write(root + u"/my games/star/star.png"_s, "png"));
    QVERIFY(write(root + u"/secret.png"_s, "png"));
    QVERIFY(write(root + u"/key"_s, "key"));
    QVERIFY(QFile::link(root + u"/key"_s, root + u"/usr/pixmaps/key.png"_s));
    QVERIFY(write(root + u"/usr/pixmaps/huge.png"_s, QByteArray(InstalledGame::MaxIconBytes + 1, 'x')));
}

QString tst_InstalledGame::fill(QString text) const
{
    return text.replace(u"{root}"_s, m_root->path());
}

bool tst_InstalledGame::write(const QString &path, const QByteArray &content, bool runnable) const
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly) || file.write(content) != content.size())
        return false;
    file.close();
    return !runnable || file.setPermissions(file.permissions() | QFile::ExeOwner | QFile::ExeUser);
}

InstalledGame::Sources tst_InstalledGame::sources() const
{
    const QString root = m_root->path();
    return {{root + u"/home/applications"_s, root + u"/usr/applications"_s},
            {root + u"/home"_s, root + u"/usr"_s},
            {root + u"/bin"_s}};
}

void tst_InstalledGame::convertsEntry_data()
{
    QTest::addColumn<QString>("entry");
    // "name|path|run|cmd|icon|type", "skip:part of the reason" or "absent".
    QTest::addColumn<QString>("expected");

    const QString game = u"[Desktop Entry]\nType=Application\nCategories=Game;%1;\n"_s;
    QTest::newRow("several groups, localized names, largest raster icon")
        << game.arg(u"LogicGame"_s)
            + u"Name=Mines\nName[zh]=地雷\nName[zh_CN]=扫雷\nExec=mines --fast\nIcon=mines\n"
              "[Desktop Action Other]\nName=Other\nExec=other\n"_s
        << u"扫雷|{root}/bin/|mines|--fast|{root}/home/icons/hicolor/128x128/apps/mines.png|益智游戏"_s;
    QTest::newRow("Name[zh], themed SVG-only icon, DBusActivatable")
        << game.arg(u"Shooter"_s) + u"Name=Space\nName[zh]=太空\nExec=mines\nIcon=vector\nDBusActivatable=true\n"_s
        << u"太空|{root}/bin/|mines|无|{root}/usr/icons/hicolor/scalable/apps/vector.svg|射击游戏"_s;
    QTest::newRow("English name only, pixmap, unknown kind")
        << game.arg(u"Amusement"_s) + u"Name=Solo\nExec=mines\nIcon=old\n"_s
        << u"Solo|{root}/bin/|mines|无|{root}/usr/pixmaps/old.xpm|其他游戏"_s;
    QTest::newRow("quotes, backslashes, spaces and field codes in Exec")
        << game.arg(u"CardGame"_s)
            + u"Name=Cards\nExec=\"{root}/bin/my game\" \"a b\" \"back\\\\\\\\slash\" \"say \\\\\"hi\\\\\"\" %U "
              "--title=%c 100%% %i\nIcon=nowhere\n"_s
        << u"Cards|{root}/bin/|my game|\"a b\" back\\slash \"say \"\"hi\"\"\" --title=Cards 100%|无|棋牌游戏"_s;
    QTest::newRow("Path as the working folder, icon inside it") << game.arg(u"ActionGame"_s)
            + u"Name=Star\nPath={root}/my games/star\nExec=\"{root}/my games/star/run game\"\n"
              "Icon={root}/my games/star/star.png\n"_s << u"Star|{root}/my games/star/|run game|无|star.png|动作游戏"_s;
    QTest::newRow("program outside the working folder")
        << game.arg(u"ActionGame"_s) + u"Name=Far\nPath={root}/my games/star\nExec=mines\n"_s
        << u"Far|{root}/my games/star/|../../bin/mines|无|无|动作游戏"_s;
    QTest::newRow("symbolic icon is not used")
        << game.arg(u"ArcadeGame"_s) + u"Name=Line\nExec=mines\nIcon=outline-symbolic\n"_s
        << u"Line|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("icon outside the icon folders")
        << game.arg(u"ArcadeGame"_s) + u"Name=Pwd\nExec=mines\nIcon=/etc/passwd\n"_s
        << u"Pwd|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("picture outside the icon and own folders")
        << game.arg(u"ArcadeGame"_s) + u"Name=Far\nExec=mines\nIcon={root}/secret.png\n"_s
        << u"Far|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("picture name linked to another file") << game.arg(u"ArcadeGame"_s)
            + u"Name=Key\nExec=mines\nIcon=key\n"_s << u"Key|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("icon too large") << game.arg(u"ArcadeGame"_s) + u"Name=Big\nExec=mines\nIcon=huge\n"_s
                                    << u"Big|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("control characters and bidi overrides dropped from the name")
        << game.arg(u"ArcadeGame"_s) + u"Name=A\x1b[2J\u202eB\\tC\u0085D\u2066\x7f\nExec=mines\n"_s
        << u"A[2JBCD|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("name cut at 200 characters") << game.arg(u"ArcadeGame"_s) + u"Name="_s + u"😀"_s.repeated(300)
            + u"\nExec=mines\n"_s << u"😀"_s.repeated(200) + u"|{root}/bin/|mines|无|无|街机游戏"_s;
    QTest::newRow("sh -c") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=sh -c \"mines; id\"\n"_s
                           << u"skip:命令行中含有脚本"_s;
    QTest::newRow("bash -lc by path") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=/bin/bash -lc mines\n"_s
                                      << u"skip:命令行中含有脚本"_s;
    QTest::newRow("dash -e -c") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=dash -e -c mines\n"_s
                                << u"skip:命令行中含有脚本"_s;
    QTest::newRow("zsh -o option -c") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=zsh -o posix -c x\n"_s
                                      << u"skip:命令行中含有脚本"_s;
    QTest::newRow("env with settings, then sh -c")
        << game.arg(u"ActionGame"_s) + u"Name=S\nExec=env -u HOME A=1 sh -c x\n"_s << u"skip:命令行中含有脚本"_s;
    QTest::newRow("env -S") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=/usr/bin/env -S \"mines x\"\n"_s
                            << u"skip:命令行中含有脚本"_s;
    QTest::newRow("python3 -c") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=python3 -c \"import os\"\n"_s
                                << u"skip:命令行中含有脚本"_s;
    QTest::newRow("perl -e") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=perl -we \"exec 1\"\n"_s
                             << u"skip:命令行中含有脚本"_s;
    QTest::newRow("awk program") << game.arg(u"ActionGame"_s) + u"Name=S\nExec=awk \"BEGIN{}\"\n"_s
                                 << u"skip:命令行中含有脚本"_s;
    QTest::newRow("a shell running a file is no inline script")
        << game.arg(u"ActionGame"_s) + u"Name=S\nExec=sh start.sh -c\n"_s << u"skip:找不到程序：sh"_s;
    QTest::newRow("python running a file")
        << game.arg(u"ActionGame"_s) + u"Name=S\nExec=python3 game.py\n"_s << u"skip:找不到程序：python3"_s;
    QTest::newRow("program gone") << game.arg(u"ActionGame"_s) + u"Name=Gone\nExec=nosuch\n"_s
                                  << u"skip:找不到程序：nosuch"_s;
    QTest::newRow("TryExec gone") << game.arg(u"ActionGame"_s) + u"Name=Try\nTryExec=nosuch\nExec=mines\n"_s
                                  << u"skip:TryExec"_s;
    QTest::newRow("terminal") << game.arg(u"ActionGame"_s) + u"Name=Rogue\nExec=mines\nTerminal=true\n"_s
                              << u"skip:Terminal=true"_s;
    QTest::newRow("settings panel") << game.arg(u"Settings"_s) + u"Name=Pad\nExec=mines\n"_s << u"skip:Settings"_s;
    QTest::newRow("NoDisplay") << game.arg(u"ActionGame"_s) + u"Name=No\nExec=mines\nNoDisplay=true\n"_s
                               << u"skip:NoDisplay"_s;
    QTest::newRow("Hidden") << game.arg(u"ActionGame"_s) + u"Name=Hid\nExec=mines\nHidden=true\n"_s << u"skip:Hidden"_s;
    QTest::newRow("open quote") << game.arg(u"ActionGame"_s) + u"Name=Q\nExec=\"mines\n"_s << u"skip:引号"_s;
    QTest::newRow("not a game") << u"[Desktop Entry]\nType=Application\nName=Ed\nExec=mines\nCategories=Utility;\n"_s
                                << u"absent"_s;
    QTest::newRow("a link") << u"[Desktop Entry]\nType=Link\nName=L\nURL=x\nCategories=Game;\n"_s << u"absent"_s;
    QTest::newRow("binary") << u"(written as bytes)"_s << u"skip:不是文本"_s;
}

void tst_InstalledGame::convertsEntry()
{
    QFETCH(QString, entry);
    QFETCH(QString, expected);
    QByteArray content = fill(entry).toUtf8();
    if (qstrcmp(QTest::currentDataTag(), "binary") == 0)
        content = QByteArray("[Desktop Entry]\nName=") + QByteArray("\0\xff\xfe", 3);
    QVERIFY(write(m_root->filePath(u"usr/applications/entry.desktop"_s), content));
    const QList<InstalledGame> games = InstalledGame::findAll(sources());
    if (expected == u"absent"_s) {
        QCOMPARE(games.size(), 0);
        return;
    }
    QCOMPARE(games.size(), 1);
    const InstalledGame &found = games.first();
    if (expected.startsWith(u"skip:"_s)) {
        QVERIFY2(found.skipReason.contains(expected.mid(5)), qPrintable(found.skipReason));
        return;
    }
    QVERIFY2(found.importable(), qPrintable(found.skipReason));
    const QStringList row{found.GameName, found.GamePath, found.GameRun, found.GameCmd, found.GameIcon, found.GameType};
    QCOMPARE(row.join(u'|'), fill(expected));
}

void tst_InstalledGame::firstIdWinsAndBadFilesDoNotStopTheRest()
{
    const QByteArray entry = "[Desktop Entry]\nType=Application\nCategories=Game;\nExec=mines\nName=";
    QVERIFY(write(m_root->filePath(u"home/applications/games/a.desktop"_s), entry + "Home"));
    QVERIFY(write(m_root->filePath(u"usr/applications/games-a.desktop"_s), entry + "System"));
    QVERIFY(write(m_root->filePath(u"usr/applications/b.desktop"_s), entry + "Other"));
    QVERIFY(write(m_root->filePath(u"usr/applications/c.desktop"_s), QByteArray("\0\x01\x02", 3)));
    QStringList rows;
    for (const InstalledGame &game : InstalledGame::findAll(sources()))
        rows.append(game.GameName + u':' + (game.importable() ? u"ok"_s : game.skipReason));
    QCOMPARE(rows, (QStringList{u"Other:ok"_s, u"c.desktop:不是文本格式的桌面项文件"_s, u"Home:ok"_s}));
}

// A link to /proc, to the root or back up must not walk the whole file system: only folders inside
// the folders scanned are read, each once.
void tst_InstalledGame::linksLeadNowhereOutsideTheFolders()
{
    const QByteArray entry = "[Desktop Entry]\nType=Application\nCategories=Game;\nExec=mines\nName=";
    const QString apps = m_root->filePath(u"usr/applications"_s);
    QVERIFY(write(apps + u"/games/in.desktop"_s, entry + "In"));
    QVERIFY(write(m_root->filePath(u"elsewhere/out.desktop"_s), entry + "Out"));
    QVERIFY(QFile::link(u"/proc"_s, apps + u"/proc"_s));
    QVERIFY(QFile::link(u"/"_s, apps + u"/root"_s));
    QVERIFY(QFile::link(m_root->filePath(u"elsewhere"_s), apps + u"/elsewhere"_s));
    QVERIFY(QFile::link(apps, apps + u"/games/loop"_s));
    QVERIFY(QFile::link(apps + u"/games"_s, m_root->filePath(u"home/applications/shared"_s)));
    QStringList rows;
    for (const DesktopEntryScanner::Found &found : DesktopEntryScanner::scan(sources().applicationFolders))
        rows.append(found.id);
    // The earlier folder reaches the shared one first, under its own name for it.
    QCOMPARE(rows, (QStringList{u"shared-in.desktop"_s}));
    QCOMPARE(DesktopEntryScanner::scan({u"/proc/self"_s, u"/sys"_s}).size(), 0);
}

void tst_InstalledGame::argumentTextSplitsBack_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::newRow("none") << QStringList();
    QTest::newRow("plain") << QStringList{u"-a"_s, u"b"_s};
    QTest::newRow("spaces and tabs") << QStringList{u"a b"_s, u"c\td"_s};
    QTest::newRow("quotes and backslashes") << QStringList{u"say \"hi\""_s, u"back\\slash"_s, u"\""_s};
    QTest::newRow("empty") << QStringList{QString(), u"x"_s};
    QTest::newRow("the word for none") << QStringList{u"无"_s};
}

void tst_InstalledGame::argumentTextSplitsBack()
{
    QFETCH(QStringList, arguments);
    const QString text = InstalledGame::argumentText(arguments);
    QCOMPARE(text == u"无"_s ? QStringList() : CommandLine::split(text), arguments);
}

void tst_InstalledGame::searchesDebianGameFolders()
{
    const QStringList folders = ProgramLookup::searchFolders();
    QVERIFY(folders.contains(u"/usr/games"_s));
    QVERIFY(folders.contains(u"/usr/local/games"_s));
}

QTEST_GUILESS_MAIN(tst_InstalledGame)
#include "tst_InstalledGame.moc"
