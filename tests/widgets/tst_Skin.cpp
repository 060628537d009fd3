#include "widgets/Skin.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>

#include <sys/stat.h>

using namespace Qt::StringLiterals;

class tst_Skin : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void cleanup() { qApp->setStyleSheet(QString()); }
    void appliesAStyleSheet();
    void ignoresFilesThatAreNoStyleSheet_data();
    void ignoresFilesThatAreNoStyleSheet();
    void shippedSampleIsAccepted();
    void ignoresWhatIsNoRegularFile_data();
    void ignoresWhatIsNoRegularFile();
    void ignoresAFileBeyondTheLimit();

private:
    QString write(const QByteArray &bytes);
    QTemporaryDir m_dir;
};

QString tst_Skin::write(const QByteArray &bytes)
{
    const QString path = m_dir.filePath(u"SkinH.SH"_s);
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate))
        return QString();
    file.write(bytes);
    return path;
}

void tst_Skin::appliesAStyleSheet()
{
    const QByteArray sheet = "QPushButton { color: #123456; } /* 按钮 */";
    QVERIFY(Skin::apply(write(sheet)));
    QCOMPARE(qApp->styleSheet(), QString::fromUtf8(sheet));
}

void tst_Skin::ignoresFilesThatAreNoStyleSheet_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::newRow("empty") << QByteArray();
    QTest::newRow("binary") << QByteArray("\x00\x01\x02SKIN{}", 9);
    QTest::newRow("not utf-8") << QByteArray("QWidget { color: red; } \xb0\xa1", 26);
    QTest::newRow("no rules") << QByteArray("just some text");
    QTest::newRow("unbalanced") << QByteArray("QWidget { color: red; ");
}

void tst_Skin::ignoresFilesThatAreNoStyleSheet()
{
    QFETCH(QByteArray, bytes);
    qApp->setStyleSheet(u"QLabel { color: blue; }"_s);
    QVERIFY(!Skin::apply(write(bytes)));
    QCOMPARE(qApp->styleSheet(), u"QLabel { color: blue; }"_s);
    QVERIFY(!Skin::apply(m_dir.filePath(u"missing.SH"_s)));
}

void tst_Skin::shippedSampleIsAccepted()
{
    QVERIFY(!Skin::readStyleSheet(QStringLiteral(JYT_SOURCE_DIR "/src/resources/SkinH.SH")).isEmpty());
}

void tst_Skin::ignoresWhatIsNoRegularFile_data()
{
    QTest::addColumn<QString>("kind");
    QTest::newRow("fifo") << u"fifo"_s; // opening it would wait for a writer for ever
    QTest::newRow("link to /dev/zero") << u"zero"_s; // reading it would never end
    QTest::newRow("folder") << u"folder"_s;
}

void tst_Skin::ignoresWhatIsNoRegularFile()
{
    QFETCH(QString, kind);
    const QString path = m_dir.filePath(kind + u".SH"_s);
    if (kind == u"fifo"_s)
        QCOMPARE(::mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == u"zero"_s)
        QVERIFY(QFile::link(u"/dev/zero"_s, path));
    else
        QVERIFY(QDir().mkdir(path));
    QCOMPARE(Skin::readStyleSheet(path), QString());
    QVERIFY(!Skin::apply(path));
}

void tst_Skin::ignoresAFileBeyondTheLimit()
{
    QByteArray sheet = "QWidget { color: red; }";
    QVERIFY(Skin::apply(write(sheet + QByteArray(Skin::MaxBytes - sheet.size(), ' '))));
    QVERIFY(!Skin::apply(write(sheet + QByteArray(Skin::MaxBytes - sheet.size() + 1, ' '))));
}

QTEST_MAIN(tst_Skin)
#include "tst_Skin.moc"
