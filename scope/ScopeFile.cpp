#include "scope/ScopeFile.h"

#include "catalogue/Registers.h"
#include "paramdb/ObjectArchive.h"
#include "scope/ScopeTables.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

#include <cmath>
#include <cstring>

namespace vm::scope {

namespace {

class Reader {
public:
    explicit Reader(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    bool Need(size_t n) const { return bytes_.size() - pos_ >= n; }
    int32_t I32()
    {
        uint32_t v = 0;
        for (int i = 0; i < 4; ++i)
            v |= static_cast<uint32_t>(bytes_[pos_++]) << (8 * i);
        return static_cast<int32_t>(v);
    }
    uint16_t U16()
    {
        const uint16_t v = static_cast<uint16_t>(bytes_[pos_] | (bytes_[pos_ + 1] << 8));
        pos_ += 2;
        return v;
    }
    double F64()
    {
        uint64_t v = 0;
        for (int i = 0; i < 8; ++i)
            v |= static_cast<uint64_t>(bytes_[pos_++]) << (8 * i);
        double d;
        std::memcpy(&d, &v, sizeof d);
        return d;
    }
    size_t Remaining() const { return bytes_.size() - pos_; }

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

void PutI32(std::vector<uint8_t>& out, int32_t v)
{
    const uint32_t u = static_cast<uint32_t>(v);
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<uint8_t>(u >> (8 * i)));
}

void PutU16(std::vector<uint8_t>& out, uint16_t v)
{
    out.push_back(static_cast<uint8_t>(v));
    out.push_back(static_cast<uint8_t>(v >> 8));
}

void PutF64(std::vector<uint8_t>& out, double d)
{
    uint64_t v;
    std::memcpy(&v, &d, sizeof v);
    for (int i = 0; i < 8; ++i)
        out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

ScopeFileResult Fail(ScopeFileError error, std::string detail)
{
    ScopeFileResult r;
    r.error = error;
    r.detail = std::move(detail);
    return r;
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

ScopeFileResult ParseScopeFile(std::span<const uint8_t> bytes)
{
    Reader in(bytes);
    if (!in.Need(kScopeHeaderSize))
        return Fail(ScopeFileError::kShort, "header");
    ScopeFileResult result;
    ScopePicture& p = result.picture;
    if (in.I32() != kScopeMagic)
        return Fail(ScopeFileError::kBadFormat, "magic");
    p.elapsed = in.I32();
    p.spanIndex = in.I32();
    p.yMax = in.F64();
    p.yMin = in.F64();
    if (p.elapsed < 0)
        return Fail(ScopeFileError::kBadFormat, "elapsed");
    if (!InRange(p.spanIndex, static_cast<int>(kSpanSeconds.size())))
        return Fail(ScopeFileError::kBadFormat, "time span index");
    if (!std::isfinite(p.yMax) || !std::isfinite(p.yMin))
        return Fail(ScopeFileError::kBadFormat, "y range");
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
            return Fail(ScopeFileError::kBadFormat, "channel on");
        if (c.station < 0 || c.station > 255)
            return Fail(ScopeFileError::kBadFormat, "station");
        if (c.addressIndex < 0)
            return Fail(ScopeFileError::kBadFormat, "address index");
        if (!InRange(c.offsetIndex, static_cast<int>(kOffsets.size())))
            return Fail(ScopeFileError::kBadFormat, "offset index");
        if (!InRange(c.divisionIndex, static_cast<int>(kDivisions.size())))
            return Fail(ScopeFileError::kBadFormat, "division index");
    }
    const int32_t n = in.I32();
    if (n < 0)
        return Fail(ScopeFileError::kBadFormat, "point count");
    const size_t need = static_cast<size_t>(n) * kScopeBytesPerPoint;
    if (in.Remaining() < need)
        return Fail(ScopeFileError::kShort, "points");
    if (in.Remaining() > need)
        return Fail(ScopeFileError::kBadFormat, "trailing bytes");
    p.x.resize(static_cast<size_t>(n));
    for (double& x : p.x) {
        x = in.F64();
        if (!std::isfinite(x))
            return Fail(ScopeFileError::kBadFormat, "x value");
    }
    for (std::vector<double>& ys : p.y) {
        ys.resize(static_cast<size_t>(n));
        for (double& y : ys) {
            y = in.F64();
            // NaN marks a missing sample; infinities are no values at all.
            if (std::isinf(y))
                return Fail(ScopeFileError::kBadFormat, "y value");
        }
    }
    NormaliseModels(p);
    return result;
}

std::vector<uint8_t> EncodeScopeFile(const ScopePicture& p)
{
    const size_t n = p.x.size();
    std::vector<uint8_t> out;
    out.reserve(kScopeHeaderSize + kScopeBytesPerPoint * n);
    PutI32(out, kScopeMagic);
    PutI32(out, p.elapsed);
    PutI32(out, p.spanIndex);
    PutF64(out, p.yMax);
    PutF64(out, p.yMin);
    for (const ScopeFileChannel& c : p.channels) {
        PutI32(out, c.on);
        PutI32(out, c.station);
        PutI32(out, c.model);
        PutI32(out, c.version);
        PutU16(out, c.address);
        PutI32(out, c.addressIndex);
        PutI32(out, c.offsetIndex);
        PutI32(out, c.divisionIndex);
    }
    PutI32(out, static_cast<int32_t>(n));
    for (double x : p.x)
        PutF64(out, x);
    for (const std::vector<double>& ys : p.y)
        for (size_t i = 0; i < n; ++i)
            PutF64(out, i < ys.size() ? ys[i] : 0.0);
    return out;
}

ScopeFileResult LoadScopeFile(const QString& path, std::string* message)
{
    const std::string name = path.toStdString();
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        if (message)
            *message = FileCauseText(file.exists() ? FileCause::AccessDenied : FileCause::FileNotFound, name);
        return Fail(ScopeFileError::kShort, "open");
    }
    const QByteArray bytes = file.readAll();
    ScopeFileResult r = ParseScopeFile(std::span<const uint8_t>(
        reinterpret_cast<const uint8_t*>(bytes.constData()), static_cast<size_t>(bytes.size())));
    if (!r.ok() && message)
        *message = ArchiveCauseText(
            r.error == ScopeFileError::kShort ? ArchiveCause::EndOfFile : ArchiveCause::BadFormat, name);
    return r;
}

bool SaveScopeFile(const QString& path, const ScopePicture& picture, std::string* message)
{
    const std::vector<uint8_t> bytes = EncodeScopeFile(picture);
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly);
    ok = ok && file.write(reinterpret_cast<const char*>(bytes.data()), static_cast<qint64>(bytes.size())) ==
                   static_cast<qint64>(bytes.size());
    ok = ok && file.commit();
    if (!ok) {
        file.cancelWriting();
        if (message)
            *message = FileCauseText(FileCause::AccessDenied, path.toStdString()) + " " +
                       file.errorString().toStdString();
    }
    return ok;
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
