#include "scope/ScopeFile.h"

#include "base/LittleEndian.h"
#include "catalogue/Registers.h"
#include "paramdb/ObjectArchive.h"
#include "scope/ScopeTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>

namespace vm::scope {

namespace {

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Need(size_t n) const { return bytes_.size() - pos_ >= n; }
    int32_t I32() { return Next<int32_t>(); }
    uint16_t U16() { return Next<uint16_t>(); }
    double F64() { return Next<double>(); }
    size_t Remaining() const { return bytes_.size() - pos_; }

private:
    template <typename T>
    T Next()
    {
        const T v = le::Load<T>(bytes_.data() + pos_);
        pos_ += sizeof(T);
        return v;
    }

    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

Failure Fail(ScopeFileError error, std::string detail)
{
    return {error, std::move(detail)};
}

bool HasDataFile(int model)
{
    return model == kModelQmA20 || model == kModelQmC20 || model == kModelQmE20 || model == kModelQmF20X ||
           model == kModelQmB20X;
}

}  // namespace

void NormaliseModels(ScopePicture& picture)
{
    for (ScopeFileChannel& c : picture.channels) {
        if (!c.on || !HasDataFile(c.model)) {
            c.model = kNoModel;
            c.version = 0;
        }
    }
}

Result<ScopePicture> ParseScopeFile(std::span<const uint8_t> bytes)
{
    Reader in(bytes);
    if (!in.Need(kScopeHeaderSize))
        return Fail(kScopeFileShort, "header");
    ScopePicture p;
    if (in.I32() != kScopeMagic)
        return Fail(kScopeFileBadFormat, "magic");
    p.elapsed = in.I32();
    p.spanIndex = in.I32();
    p.yMax = in.F64();
    p.yMin = in.F64();
    if (p.elapsed < 0)
        return Fail(kScopeFileBadFormat, "elapsed");
    if (!InRange(p.spanIndex, static_cast<int>(kSpanSeconds.size())))
        return Fail(kScopeFileBadFormat, "time span index");
    if (!std::isfinite(p.yMax) || !std::isfinite(p.yMin))
        return Fail(kScopeFileBadFormat, "y range");
    for (ScopeFileChannel& c : p.channels) {
        c.on = in.I32();
        c.station = in.I32();
        c.model = in.I32();
        c.version = in.I32();
        c.address = in.U16();
        c.addressIndex = in.I32();
        c.offsetIndex = in.I32();
        c.divisionIndex = in.I32();
        if (c.on != 0 && c.on != 1)
            return Fail(kScopeFileBadFormat, "channel on");
        if (c.station < 0 || c.station > 255)
            return Fail(kScopeFileBadFormat, "station");
        if (c.addressIndex < 0)
            return Fail(kScopeFileBadFormat, "address index");
        if (!InRange(c.offsetIndex, static_cast<int>(kOffsets.size())))
            return Fail(kScopeFileBadFormat, "offset index");
        if (!InRange(c.divisionIndex, static_cast<int>(kDivisions.size())))
            return Fail(kScopeFileBadFormat, "division index");
    }
    const int32_t n = in.I32();
    if (n < 0)
        return Fail(kScopeFileBadFormat, "point count");
    const size_t need = static_cast<size_t>(n) * kScopeBytesPerPoint;
    if (in.Remaining() < need)
        return Fail(kScopeFileShort, "points");
    if (in.Remaining() > need)
        return Fail(kScopeFileBadFormat, "trailing bytes");
    p.x.resize(static_cast<size_t>(n));
    for (double& x : p.x) {
        x = in.F64();
        if (!std::isfinite(x))
            return Fail(kScopeFileBadFormat, "x value");
    }
    for (std::vector<double>& ys : p.y) {
        ys.resize(static_cast<size_t>(n));
        for (double& y : ys) {
            y = in.F64();
            // NaN marks a missing sample; infinities are no values at all.
            if (std::isinf(y))
                return Fail(kScopeFileBadFormat, "y value");
        }
    }
    NormaliseModels(p);
    return p;
}

std::vector<uint8_t> EncodeScopeFile(const ScopePicture& p)
{
    const size_t n = p.x.size();
    std::vector<uint8_t> out;
    out.reserve(kScopeHeaderSize + kScopeBytesPerPoint * n);
    le::Append<int32_t>(out, kScopeMagic);
    le::Append<int32_t>(out, p.elapsed);
    le::Append<int32_t>(out, p.spanIndex);
    le::Append<double>(out, p.yMax);
    le::Append<double>(out, p.yMin);
    for (const ScopeFileChannel& c : p.channels) {
        le::Append<int32_t>(out, c.on);
        le::Append<int32_t>(out, c.station);
        le::Append<int32_t>(out, c.model);
        le::Append<int32_t>(out, c.version);
        le::Append<uint16_t>(out, c.address);
        le::Append<int32_t>(out, c.addressIndex);
        le::Append<int32_t>(out, c.offsetIndex);
        le::Append<int32_t>(out, c.divisionIndex);
    }
    le::Append<int32_t>(out, static_cast<int32_t>(n));
    for (double x : p.x)
        le::Append<double>(out, x);
    for (const std::vector<double>& ys : p.y)
        for (size_t i = 0; i < n; ++i)
            le::Append<double>(out, i < ys.size() ? ys[i] : 0.0);
    return out;
}

Result<ScopePicture> LoadScopeFile(const QString& path)
{
    const std::string name = path.toStdString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return Fail(kScopeFileShort,
                    FileCauseText(file.exists() ? FileCause::AccessDenied : FileCause::FileNotFound, name));
    const QByteArray bytes = file.readAll();
    Result<ScopePicture> r = ParseScopeFile(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())));
    if (!r)
        return Fail(
            static_cast<ScopeFileError>(r.Code()),
            ArchiveCauseText(r.Code() == kScopeFileShort ? ArchiveCause::EndOfFile : ArchiveCause::BadFormat,
                             name));
    return r;
}

Result<void> SaveScopeFile(const QString& path, const ScopePicture& picture)
{
    const std::vector<uint8_t> bytes = EncodeScopeFile(picture);
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    ok = ok && file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
                   static_cast<qint64>(bytes.size());
    ok = ok && file.commit();
    if (!ok) {
        file.cancelWriting();
        // QSaveFile may fail without a file error of its own (a failed commit).
        const int code = file.error() != QFileDevice::NoError ? file.error() : QFileDevice::WriteError;
        return Failure{code, FileCauseText(FileCause::AccessDenied, path.toStdString()) + " " +
                                 file.errorString().toStdString()};
    }
    return {};
}

QString ProposedFileName(const QString& folder, const QString& current, const QString& suffix)
{
    const QFileInfo info(current);
    const QString dir = folder.isEmpty() && !current.isEmpty() ? info.absolutePath() : folder;
    if (current.isEmpty())
        return dir;
    const QString name = info.completeBaseName() + suffix;
    return dir.isEmpty() ? name : QDir(dir).filePath(name);
}

}  // namespace vm::scope
