#include "cafe/RoomReportText.h"

#include "cafe/CsvCell.h"
#include "platform/TerminalText.h"

#include <QStringList>

#include <vector>

using namespace Qt::StringLiterals;

namespace {

using Table = std::vector<QStringList>;

// A control character never reaches the terminal: it shows as a visible mark.
QString shown(const QString &name)
{
    return TerminalText::printable(name);
}

// Nor the spreadsheet, where a leading =, +, -, @ would make the cell a formula.
QString cell(const QString &text)
{
    return CsvCell::quoted(TerminalText::printable(text));
}

// Columns line up in a terminal: Chinese characters and full-width forms take two cells.
int cells(const QString &text)
{
    int width = 0;
    for (const QChar c : text) {
        const char16_t u = c.unicode();
        const bool wide = (u >= 0x1100 && u <= 0x115F) || (u >= 0x2E80 && u <= 0xA4CF) || (u >= 0xAC00 && u <= 0xD7A3)
            || (u >= 0xF900 && u <= 0xFAFF) || (u >= 0xFE30 && u <= 0xFE4F) || (u >= 0xFF00 && u <= 0xFF60)
            || (u >= 0xFFE0 && u <= 0xFFE6);
        width += wide ? 2 : 1;
    }
    return width;
}

QString aligned(const Table &table)
{
    std::vector<int> widths;
    for (const QStringList &row : table) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            if (size_t(c) >= widths.size())
                widths.push_back(0);
            widths[size_t(c)] = qMax(widths[size_t(c)], cells(row.at(c)));
        }
    }
    QString text;
    for (const QStringList &row : table) {
        for (qsizetype c = 0; c < row.size(); ++c) {
            text += row.at(c);
            if (c + 1 < row.size())
                text += QString(widths[size_t(c)] - cells(row.at(c)) + 2, u' ');
        }
        text += u'\n';
    }
    return text;
}

Table rankingTable(const RoomReport::Ranking &ranking)
{
    Table table{{u"排名"_s, u"游戏名称"_s, u"启动次数"_s, u"机器数"_s}};
    for (qsizetype i = 0; i < ranking.games.size(); ++i) {
        const RoomReport::Game &game = ranking.games.at(i);
        table.push_back(
            {QString::number(i + 1), game.name, QString::number(game.launches), QString::number(game.machines)});
    }
    return table;
}

} // namespace

QString RoomReportText::clients(const QList<RoomReport::Client> &clients)
{
    Table table{{u"机器名"_s, u"状态"_s, u"最后在线"_s, u"最近启动"_s}};
    for (const RoomReport::Client &client : clients) {
        const QString last =
            client.lastGame.isEmpty() ? u"—"_s : u"%1（%2）"_s.arg(shown(client.lastGame), client.lastGameAt);
        table.push_back({shown(client.name), client.online ? u"在线"_s : u"离线"_s, client.lastSeen, last});
    }
    return aligned(table);
}

QString RoomReportText::stats(const RoomReport::Ranking &ranking)
{
    Table table = rankingTable(ranking);
    for (size_t r = 1; r < table.size(); ++r)
        table[r][1] = shown(table[r][1]);
    return u"最近 %1 天启动最多的游戏：\n"_s.arg(ranking.days) + aligned(table)
        + u"启动总数 %1，机器数 %2\n"_s.arg(ranking.launches).arg(ranking.machines);
}

QString RoomReportText::csv(const RoomReport::Ranking &ranking)
{
    Table table = rankingTable(ranking);
    table.push_back({u"合计"_s, QString(), QString::number(ranking.launches), QString::number(ranking.machines)});
    QString text;
    for (const QStringList &row : table) {
        QStringList fields;
        for (const QString &field : row)
            fields.append(cell(field));
        text += fields.join(u',') + u"\r\n"_s;
    }
    return text;
}
