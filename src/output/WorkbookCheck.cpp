#include "WorkbookCheck.h"

#include <QFile>
#include <QtEndian>

#include <zlib.h>

namespace WorkbookCheck {

namespace {

constexpr quint32 kEndOfDirectory = 0x06054b50;
constexpr quint32 kDirectoryEntry = 0x02014b50;
constexpr quint32 kLocalHeader = 0x04034b50;
constexpr qint64 kChunk = 64 * 1024;

quint16 u16(const char *p)
{
    return qFromLittleEndian<quint16>(p);
}
quint32 u32(const char *p)
{
    return qFromLittleEndian<quint32>(p);
}

struct Member {
    QByteArray name;
    quint16 method = 0;
    quint32 crc = 0;
    quint32 compressed = 0;
    quint32 size = 0;
    quint32 localOffset = 0;
};

// What a worksheet's text must show: its rows and its closing tag, followed across chunks.
class SheetScan {
public:
    void feed(const char *data, qsizetype size)
    {
        // The carry holds fewer bytes than the pattern: a match in it was not counted yet.
        const QByteArray text = m_carry + QByteArray(data, size);
        m_rows += text.count(kRow);
        m_carry = text.right(kRow.size() - 1);
        m_end = (m_end + text).right(32);
    }
    qint64 rows() const { return m_rows; }
    bool closed() const { return m_end.trimmed().endsWith("</worksheet>"); }

private:
    static inline const QByteArray kRow = QByteArrayLiteral("<row ");
    QByteArray m_carry;
    QByteArray m_end;
    qint64 m_rows = 0;
};

// What a member's bytes come to as they are read out: their CRC and count, and what a sheet shows.
struct Unpacked {
    SheetScan *scan = nullptr;
    uLong crc = crc32(0, nullptr, 0);
    qint64 produced = 0;

    void take(const char *data, qint64 n)
    {
        crc = crc32(crc, reinterpret_cast<const Bytef *>(data), uInt(n));
        produced += n;
        if (scan)
            scan->feed(data, n);
    }
};

// One chunk of deflated bytes through zlib, as much output as it gives; zlib's status after it.
int inflateChunk(z_stream &stream, QByteArray &in, qint64 n, QByteArray &out, Unpacked &unpacked)
{
    stream.next_in = reinterpret_cast<Bytef *>(in.data());
    stream.avail_in = uInt(n);
    int status = Z_OK;
    do {
        stream.next_out = reinterpret_cast<Bytef *>(out.data());
        stream.avail_out = uInt(out.size());
        status = inflate(&stream, Z_NO_FLUSH);
        if (status != Z_OK && status != Z_STREAM_END && status != Z_BUF_ERROR)
            break;
        unpacked.take(out.constData(), out.size() - stream.avail_out);
    } while (stream.avail_out == 0 && status == Z_OK);
    return status;
}

QString inflateMember(QFile &file, const Member &member, SheetScan *scan)
{
    char header[30];
    if (!file.seek(member.localOffset) || file.read(header, 30) != 30 || u32(header) != kLocalHeader)
        return QStringLiteral("no local header for %1").arg(QString::fromUtf8(member.name));
    if (!file.seek(qint64(member.localOffset) + 30 + u16(header + 26) + u16(header + 28)))
        return QStringLiteral("%1 is cut off").arg(QString::fromUtf8(member.name));
    z_stream stream{};
    if (member.method == 8 && inflateInit2(&stream, -MAX_WBITS) != Z_OK)
        return QStringLiteral("no memory to inflate");
    QByteArray in(kChunk, Qt::Uninitialized);
    QByteArray out(kChunk, Qt::Uninitialized);
    Unpacked unpacked{scan};
    qint64 remaining = member.compressed;
    int status = Z_OK;
    while (remaining > 0 && status != Z_STREAM_END) {
        const qint64 n = file.read(in.data(), std::min(kChunk, remaining));
        if (n <= 0)
            break;
        remaining -= n;
        if (member.method == 0) {
            unpacked.take(in.constData(), n);
            continue;
        }
        status = inflateChunk(stream, in, n, out, unpacked);
        if (status != Z_OK && status != Z_STREAM_END)
            break;
    }
    if (member.method == 8)
        inflateEnd(&stream);
    const bool whole = member.method == 0 ? remaining == 0 : status == Z_STREAM_END;
    if (!whole || unpacked.produced != member.size || unpacked.crc != member.crc)
        return QStringLiteral("%1 is damaged").arg(QString::fromUtf8(member.name));
    return {};
}

} // namespace

QString verify(const QString &path, const QByteArray &sheetMember, qint64 rows, qint64 *rowsFound)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return file.errorString();
    const qint64 size = file.size();
    // The end-of-directory record: 22 bytes, after it at most a 64 KiB comment.
    const qint64 tailSize = std::min<qint64>(size, 22 + 0xFFFF);
    if (tailSize < 22 || !file.seek(size - tailSize))
        return QStringLiteral("no zip directory");
    const QByteArray tail = file.read(tailSize);
    qsizetype at = tail.size() - 22;
    while (at >= 0 && u32(tail.constData() + at) != kEndOfDirectory)
        --at;
    if (at < 0)
        return QStringLiteral("no zip directory");
    const quint16 count = u16(tail.constData() + at + 10);
    const quint32 directorySize = u32(tail.constData() + at + 12);
    const quint32 directoryOffset = u32(tail.constData() + at + 16);
    if (qint64(directoryOffset) + directorySize > size || !file.seek(directoryOffset))
        return QStringLiteral("no zip directory");
    const QByteArray directory = file.read(directorySize);
    QList<Member> members;
    qsizetype pos = 0;
    for (int i = 0; i < count; ++i) {
        if (pos + 46 > directory.size() || u32(directory.constData() + pos) != kDirectoryEntry)
            return QStringLiteral("damaged zip directory");
        const char *e = directory.constData() + pos;
        Member member;
        member.method = u16(e + 10);
        member.crc = u32(e + 16);
        member.compressed = u32(e + 20);
        member.size = u32(e + 24);
        member.localOffset = u32(e + 42);
        const qsizetype nameLength = u16(e + 28);
        member.name = directory.mid(pos + 46, nameLength);
        pos += 46 + nameLength + u16(e + 30) + u16(e + 32);
        if (member.method != 0 && member.method != 8)
            return QStringLiteral("unknown compression in %1").arg(QString::fromUtf8(member.name));
        members.append(member);
    }
    bool sheetSeen = false;
    for (const Member &member : members) {
        SheetScan scan;
        const bool isSheet = member.name == sheetMember;
        if (const QString damage = inflateMember(file, member, isSheet ? &scan : nullptr); !damage.isEmpty())
            return damage;
        if (!isSheet)
            continue;
        sheetSeen = true;
        if (!scan.closed())
            return QStringLiteral("the sheet ends part-way");
        if (rowsFound)
            *rowsFound = scan.rows();
        if (rows >= 0 && scan.rows() != rows)
            return QStringLiteral("the sheet has %1 of %2 rows").arg(scan.rows()).arg(rows);
    }
    return sheetSeen ? QString() : QStringLiteral("no sheet");
}

} // namespace WorkbookCheck
