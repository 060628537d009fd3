#include "icons/IconReader.h"

#include <QBuffer>
#include <QFile>
#include <QFileInfo>
#include <QImageReader>
#include <QList>
#include <QPainter>
#include <QSvgRenderer>
#include <QtEndian>

#include <cstdlib>
#include <optional>

using namespace Qt::StringLiterals;

namespace {

constexpr int MaxIconSide = 256;
constexpr qint64 MaxIconBytes = 1024 * 1024;
constexpr qint64 MaxPictureBytes = 4 * 1024 * 1024;
constexpr int MaxPictureSide = 1024;
constexpr int MaxSections = 1024;
constexpr quint32 HighBit = 0x80000000u;
constexpr quint32 RtIcon = 3;
constexpr quint32 RtGroupIcon = 14;

bool fits(const QByteArray &bytes, qint64 at, qint64 length)
{
    return at >= 0 && length >= 0 && at <= bytes.size() && length <= bytes.size() - at;
}

quint16 u16(const QByteArray &bytes, qint64 at)
{
    return fits(bytes, at, 2) ? qFromLittleEndian<quint16>(bytes.constData() + at) : 0;
}

quint32 u32(const QByteArray &bytes, qint64 at)
{
    return fits(bytes, at, 4) ? qFromLittleEndian<quint32>(bytes.constData() + at) : 0;
}

qint32 s32(const QByteArray &bytes, qint64 at)
{
    return static_cast<qint32>(u32(bytes, at));
}

// One image of an icon directory (.ico file or group icon resource).
struct IconEntry
{
    int width = 0;
    int height = 0;
    int bitCount = 0;
    quint32 bytes = 0;
    quint32 locator = 0; // file offset in a .ico, RT_ICON id in a group
};

int bitsFromColours(int colours)
{
    int bits = 0;
    while (bits < 32 && (1 << bits) < colours)
        ++bits;
    return bits;
}

// Both directory layouts share the first 12 bytes of an entry; only the tail differs.
IconEntry parseEntry(const QByteArray &dir, qint64 at, bool groupEntry)
{
    IconEntry entry;
    entry.width = static_cast<quint8>(dir.at(at)) ? static_cast<quint8>(dir.at(at)) : 256;
    entry.height = static_cast<quint8>(dir.at(at + 1)) ? static_cast<quint8>(dir.at(at + 1)) : 256;
    entry.bitCount = u16(dir, at + 6);
    if (entry.bitCount == 0)
        entry.bitCount = bitsFromColours(static_cast<quint8>(dir.at(at + 2)));
    entry.bytes = u32(dir, at + 8);
    entry.locator = groupEntry ? u16(dir, at + 12) : u32(dir, at + 12);
    return entry;
}

// Icon directory header: reserved 0, type 1, a count; then `count` entries of `entrySize`.
QList<IconEntry> parseDirectory(const QByteArray &dir, bool groupEntries)
{
    const int entrySize = groupEntries ? 14 : 16;
    QList<IconEntry> entries;
    const int count = u16(dir, 4);
    if (u16(dir, 0) != 0 || u16(dir, 2) != 1 || count == 0 || !fits(dir, 6, qint64(count) * entrySize))
        return entries;
    for (int i = 0; i < count; ++i)
        entries.append(parseEntry(dir, 6 + qint64(i) * entrySize, groupEntries));
    return entries;
}

// Exactly 32 x 32 with the most colours wins; otherwise the nearest size, the larger on a tie.
bool betterFit(const IconEntry &a, const IconEntry &b)
{
    const int da = std::abs(a.width - IconReader::IconSize) + std::abs(a.height - IconReader::IconSize);
    const int db = std::abs(b.width - IconReader::IconSize) + std::abs(b.height - IconReader::IconSize);
    if (da != db)
        return da < db;
    if (a.width * a.height != b.width * b.height)
        return a.width * a.height > b.width * b.height;
    return a.bitCount > b.bitCount;
}

qsizetype bestFit(const QList<IconEntry> &entries)
{
    qsizetype best = 0;
    for (qsizetype i = 1; i < entries.size(); ++i) {
        if (betterFit(entries.at(i), entries.at(best)))
            best = i;
    }
    return best;
}

constexpr int DibHeaderSize = 40;

bool validBitCount(int bits)
{
    return bits == 1 || bits == 4 || bits == 8 || bits == 24 || bits == 32;
}

quint32 bigEndian32(const QByteArray &bytes, qint64 at)
{
    return fits(bytes, at, 4) ? qFromBigEndian<quint32>(bytes.constData() + at) : 0;
}

bool isPng(const QByteArray &bytes)
{
    return bytes.startsWith("\x89PNG\r\n\x1a\n");
}

// One image of an icon directory in the form Qt's reader takes.
struct IconImage
{
    QByteArray bytes;
    QSize size;
    int bitCount = 32;
    qint64 maskAt = -1; // where the AND mask is left to us to apply
};

// A 40-byte header, and for 32-bit images an AND mask even when the file left it out.
// Qt's reader ignores the mask of 24- and 32-bit images; Windows uses it unless the alpha is
// all zero, so that case is made opaque here and masked after decoding.
IconImage dibImage(QByteArray dib)
{
    IconImage image;
    const quint32 headerSize = u32(dib, 0);
    const qint32 width = s32(dib, 4);
    const qint32 height = s32(dib, 8) / 2;
    image.bitCount = u16(dib, 14);
    if (headerSize < DibHeaderSize || headerSize > 124 || !fits(dib, 0, headerSize) || width < 1 || width > MaxIconSide
        || height < 1 || height > MaxIconSide || !validBitCount(image.bitCount) || u32(dib, 16) != 0)
        return {};
    image.size = QSize(width, height);
    dib.remove(DibHeaderSize, headerSize - DibHeaderSize);
    qToLittleEndian<quint32>(DibHeaderSize, dib.data());
    const qint64 pixelsEnd = DibHeaderSize + (qint64(width) * image.bitCount + 31) / 32 * 4 * height;
    if (image.bitCount == 24)
        image.maskAt = pixelsEnd;
    if (image.bitCount == 32) {
        if (dib.size() < pixelsEnd)
            return {};
        dib.resize(pixelsEnd + (qint64(width) + 31) / 32 * 4 * height, '\0');
        bool alpha = false;
        for (qint64 at = DibHeaderSize + 3; at < pixelsEnd && !alpha; at += 4)
            alpha = dib.at(at) != 0;
        for (qint64 at = DibHeaderSize + 3; at < pixelsEnd && !alpha; at += 4)
            dib[at] = char(0xFF);
        image.maskAt = alpha ? -1 : pixelsEnd;
    }
    image.bytes = dib;
    return image;
}

IconImage pngImage(const QByteArray &png)
{
    // The size in the header is checked before anything is allocated for it.
    const quint32 width = bigEndian32(png, 16);
    const quint32 height = bigEndian32(png, 20);
    if (png.mid(12, 4) != "IHDR" || width < 1 || width > MaxIconSide || height < 1 || height > MaxIconSide)
        return {};
    return {png, QSize(int(width), int(height)), 32, -1};
}

// The image as a .ico with a single entry.
QByteArray singleIconFile(const IconImage &image)
{
    QByteArray ico(22, '\0');
    qToLittleEndian<quint16>(1, ico.data() + 2);
    qToLittleEndian<quint16>(1, ico.data() + 4);
    ico[6] = char(image.size.width() & 0xFF); // 256 is written as 0
    ico[7] = char(image.size.height() & 0xFF);
    qToLittleEndian<quint16>(1, ico.data() + 10);
    qToLittleEndian<quint16>(quint16(image.bitCount), ico.data() + 12);
    qToLittleEndian<quint32>(quint32(image.bytes.size()), ico.data() + 14);
    qToLittleEndian<quint32>(22, ico.data() + 18);
    return ico + image.bytes;
}

// Where the AND mask has a set bit the icon is transparent.
void applyMask(QImage &picture, const IconImage &image)
{
    const qint64 stride = (qint64(picture.width()) + 31) / 32 * 4;
    if (image.maskAt < 0 || !fits(image.bytes, image.maskAt, stride * picture.height()))
        return;
    for (int y = 0; y < picture.height(); ++y) {
        const char *mask = image.bytes.constData() + image.maskAt + (picture.height() - 1 - y) * stride;
        auto *line = reinterpret_cast<QRgb *>(picture.scanLine(y));
        for (int x = 0; x < picture.width(); ++x) {
            if ((static_cast<quint8>(mask[x / 8]) >> (7 - x % 8)) & 1)
                line[x] = 0;
        }
    }
}

// The icon is shown at the system icon size, scaled from the best-fitting image.
QImage decodeIconImage(const QByteArray &data)
{
    const IconImage image = isPng(data) ? pngImage(data) : dibImage(data);
    if (image.bytes.isEmpty())
        return {};
    QByteArray ico = singleIconFile(image);
    QBuffer buffer(&ico);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "ico");
    QImage picture = reader.read().convertToFormat(QImage::Format_ARGB32);
    if (picture.size() != image.size)
        return {};
    applyMask(picture, image);
    if (picture.size() == QSize(IconReader::IconSize, IconReader::IconSize))
        return picture;
    return picture.scaled(IconReader::IconSize, IconReader::IconSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation)
        .convertToFormat(QImage::Format_ARGB32);
}

struct Section
{
    quint32 virtualAddress = 0;
    quint32 rawSize = 0;
    quint32 rawPointer = 0;
};

// Where the resource data lives in a PE file: its sections and the resource directory's RVA.
struct PeImage
{
    IconReader *reader = nullptr;
    QList<Section> sections;
    quint32 resourceRva = 0;

    // The file offset of `length` bytes at `rva`, when they lie in one section inside the file.
    std::optional<qint64> fileOffset(quint64 rva, quint64 length) const
    {
        for (const Section &s : sections) {
            if (rva < s.virtualAddress || rva + length > quint64(s.virtualAddress) + s.rawSize)
                continue;
            if (quint64(s.rawPointer) + s.rawSize > quint64(reader->size()))
                return std::nullopt;
            return qint64(s.rawPointer + (rva - s.virtualAddress));
        }
        return std::nullopt;
    }

    QByteArray readRva(quint64 rva, quint64 length) const
    {
        const std::optional<qint64> at = fileOffset(rva, length);
        return at ? reader->readAt(*at, qint64(length)) : QByteArray();
    }

    QByteArray readResource(quint32 offset, quint64 length) const
    {
        return readRva(quint64(resourceRva) + offset, length);
    }
};

struct ResourceEntry
{
    quint32 name = 0;
    quint32 target = 0;

    bool isDirectory() const { return target & HighBit; }
    quint32 offset() const { return target & ~HighBit; }
};

// Named entries come first, then ID entries, each group sorted, as the linker writes them.
QList<ResourceEntry> readResourceDirectory(const PeImage &pe, quint32 offset)
{
    const QByteArray header = pe.readResource(offset, 16);
    const int count = u16(header, 12) + u16(header, 14);
    QList<ResourceEntry> entries;
    if (header.isEmpty() || count == 0)
        return entries;
    const QByteArray table = pe.readResource(offset + 16u, quint64(count) * 8);
    for (int i = 0; i < count && !table.isEmpty(); ++i)
        entries.append({u32(table, i * 8), u32(table, i * 8 + 4)});
    return entries;
}

std::optional<ResourceEntry> findId(const QList<ResourceEntry> &entries, quint32 id)
{
    // Named entries carry the high bit, so they never match a 16-bit ID.
    for (const ResourceEntry &e : entries) {
        if (e.name == id)
            return e;
    }
    return std::nullopt;
}

// The data of a resource named by its type entry and name entry: its first language.
QByteArray readLeaf(const PeImage &pe, const ResourceEntry &nameEntry)
{
    if (!nameEntry.isDirectory())
        return {};
    const QList<ResourceEntry> languages = readResourceDirectory(pe, nameEntry.offset());
    if (languages.isEmpty() || languages.first().isDirectory())
        return {};
    const QByteArray dataEntry = pe.readResource(languages.first().offset(), 16);
    const quint32 size = u32(dataEntry, 4);
    if (dataEntry.isEmpty() || size == 0 || size > MaxIconBytes)
        return {};
    return pe.readRva(u32(dataEntry, 0), size);
}

QList<ResourceEntry> typeDirectory(const PeImage &pe, const QList<ResourceEntry> &root, quint32 type)
{
    const std::optional<ResourceEntry> entry = findId(root, type);
    if (!entry || !entry->isDirectory())
        return {};
    return readResourceDirectory(pe, entry->offset());
}

QImage firstGroupIcon(const PeImage &pe)
{
    const QList<ResourceEntry> root = readResourceDirectory(pe, 0);
    const QList<ResourceEntry> groups = typeDirectory(pe, root, RtGroupIcon);
    if (groups.isEmpty())
        return {};
    const QList<IconEntry> entries = parseDirectory(readLeaf(pe, groups.first()), true);
    if (entries.isEmpty())
        return {};
    const std::optional<ResourceEntry> icon =
        findId(typeDirectory(pe, root, RtIcon), entries.at(bestFit(entries)).locator);
    return icon ? decodeIconImage(readLeaf(pe, *icon)) : QImage();
}

QList<Section> parseSections(const QByteArray &table, int count)
{
    QList<Section> sections;
    for (int i = 0; i < count; ++i) {
        const qint64 at = qint64(i) * 40;
        sections.append({u32(table, at + 12), u32(table, at + 16), u32(table, at + 20)});
    }
    return sections;
}

} // namespace

IconReader::IconReader(QIODevice *device)
    : m_device(device)
    , m_size(device && device->isOpen() && !device->isSequential() ? device->size() : 0)
{
}

QByteArray IconReader::readAt(qint64 offset, qint64 length)
{
    if (offset < 0 || length <= 0 || offset > m_size || length > m_size - offset || length > ReadBudget - m_bytesRead
        || !m_device->seek(offset))
        return {};
    QByteArray bytes = m_device->read(length);
    m_bytesRead += bytes.size();
    return bytes.size() == length ? bytes : QByteArray();
}

QImage IconReader::read()
{
    const QByteArray head = readAt(0, qMin<qint64>(m_size, 8));
    if (head.size() < 6)
        return {};
    if (head.startsWith("MZ"))
        return readPe();
    if (u16(head, 0) == 0 && u16(head, 2) == 1 && u16(head, 4) != 0)
        return readIco();
    return readPicture();
}

QImage IconReader::readIco()
{
    const int count = u16(readAt(4, 2), 0);
    const QList<IconEntry> entries = parseDirectory(readAt(0, 6 + qint64(count) * 16), false);
    if (entries.isEmpty())
        return {};
    for (const IconEntry &e : entries) {
        if (e.bytes == 0 || e.bytes > MaxIconBytes || qint64(e.locator) + e.bytes > m_size)
            return {};
    }
    const IconEntry &best = entries.at(bestFit(entries));
    return decodeIconImage(readAt(best.locator, best.bytes));
}

QImage IconReader::readPe()
{
    const quint32 peAt = u32(readAt(0x3C, 4), 0);
    const QByteArray coff = readAt(peAt, 24);
    if (!coff.startsWith(QByteArrayView("PE\0\0", 4)))
        return {};
    const int sectionCount = u16(coff, 6);
    const int optionalSize = u16(coff, 20);
    const QByteArray optional = readAt(qint64(peAt) + 24, optionalSize);
    const quint16 magic = u16(optional, 0);
    const int directories = magic == 0x10b ? 96 : magic == 0x20b ? 112 : 0;
    if (directories == 0 || u32(optional, directories - 4) < 3 || !fits(optional, directories, 3 * 8)
        || sectionCount == 0 || sectionCount > MaxSections)
        return {};
    PeImage pe;
    pe.reader = this;
    pe.resourceRva = u32(optional, directories + 16);
    const QByteArray table = readAt(qint64(peAt) + 24 + optionalSize, qint64(sectionCount) * 40);
    if (pe.resourceRva == 0 || table.isEmpty())
        return {};
    pe.sections = parseSections(table, sectionCount);
    return firstGroupIcon(pe);
}

QImage IconReader::readPicture()
{
    if (m_size > MaxPictureBytes)
        return {};
    QByteArray bytes = readAt(0, m_size);
    if (looksLikeSvg(bytes))
        return renderSvg(bytes);
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer);
    const QByteArray builtIn = builtInFormat(bytes);
    if (builtIn.isEmpty())
        reader.setDecideFormatFromContent(true);
    else
        reader.setFormat(builtIn);
    const QByteArray format = reader.format();
    const QSize size = reader.size();
    // Any format Qt reads (XPM and the other X11 formats too) but icon directories, which readIco
    // alone reads, and cursors, which are no icons; pictures larger than any icon would need are
    // refused before they are decoded.
    const auto supported = [&format] {
        static const QList<QByteArray> formats = QImageReader::supportedImageFormats();
        return formats.contains(format);
    };
    if (format.isEmpty() || (builtIn.isEmpty() && !supported()) || format == "ico" || format == "cur" || size.isEmpty()
        || size.width() > MaxPictureSide || size.height() > MaxPictureSide)
        return {};
    QImage image = reader.read();
    if (image.isNull())
        return {};
    if (image.width() > IconSize || image.height() > IconSize)
        image = image.scaled(IconSize, IconSize, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    return image.convertToFormat(QImage::Format_ARGB32);
}

bool IconReader::looksLikeSvg(const QByteArray &bytes)
{
    // An XML prologue and comments may come first; the root element follows soon after.
    return bytes.left(4096).contains("<svg");
}

// The formats Qt Gui reads itself, told by their first bytes: guessing from the content instead loads
// every picture plugin, which the first icons of the list would wait for.
QByteArray IconReader::builtInFormat(const QByteArray &bytes)
{
    if (bytes.startsWith("\x89PNG\r\n\x1a\n"))
        return "png";
    if (bytes.startsWith("BM"))
        return "bmp";
    if (bytes.startsWith("/* XPM */"))
        return "xpm";
    return {};
}

QImage IconReader::renderSvg(const QByteArray &bytes)
{
    QSvgRenderer renderer(bytes);
    if (!renderer.isValid())
        return {};
    renderer.setAspectRatioMode(Qt::KeepAspectRatio);
    // Drawn at the list's size, so a scalable icon stays sharp.
    QImage image(IconSize, IconSize, QImage::Format_ARGB32_Premultiplied);
    image.fill(Qt::transparent);
    QPainter painter(&image);
    renderer.render(&painter);
    painter.end();
    return image.convertToFormat(QImage::Format_ARGB32);
}

QImage IconReader::firstIcon(const QString &path)
{
    if (!QFileInfo(path).isFile())
        return {};
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return IconReader(&file).read();
}

QImage IconReader::firstIconFromBytes(const QByteArray &bytes)
{
    QByteArray copy = bytes;
    QBuffer buffer(&copy);
    buffer.open(QIODevice::ReadOnly);
    return IconReader(&buffer).read();
}

QImage IconReader::iconCanvas(const QString &path)
{
    return canvasFor(firstIcon(path));
}

QImage IconReader::canvasFor(const QImage &icon)
{
    QImage canvas(CanvasSize, CanvasSize, QImage::Format_RGB32);
    canvas.fill(Qt::white);
    if (!icon.isNull()) {
        QPainter painter(&canvas);
        painter.drawImage(0, 0, icon);
    }
    return canvas;
}
