#include "main_window/FormLayout.h"

#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QVariant>
#include <QWidget>

#include <algorithm>
#include <cmath>

namespace {

// Widgets that hold designed controls of their own; other widgets' children are their insides.
bool isContainer(const QWidget *widget)
{
    const QMetaObject *type = widget->metaObject();
    return type == &QWidget::staticMetaObject || type == &QFrame::staticMetaObject
        || type == &QGroupBox::staticMetaObject || type == &QLabel::staticMetaObject;
}

bool isControl(const QWidget *widget)
{
    return !widget->isWindow() && !widget->objectName().startsWith(QLatin1String("qt_"));
}

void collect(QWidget *parent, QList<QWidget *> &controls)
{
    for (QObject *child : parent->children()) {
        if (!child->isWidgetType())
            continue;
        auto *widget = static_cast<QWidget *>(child);
        if (!isControl(widget))
            continue;
        controls.append(widget);
        if (isContainer(widget))
            collect(widget, controls);
    }
}

int scaled(double value, double ratio)
{
    // A record that is no number of ours (NaN, 1e308) must not turn into an undefined size.
    const double result = value * ratio;
    if (!std::isfinite(result))
        return 0;
    return static_cast<int>(std::lround(std::clamp(result, -double(QWIDGETSIZE_MAX), double(QWIDGETSIZE_MAX))));
}

} // namespace

int FormLayout::InitialScaleWidth() const
{
    return m_initialScaleWidth;
}

int FormLayout::InitialScaleHeight() const
{
    return m_initialScaleHeight;
}

bool FormLayout::IsMinimised(const QWidget *form)
{
    return form->window()->windowState() & Qt::WindowMinimized;
}

int FormLayout::ScaleWidth(const QWidget *form)
{
    return IsMinimised(form) ? 0 : form->width();
}

int FormLayout::ScaleHeight(const QWidget *form)
{
    return IsMinimised(form) ? 0 : form->height();
}

QList<QWidget *> FormLayout::Controls(QWidget *form)
{
    QList<QWidget *> controls;
    collect(form, controls);
    return controls;
}

QString FormLayout::Record(const QWidget *control)
{
    const QRect g = control->geometry();
    QString record;
    for (int value : {g.left(), g.top(), g.width(), g.height()})
        record += QString::number(value) + u' ';
    return record;
}

QRect FormLayout::ScaledRect(const QString &record, double sx, double sy)
{
    const QList<double> r = ReadRecord(record);
    return QRect(scaled(r.at(0), sx), scaled(r.at(1), sy), qMax(0, scaled(r.at(2), sx)), qMax(0, scaled(r.at(3), sy)));
}

QList<double> FormLayout::ReadRecord(const QString &record)
{
    QList<double> fields;
    qsizetype start = 0;
    for (int i = 0; i < 4; ++i) {
        const qsizetype space = record.indexOf(u' ', start);
        if (space < 0) {
            fields.append(0.0);
            continue;
        }
        fields.append(record.mid(start, space - start).toDouble());
        start = space + 1;
    }
    return fields;
}

void FormLayout::ResizeInit(QWidget *form)
{
    m_initialScaleWidth = ScaleWidth(form);
    m_initialScaleHeight = ScaleHeight(form);
    for (QWidget *control : Controls(form))
        control->setProperty(TagProperty, Record(control));
}

bool FormLayout::ResizeForm(QWidget *form)
{
    if (m_initialScaleWidth == 0 || m_initialScaleHeight == 0)
        return false;
    const double sx = static_cast<double>(ScaleWidth(form)) / m_initialScaleWidth;
    const double sy = static_cast<double>(ScaleHeight(form)) / m_initialScaleHeight;
    for (QWidget *control : Controls(form)) {
        const QVariant tag = control->property(TagProperty);
        // Widgets made after the record was taken have none and keep their place.
        if (!tag.isValid())
            continue;
        control->setGeometry(ScaledRect(tag.toString(), sx, sy));
    }
    return true;
}

int FormLayout::MinimumScaleHeight(QWidget *form, const QWidget *tabControl, int rowHeight) const
{
    if (m_initialScaleHeight <= 0 || rowHeight <= 0)
        return 0;
    double minimum = 0;
    for (QWidget *control : Controls(form)) {
        const QVariant tag = control->property(TagProperty);
        // Controls inside containers move with their container.
        if (control == tabControl || control->parentWidget() != form || !tag.isValid())
            continue;
        const double top = ReadRecord(tag.toString()).at(1);
        // A control designed at the very top cannot be kept off the row by any height.
        if (!(top > 0))
            continue;
        minimum = std::max(minimum, std::ceil(rowHeight * double(m_initialScaleHeight) / top));
    }
    return static_cast<int>(std::min(minimum, double(QWIDGETSIZE_MAX)));
}

void FormLayout::Form_Resize(QWidget *form, QWidget *tabControl)
{
    ResizeForm(form);
    if (IsMinimised(form) || !tabControl)
        return;
    tabControl->setGeometry(0, 0, ScaleWidth(form), ScaleHeight(form));
}
