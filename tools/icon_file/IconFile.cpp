#include "IconFile.h"

#include <QSaveFile>
#include <QtEndian>

using namespace Qt::StringLiterals;

namespace {

constexpr int Side = 32;
constexpr quint32 FileAlignment = 0x200;
constexpr quint32 SectionAlignment = 0x1000;
constexpr quint32 HeadersSize = 0x200;
constexpr quint32 TextRva = 0x1000;
constexpr quint32 ResourceRva = 0x2000;
constexpr quint32 ResourceFileOffset = HeadersSize + FileAlignment;
constexpr quint32 RtIcon = 3;
constexpr quint32 RtGroupIcon = 14;
constexpr quint32 HighBit = 0x80000000u;

void put16(QByteArray &bytes, qsizetype at, quint16 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void put32(QByteArray &bytes, qsizetype at, quint32 value)
{
    qToLittleEndian(value, bytes.data() + at);
}

void append16(QByteArray &bytes, quint16 value)
{
    bytes.resize(bytes.size() + 2);
    put16(bytes, bytes.size() - 2, value);
}

void append32(QByteArray &bytes, quint32 value)
{
    bytes.resize(bytes.size() + 4);
    put32(bytes, bytes.size() - 4, value);
}

quint32 alignUp(quint32 value, quint32 alignment)
{
    return (value + alignment - 1) / alignment * alignment;
}

// Icon directory entry fields shared by .ico files and group resources (up to the size).
void appendEntryHead(QByteArray &bytes, quint32 dataSize)
{
    bytes.append(char(Side)).append(char(Side)).append(char(0)).append(char(0));
    append16(bytes, 1);
    append16(bytes, 32);
    append32(bytes, dataSize);
}

QByteArray groupResource(quint32 dataSize, quint16 iconId)
{
    QByteArray group;
    append16(group, 0);
    append16(group, 1);
    append16(group, 1);
    appendEntryHead(group, dataSize);
    append16(group, iconId);
    return group;
}

void appendDirectoryHeader(QByteArray &rsrc, quint16 named, quint16 ids)
{
    rsrc.append(12, '\0');
    append16(rsrc, named);
    append16(rsrc, ids);
}

// Lays out the resource section: root, type, name and language directories, then data
// entries, the group's name string and the data, with every offset known up front.
class ResourceSection
{
public:
    explicit ResourceSection(const QList<QImage> &images)
    {
        for (const QImage &image : images)
            m_icons.append(IconFile::makeDib(image));
    }

    QByteArray build() const
    {
        QByteArray rsrc;
        appendDirectoryHeader(rsrc, 0, 2);
        appendEntry(rsrc, RtIcon, HighBit | iconTypeDir());
        appendEntry(rsrc, RtGroupIcon, HighBit | groupTypeDir());
        appendIconTypeDir(rsrc);
        appendGroupTypeDir(rsrc);
        for (qsizetype i = 0; i < 2 * count(); ++i) {
            appendDirectoryHeader(rsrc, 0, 1);
            appendEntry(rsrc, 0x409, dataEntry(i));
        }
        for (qsizetype i = 0; i < 2 * count(); ++i)
            appendDataEntry(rsrc, i);
        appendName(rsrc);
        for (qsizetype i = 0; i < 2 * count(); ++i)
            rsrc.append(blob(i).leftJustified(alignUp(quint32(blob(i).size()), 4), '\0'));
        return rsrc;
    }

private:
    qsizetype count() const { return m_icons.size(); }
    // Resources 0 .. count-1 are the icons, count .. 2*count-1 the groups.
    QByteArray blob(qsizetype i) const
    {
        return i < count() ? m_icons.at(i)
                           : groupResource(quint32(m_icons.at(i - count()).size()), quint16(i - count() + 1));
    }
    quint32 iconTypeDir() const { return 16 + 2 * 8; }
    quint32 groupTypeDir() const { return iconTypeDir() + 16 + quint32(count()) * 8; }
    quint32 languageDir(qsizetype i) const { return groupTypeDir() + 16 + quint32(count()) * 8 + quint32(i) * 24; }
    quint32 dataEntry(qsizetype i) const { return languageDir(2 * count()) + quint32(i) * 16; }
    quint32 nameString() const { return dataEntry(2 * count()); }
    quint32 firstBlob() const { return alignUp(nameString() + 2 + 8 * 2, 4); }
    quint32 blobOffset(qsizetype i) const
    {
        quint32 at = firstBlob();
        for (qsizetype j = 0; j < i; ++j)
            at += alignUp(quint32(blob(j).size()), 4);
        return at;
    }

    static void appendEntry(QByteArray &rsrc, quint32 name, quint32 target)
    {
        append32(rsrc, name);
        append32(rsrc, target);
    }

    void appendIconTypeDir(QByteArray &rsrc) const
    {
        appendDirectoryHeader(rsrc, 0, quint16(count()));
        for (qsizetype i = 0; i < count(); ++i)
            appendEntry(rsrc, quint32(i + 1), HighBit | languageDir(i));
    }

    // The first group is named, as resource compilers write a named MAINICON.
    void appendGroupTypeDir(QByteArray &rsrc) const
    {
        appendDirectoryHeader(rsrc, 1, quint16(count() - 1));
        appendEntry(rsrc, HighBit | nameString(), HighBit | languageDir(count()));
        for (qsizetype i = 1; i < count(); ++i)
            appendEntry(rsrc, quint32(i), HighBit | languageDir(count() + i));
    }

    void appendDataEntry(QByteArray &rsrc, qsizetype i) const
    {
        append32(rsrc, ResourceRva + blobOffset(i));
        append32(rsrc, quint32(blob(i).size()));
        append32(rsrc, 0);
        append32(rsrc, 0);
    }

    static void appendName(QByteArray &rsrc)
    {
        const QString name = u"MAINICON"_s;
        append16(rsrc, quint16(name.size()));
        for (QChar c : name)
            append16(rsrc, c.unicode());
        rsrc.append(alignUp(quint32(rsrc.size()), 4) - quint32(rsrc.size()), '\0');
    }

    QList<QByteArray> m_icons;
};

QByteArray dosHeader()
{
    QByteArray dos(0x80, '\0');
    dos[0] = 'M';
    dos[1] = 'Z';
    put32(dos, 0x3C, 0x80);
    return dos;
}

QByteArray coffHeader(IconFile::PeFormat format)
{
    const bool plus = format == IconFile::PeFormat::Pe32Plus;
    QByteArray coff("PE\0\0", 4);
    append16(coff, plus ? 0x8664 : 0x14c);
    append16(coff, 2);
    append32(coff, 0);
    append32(coff, 0);
    append32(coff, 0);
    append16(coff, plus ? 240 : 224);
    append16(coff, plus ? 0x0022 : 0x0102);
    return coff;
}

QByteArray optionalHeader(IconFile::PeFormat format, quint32 resourceSize)
{
    const bool plus = format == IconFile::PeFormat::Pe32Plus;
    QByteArray opt(plus ? 240 : 224, '\0');
    put16(opt, 0, plus ? 0x20b : 0x10b);
    put32(opt, 16, TextRva);
    if (plus) {
        put32(opt, 24, 0x40000000u);
        put32(opt, 28, 0x1);
    } else {
        put32(opt, 28, 0x400000);
    }
    put32(opt, 32, SectionAlignment);
    put32(opt, 36, FileAlignment);
    put16(opt, 40, plus ? 6 : 4);
    put16(opt, 48, plus ? 6 : 4);
    put32(opt, 56, ResourceRva + alignUp(resourceSize, SectionAlignment));
    put32(opt, 60, HeadersSize);
    put16(opt, 68, 2);
    const int directories = plus ? 112 : 96;
    put32(opt, directories - 4, 16);
    put32(opt, directories + 16, ResourceRva);
    put32(opt, directories + 20, resourceSize);
    return opt;
}

QByteArray sectionHeader(const char *name, quint32 rva, quint32 virtualSize, quint32 rawPointer, quint32 rawSize,
                         quint32 characteristics)
{
    QByteArray section(40, '\0');
    for (int i = 0; name[i] && i < 8; ++i)
        section[i] = name[i];
    put32(section, 8, virtualSize);
    put32(section, 12, rva);
    put32(section, 16, rawSize);
    put32(section, 20, rawPointer);
    put32(section, 36, characteristics);
    return section;
}

} // namespace

QByteArray IconFile::makeDib(const QImage &image)
{
    QImage icon(Side, Side, QImage::Format_ARGB32);
    icon.fill(Qt::transparent);
    if (!image.isNull())
        icon = image.scaled(Side, Side, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
                   .convertToFormat(QImage::Format_ARGB32);
    QByteArray dib(40, '\0');
    put32(dib, 0, 40);
    put32(dib, 4, Side);
    put32(dib, 8, 2 * Side);
    put16(dib, 12, 1);
    put16(dib, 14, 32);
    put32(dib, 20, Side * Side * 4 + Side * 4);
    QByteArray mask(Side * 4, '\0');
    for (int y = Side - 1; y >= 0; --y) {
        const auto *line = reinterpret_cast<const QRgb *>(icon.constScanLine(y));
        for (int x = 0; x < Side; ++x) {
            append32(dib, line[x]);
            if (qAlpha(line[x]) == 0)
                mask[(Side - 1 - y) * 4 + x / 8] = char(mask.at((Side - 1 - y) * 4 + x / 8) | (0x80 >> (x % 8)));
        }
    }
    return dib + mask;
}

QByteArray IconFile::makeIco(const QImage &image)
{
    const QByteArray dib = makeDib(image);
    QByteArray ico;
    append16(ico, 0);
    append16(ico, 1);
    append16(ico, 1);
    appendEntryHead(ico, quint32(dib.size()));
    append32(ico, 6 + 16);
    return ico + dib;
}

bool IconFile::writeIco(const QImage &image, const QString &path)
{
    if (image.isNull())
        return false;
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly))
        return false;
    file.write(makeIco(image));
    return file.commit();
}

QByteArray IconFile::makePeWithIcon(const QImage &image, PeFormat format)
{
    return makePeWithIcons({image}, format);
}

QByteArray IconFile::makePeWithIcons(const QList<QImage> &images, PeFormat format)
{
    if (images.isEmpty())
        return {};
    const QByteArray rsrc = ResourceSection(images).build();
    const quint32 rsrcRaw = alignUp(quint32(rsrc.size()), FileAlignment);
    QByteArray pe = dosHeader() + coffHeader(format) + optionalHeader(format, quint32(rsrc.size()));
    pe += sectionHeader(".text", TextRva, 1, HeadersSize, FileAlignment, 0x60000020u);
    pe += sectionHeader(".rsrc", ResourceRva, quint32(rsrc.size()), ResourceFileOffset, rsrcRaw, 0x40000040u);
    pe = pe.leftJustified(HeadersSize, '\0');
    QByteArray text(FileAlignment, '\0');
    text[0] = char(0xC3); // ret
    return pe + text + rsrc.leftJustified(rsrcRaw, '\0');
}
