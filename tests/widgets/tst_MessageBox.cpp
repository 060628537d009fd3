#include "widgets/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

class tst_MessageBox : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void boxWithoutTitleReadsAsNotice();
};

void tst_MessageBox::boxWithoutTitleReadsAsNotice()
{
    QString title;
    // Answers the real box from inside its modal loop, so it never waits for a person
    QTimer answer;
    connect(&answer, &QTimer::timeout, this, [&] {
        if (auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget())) {
            title = box->windowTitle();
            box->button(QMessageBox::Ok)->click();
        }
    });
    answer.start(10);
    QCOMPARE(MessageBox::show(nullptr, u"文本"_s, MessageBox::OkOnly, QString()), int(MessageBox::Ok));
    QCOMPARE(title, u"提示"_s);
}

QTEST_MAIN(tst_MessageBox)
#include "tst_MessageBox.moc"
