#pragma once

#include "cafe/RoomReport.h"

#include <QString>

// The room's report as the operator tool prints it: aligned columns for a terminal, or CSV for a
// spreadsheet. Names come from the PCs and the catalogue, so they are made harmless for both.
class RoomReportText
{
public:
    static QString clients(const QList<RoomReport::Client> &clients);
    static QString stats(const RoomReport::Ranking &ranking);
    // UTF-8 text with CRLF line ends: the table and a total line.
    static QString csv(const RoomReport::Ranking &ranking);
};
