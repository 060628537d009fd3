#include "IconFile.h"
#include "icons/IconCache.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>
#include <QTest>

#include <atomic>
#include <thread>
#include <vector>

using namespace Qt::StringLiterals;

namespace {

const QRgb White = qRgb(255, 255, 255);

QImage solid(QRgb colour)
{
    QImage image(32, 32, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

void writeBytes(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(bytes) != bytes.size())
        qFatal("cannot write fixture");
}

void setModified(const QString &path, const QDateTime &when)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite) || !file.setFileTime(when, QFileDevice::FileModificationTime))
        qFatal("cannot set the modification time");
}

} // namespace

class tst_IconCache : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void buildsAndReusesCanvas();
    void changedSizeIsReread();
    void changedTimeIsReread();
    void missingFileIsWhiteUntilItAppears();
    void clearEmpties();
    void costLimitBoundsEntries();
    void concurrentCallers();

private:
    QTemporaryDir m_dir;
};

void tst_IconCache::buildsAndReusesCanvas()
{
    IconCache cache;
    const QString path = m_dir.filePath(u"reuse.ico"_s);
    QVERIFY(IconFile::writeIco(solid(qRgb(255, 0, 0)), path));
    const QImage first = cache.canvas(path);
    QCOMPARE(first.size(), QSize(33, 33));
    QCOMPARE(first.pixel(0, 0), qRgb(255, 0, 0));
    QCOMPARE(first.pixel(32, 32), White);
    QCOMPARE(cache.size(), 1);
    QCOMPARE(cache.canvas(path).constBits(), first.constBits());
    QCOMPARE(cache.size(), 1);
}

void tst_IconCache::changedSizeIsReread()
{
    IconCache cache;
    const QString path = m_dir.filePath(u"game.exe"_s);
    QVERIFY(IconFile::writeIco(solid(qRgb(255, 0, 0)), path));
    QCOMPARE(cache.canvas(path).pixel(5, 5), qRgb(255, 0, 0));
    const QDateTime modified = QFileInfo(path).lastModified();
    writeBytes(path, IconFile::makePeWithIcon(solid(qRgb(0, 0, 255))));
    setModified(path, modified);
    QCOMPARE(cache.canvas(path).pixel(5, 5), qRgb(0, 0, 255));
    QCOMPARE(cache.size(), 1);
}

void tst_IconCache::changedTimeIsReread()
{
    IconCache cache;
    const QString path = m_dir.filePath(u"same-size.ico"_s);
    QVERIFY(IconFile::writeIco(solid(qRgb(255, 0, 0)), path));
    const QDateTime modified = QDateTime::currentDateTime().addSecs(-100);
    setModified(path, modified);
    QCOMPARE(cache.canvas(path).pixel(5, 5), qRgb(255, 0, 0));

    // Same size and time: the cached canvas is still taken, which shows it is not re-read.
    writeBytes(path, IconFile::makeIco(solid(qRgb(0, 255, 0))));
    setModified(path, modified);
    QCOMPARE(cache.canvas(path).pixel(5, 5), qRgb(255, 0, 0));

    setModified(path, modified.addSecs(10));
    QCOMPARE(cache.canvas(path).pixel(5, 5), qRgb(0, 255, 0));
}

void tst_IconCache::missingFileIsWhiteUntilItAppears()
{
    IconCache cache;
    const QString path = m_dir.filePath(u"later.ico"_s);
    const QImage white = cache.canvas(path);
    QCOMPARE(white.size(), QSize(33, 33));
    QCOMPARE(white.pixel(0, 0), White);
    QCOMPARE(cache.size(), 1);
    QVERIFY(IconFile::writeIco(solid(qRgb(0, 0, 255)), path));
    QCOMPARE(cache.canvas(path).pixel(0, 0), qRgb(0, 0, 255));
    QVERIFY(QFile::remove(path));
    QCOMPARE(cache.canvas(path).pixel(0, 0), White);
}

void tst_IconCache::clearEmpties()
{
    IconCache cache;
    cache.canvas(m_dir.filePath(u"a"_s));
    cache.canvas(m_dir.filePath(u"b"_s));
    QCOMPARE(cache.size(), 2);
    cache.clear();
    QCOMPARE(cache.size(), 0);
    QCOMPARE(IconCache::shared().canvas(m_dir.filePath(u"a"_s)).pixel(0, 0), White);
}

void tst_IconCache::costLimitBoundsEntries()
{
    IconCache cache(10 * 33 * 33 * 4);
    for (int i = 0; i < 40; ++i) {
        const QString path = m_dir.filePath(u"bound%1.ico"_s.arg(i));
        QVERIFY(IconFile::writeIco(solid(qRgb(i, 0, 0)), path));
        QCOMPARE(cache.canvas(path).pixel(0, 0), qRgb(i, 0, 0));
    }
    QVERIFY(cache.size() <= 10);
    QVERIFY(cache.size() > 0);
}

void tst_IconCache::concurrentCallers()
{
    IconCache cache;
    QStringList paths;
    for (int i = 0; i < 8; ++i) {
        paths.append(m_dir.filePath(u"thread%1.ico"_s.arg(i)));
        QVERIFY(IconFile::writeIco(solid(qRgb(0, i * 30, 0)), paths.last()));
    }
    std::atomic<int> wrong = 0;
    std::vector<std::thread> threads;
    for (int t = 0; t < 4; ++t) {
        threads.emplace_back([&cache, &paths, &wrong, t] {
            for (int n = 0; n < 200; ++n) {
                const int i = (n + t) % int(paths.size());
                if (cache.canvas(paths.at(i)).pixel(3, 3) != qRgb(0, i * 30, 0))
                    ++wrong;
                if (n % 50 == 0)
                    cache.clear();
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    QCOMPARE(wrong.load(), 0);
}

QTEST_MAIN(tst_IconCache)
#include "tst_IconCache.moc"
