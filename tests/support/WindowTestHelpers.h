#pragma once

#include "game_editor/MainWindowHooks.h"
#include "platform/MessageBox.h"

#include <QList>
#include <QString>
#include <QTest>

// Counts what the operator windows ask of the main window.
struct CountingHooks : MainWindowHooks
{
    int reloads = 0;
    int refills = 0;
    void ReloadForMain() override { ++reloads; }
    void REloadMenuSStab() override { ++refills; }
};

// A message box as a test expects it.
struct Box
{
    QString text;
    int style;
    QString title;
};

// Compares the boxes shown since the last call, in their order.
inline void compareShown(const QList<Box> &expected)
{
    const QList<MessageBox::Shown> shown = MessageBox::takeShown();
    QCOMPARE(shown.size(), expected.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QCOMPARE(shown.at(i).text, expected.at(i).text);
        QCOMPARE(shown.at(i).style, expected.at(i).style);
        QCOMPARE(shown.at(i).title, expected.at(i).title);
    }
}
