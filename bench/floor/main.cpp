// juyoutai-floor DIR: the least a menu must do before it can show the games. Opens DIR/GameDB.dbs
// with the catalogue's key, reads every row of GameList, lists the names in a view and shows it.
// Start-up of the menu is measured against it.
#include "catalogue/Catalogue.h"

#include <QApplication>
#include <QListView>
#include <QStringList>
#include <QStringListModel>

#include <sqlite3.h>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("用法: juyoutai-floor DIR\n", stderr);
        return 2;
    }
    const QByteArray file = (QString::fromLocal8Bit(argv[1]) + u'/' + QString::fromUtf16(Catalogue::FileName)).toUtf8();
    const QByteArray key = QString::fromUtf16(Catalogue::Password).toUtf8();
    sqlite3 *db = nullptr;
    if (sqlite3_open_v2(file.constData(), &db, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK
        || sqlite3_key(db, key.constData(), int(key.size())) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    sqlite3_stmt *stmt = nullptr;
    if (sqlite3_prepare_v2(db, "Select * From GameList", -1, &stmt, nullptr) != SQLITE_OK) {
        std::fprintf(stderr, "%s\n", sqlite3_errmsg(db));
        return 1;
    }
    int name = 0;
    while (name < sqlite3_column_count(stmt) && qstricmp(sqlite3_column_name(stmt, name), "GameName") != 0)
        ++name;
    QStringList names;
    while (sqlite3_step(stmt) == SQLITE_ROW)
        names.append(QString::fromUtf8(reinterpret_cast<const char *>(sqlite3_column_text(stmt, name)),
                                       sqlite3_column_bytes(stmt, name)));
    sqlite3_finalize(stmt);
    QStringListModel model(names);
    QListView view;
    view.setWindowTitle(QStringLiteral("floor"));
    view.setUniformItemSizes(true);
    view.setModel(&model);
    view.resize(1011, 672);
    view.show();
    const int result = app.exec();
    sqlite3_close(db);
    return result;
}
