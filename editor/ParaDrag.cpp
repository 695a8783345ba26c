#include "editor/ParaDrag.h"

#include "paramdb/ParameterData.h"
#include "paramdb/UserGroup.h"

#include <QCoreApplication>
#include <QDataStream>
#include <QIODevice>
#include <QMimeData>

#include <atomic>

namespace vm {

namespace {
constexpr quint32 kPayloadMagic = 0x56504152;  // "VPAR"
}

uint64_t NewEditorIdentity()
{
    static std::atomic<uint64_t> next{1};
    return next++;
}

QMimeData* EncodeParaDrag(uint64_t editor, const std::vector<uint16_t>& addresses)
{
    QByteArray bytes;
    QDataStream out(&bytes, QIODevice::WriteOnly);
    out << kPayloadMagic << static_cast<qint64>(QCoreApplication::applicationPid())
        << static_cast<quint64>(editor) << static_cast<quint32>(addresses.size());
    for (uint16_t a : addresses)
        out << static_cast<quint16>(a);
    auto* mime = new QMimeData;
    mime->setData(QString::fromLatin1(kParaDragMime), bytes);
    return mime;
}

std::optional<std::vector<uint16_t>> DecodeParaDrag(const QMimeData* mime, uint64_t editor)
{
    if (!mime || !mime->hasFormat(QString::fromLatin1(kParaDragMime)))
        return std::nullopt;
    const QByteArray bytes = mime->data(QString::fromLatin1(kParaDragMime));
    QDataStream in(bytes);
    quint32 magic = 0, count = 0;
    qint64 pid = 0;
    quint64 source = 0;
    in >> magic >> pid >> source >> count;
    if (in.status() != QDataStream::Ok || magic != kPayloadMagic ||
        pid != QCoreApplication::applicationPid() || source != editor)
        return std::nullopt;
    // Two bytes per address must be there before anything is reserved.
    if (count > static_cast<quint32>(bytes.size()) / 2)
        return std::nullopt;
    std::vector<uint16_t> addresses;
    addresses.reserve(count);
    for (quint32 i = 0; i < count; ++i) {
        quint16 a = 0;
        in >> a;
        addresses.push_back(a);
    }
    if (in.status() != QDataStream::Ok)
        return std::nullopt;
    return addresses;
}

int AddToUserGroup(CCustom& group, const ParameterData& data, const std::vector<uint16_t>& addresses)
{
    int added = 0;
    for (uint16_t address : addresses) {
        const CItem* item = data.FindItem(address);
        if (!item)
            continue;
        bool contains = false;
        for (size_t i = 0; i < group.Count() && !contains; ++i)
            contains = group.EntryAt(i)->Item() == item;
        if (contains)
            continue;
        CCustom::Entry* e = group.AddEntry(item->address, item->value);
        e->valueStatus = 0;
        ++added;
    }
    if (added)
        group.SetModified(true);
    return added;
}

}  // namespace vm
