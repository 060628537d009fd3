#pragma once

#include "MessageBoxScript.h"
#include "game_editor/MainWindowHooks.h"

#include <QImage>
#include <QLabel>
#include <QList>
#include <QObject>
#include <QString>
#include <QTest>

// A window's control by its design name; a missing one ends the test run.
template<typename T> T *control(const QObject &window, const QString &name)
{
    T *found = window.findChild<T *>(name);
    if (!found)
        qFatal("no control %s", qPrintable(name));
    return found;
}

// What a picture control shows.
inline QImage picture(const QObject &window, const QString &name)
{
    return control<QLabel>(window, name)->pixmap().toImage();
}

// Counts what the operator windows ask of the main window.
struct CountingHooks : MainWindowHooks
{
    int reloads = 0;
    int refills = 0;
    int tabKeepingReloads = 0;
    void ReloadForMain() override { ++reloads; }
    void REloadMenuSStab() override { ++refills; }
    void ReloadKeepingTab() override { ++tabKeepingReloads; }
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
    const QList<MessageBox::Shown> shown = MessageBoxScript::takeShown();
    QCOMPARE(shown.size(), expected.size());
    for (qsizetype i = 0; i < shown.size(); ++i) {
        QCOMPARE(shown.at(i).text, expected.at(i).text);
        QCOMPARE(shown.at(i).style, expected.at(i).style);
        QCOMPARE(shown.at(i).title, expected.at(i).title);
    }
}
