#pragma once

#include <QRect>

#include <QList>
#include <QString>

class QWidget;

// Proportional layout: records every control's designed rectangle in its "Tag" property and
// scales the controls from those records whenever the form's client area changes size.
class FormLayout
{
public:
    static constexpr const char *TagProperty = "Tag";

    void ResizeInit(QWidget *form);
    // False when the load-time client size was zero, so nothing could be scaled.
    bool ResizeForm(QWidget *form);
    // The form's resize handling: scale everything, then, unless minimised, let the tab
    // control cover the whole client area.
    void Form_Resize(QWidget *form, QWidget *tabControl);

    // The least client height at which every control of the form other than the tab control
    // starts at or below the tab row, so that none covers the row; 0 when nothing limits it.
    int MinimumScaleHeight(QWidget *form, const QWidget *tabControl, int rowHeight) const;

    int InitialScaleWidth() const;
    int InitialScaleHeight() const;

    // "L T W H " with each number followed by one space.
    static QString Record(const QWidget *control);
    static QList<double> ReadRecord(const QString &record);
    // The rectangle a record gives at the ratios sx and sy; widths and heights never negative.
    static QRect ScaledRect(const QString &record, double sx, double sy);
    // The form's controls in collection order: its widgets and those inside plain containers.
    static QList<QWidget *> Controls(QWidget *form);
    static bool IsMinimised(const QWidget *form);
    // Client size as the scaling sees it; a minimised form has none.
    static int ScaleWidth(const QWidget *form);
    static int ScaleHeight(const QWidget *form);

private:
    int m_initialScaleWidth = 0;
    int m_initialScaleHeight = 0;
};
