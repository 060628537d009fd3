#pragma once

#include <QString>

// One cell of a CSV file that a spreadsheet opens: a cell beginning with =, +, -, @, TAB or CR
// gets a leading ' so the spreadsheet shows it as text instead of running it as a formula; then
// the cell is quoted by RFC 4180 when it holds a comma, a quote, CR or LF (quotes doubled).
class CsvCell
{
public:
    static QString quoted(const QString &text);
};
