#include "paramdb/ObjectArchive.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

#include "base/LittleEndian.h"
#include "paramdb/TextCodec.h"

namespace vm {

namespace {

// Long texts and arrays grow by this much at a time, so a corrupted length fails at the end of
// the file instead of allocating what it claims.
constexpr size_t kGrowStep = 64 * 1024;

std::string ReplacePath(std::string text, const std::string& path)
{
    const auto at = text.find("%1");
    if (at != std::string::npos)
        text.replace(at, 2, path);
    return text;
}

class FileDescriptor {
public:
    explicit FileDescriptor(int fd = -1) : fd_(fd) {}
    ~FileDescriptor() { Close(); }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    void Reset(int fd)
    {
        Close();
        fd_ = fd;
    }
    int Get() const { return fd_; }
    bool Valid() const { return fd_ >= 0; }
    // Returns 0 or the errno of close.
    int Close()
    {
        if (fd_ < 0)
            return 0;
        const int rc = ::close(fd_);
        fd_ = -1;
        return rc == 0 ? 0 : errno;
    }

private:
    int fd_;
};

[[noreturn]] void ThrowErrno(int err)
{
    throw FileException(FileCauseFromErrno(err), err);
}

// Readers share a file (the program and the simulator load the same data files at once); a
// writer excludes everyone. Either way a conflicting holder is a sharing violation, not a wait.
void Lock(int fd, int operation)
{
    while (::flock(fd, operation | LOCK_NB) != 0) {
        if (errno == EINTR)
            continue;
        if (errno == EWOULDBLOCK)
            throw FileException(FileCause::SharingViolation, errno);
        ThrowErrno(errno);
    }
}

class FdSource final : public ByteSource {
public:
    explicit FdSource(int fd) : fd_(fd) {}
    size_t ReadSome(void* dst, size_t n) override
    {
        for (;;) {
            const ssize_t got = ::read(fd_, dst, n);
            if (got >= 0)
                return static_cast<size_t>(got);
            if (errno != EINTR)
                ThrowErrno(errno);
        }
    }

private:
    int fd_;
};

class FdSink final : public ByteSink {
public:
    explicit FdSink(int fd) : fd_(fd) {}
    void Write(const void* src, size_t n) override
    {
        auto p = static_cast<const uint8_t*>(src);
        while (n > 0) {
            const ssize_t put = ::write(fd_, p, n);
            if (put < 0) {
                if (errno == EINTR)
                    continue;
                ThrowErrno(errno);
            }
            p += put;
            n -= static_cast<size_t>(put);
        }
    }

private:
    int fd_;
};

std::string FolderOf(const std::string& path)
{
    const auto slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string TempNameFor(const std::string& target)
{
    static std::atomic<unsigned> counter{0};
    const auto slash = target.find_last_of('/');
    const std::string folder = slash == std::string::npos ? std::string() : target.substr(0, slash + 1);
    const std::string name = slash == std::string::npos ? target : target.substr(slash + 1);
    return folder + "." + name + ".tmp-" + std::to_string(::getpid()) + "-" + std::to_string(counter++);
}

// A save replaces the file a symbolic link points to, not the link.
std::string ResolveTarget(const std::string& path)
{
    struct stat st {};
    if (::lstat(path.c_str(), &st) == 0 && S_ISLNK(st.st_mode)) {
        if (char* real = ::realpath(path.c_str(), nullptr)) {
            std::string resolved(real);
            std::free(real);
            return resolved;
        }
    }
    return path;
}

}  // namespace

FileCause FileCauseFromErrno(int err)
{
    switch (err) {
    case ENOENT:
        return FileCause::FileNotFound;
    case ENOTDIR:
    case ENAMETOOLONG:
    case ELOOP:
        return FileCause::BadPath;
    case EMFILE:
    case ENFILE:
        return FileCause::TooManyOpenFiles;
    case EACCES:
    case EPERM:
    case EROFS:
    case EISDIR:
    case ETXTBSY:
        return FileCause::AccessDenied;
    case EBADF:
        return FileCause::InvalidFile;
    case ESPIPE:
        return FileCause::BadSeek;
    case EIO:
        return FileCause::HardIO;
    case EWOULDBLOCK:
        return FileCause::SharingViolation;
    case ENOLCK:
        return FileCause::LockViolation;
    case ENOSPC:
    case EDQUOT:
    case EFBIG:
        return FileCause::DiskFull;
    default:
        return FileCause::Generic;
    }
}

std::string ArchiveCauseText(ArchiveCause cause, const std::string& path)
{
    switch (cause) {
    case ArchiveCause::EndOfFile:
        return ReplacePath("An attempt was made to access %1 past its end.", path);
    case ArchiveCause::BadFormat:
        return ReplacePath("%1 has a bad format.", path);
    default:
        return ReplacePath("An unknown error occurred while accessing %1.", path);
    }
}

std::string FileCauseText(FileCause cause, const std::string& path)
{
    const char* text = "An unknown error occurred while accessing %1.";
    switch (cause) {
    case FileCause::None:
    case FileCause::Generic:
        break;
    case FileCause::FileNotFound:
        text = "%1 was not found.";
        break;
    case FileCause::BadPath:
        text = "%1 contains an invalid path.";
        break;
    case FileCause::TooManyOpenFiles:
        text = "%1 could not be opened because there are too many open files.";
        break;
    case FileCause::AccessDenied:
        text = "Access to %1 was denied.";
        break;
    case FileCause::InvalidFile:
        text = "An invalid file handle was associated with %1.";
        break;
    case FileCause::RemoveCurrentDir:
        text = "%1 could not be removed because it is the current directory.";
        break;
    case FileCause::DirectoryFull:
        text = "%1 could not be created because the directory is full.";
        break;
    case FileCause::BadSeek:
        text = "Seek failed on %1";
        break;
    case FileCause::HardIO:
        text = "A hardware I/O error was reported while accessing %1.";
        break;
    case FileCause::SharingViolation:
        text = "A sharing violation occurred while accessing %1.";
        break;
    case FileCause::LockViolation:
        text = "A locking violation occurred while accessing %1.";
        break;
    case FileCause::DiskFull:
        text = "Disk full while accessing %1.";
        break;
    case FileCause::EndOfFile:
        text = "An attempt was made to access %1 past its end.";
        break;
    }
    return ReplacePath(text, path);
}

size_t MemorySource::ReadSome(void* dst, size_t n)
{
    const size_t take = std::min(n, bytes_.size() - pos_);
    if (take > 0)
        std::memcpy(dst, bytes_.data() + pos_, take);
    pos_ += take;
    return take;
}

void MemorySink::Write(const void* src, size_t n)
{
    auto p = static_cast<const uint8_t*>(src);
    bytes_.insert(bytes_.end(), p, p + n);
}

ObjectArchive::ObjectArchive(ByteSource& source, std::string path)
    : source_(&source), path_(std::move(path)), buffer_(new uint8_t[kBufferSize])
{}

ObjectArchive::ObjectArchive(ByteSink& sink, std::string path)
    : sink_(&sink), path_(std::move(path)), buffer_(new uint8_t[kBufferSize])
{}

// Makes n (at most kBufferSize) bytes available at pos_, or fails with end of file.
void ObjectArchive::Fill(size_t n)
{
    if (end_ - pos_ >= n)
        return;
    std::memmove(buffer_.get(), buffer_.get() + pos_, end_ - pos_);
    end_ -= pos_;
    pos_ = 0;
    while (end_ < n) {
        const size_t got = source_->ReadSome(buffer_.get() + end_, kBufferSize - end_);
        if (got == 0)
            throw ArchiveException(ArchiveCause::EndOfFile);
        end_ += got;
    }
}

uint8_t ObjectArchive::ReadU8()
{
    Fill(1);
    return buffer_[pos_++];
}

template <typename T>
T ObjectArchive::ReadLe()
{
    Fill(sizeof(T));
    const T v = le::Load<T>(buffer_.get() + pos_);
    pos_ += sizeof(T);
    return v;
}

template <typename T>
void ObjectArchive::WriteLe(T v)
{
    uint8_t b[sizeof(T)];
    le::Store(b, v);
    Put(b, sizeof b);
}

uint16_t ObjectArchive::ReadU16()
{
    return ReadLe<uint16_t>();
}

uint32_t ObjectArchive::ReadU32()
{
    return ReadLe<uint32_t>();
}

double ObjectArchive::ReadDouble()
{
    return ReadLe<double>();
}

void ObjectArchive::Put(const uint8_t* bytes, size_t n)
{
    if (kBufferSize - end_ < n)
        Flush();
    std::memcpy(buffer_.get() + end_, bytes, n);
    end_ += n;
}

void ObjectArchive::WriteU8(uint8_t v)
{
    Put(&v, 1);
}

void ObjectArchive::WriteU16(uint16_t v)
{
    WriteLe(v);
}

void ObjectArchive::WriteU32(uint32_t v)
{
    WriteLe(v);
}

void ObjectArchive::WriteDouble(double v)
{
    WriteLe(v);
}

void ObjectArchive::Flush()
{
    if (!sink_ || end_ == 0)
        return;
    const size_t n = end_;
    end_ = 0;  // a failed write is not retried by a later flush
    sink_->Write(buffer_.get(), n);
}

size_t ObjectArchive::ReadBlock(void* dst, size_t n)
{
    auto out = static_cast<uint8_t*>(dst);
    const size_t buffered = std::min(n, end_ - pos_);
    if (buffered > 0)
        std::memcpy(out, buffer_.get() + pos_, buffered);
    pos_ += buffered;
    size_t done = buffered;
    // Large remainders go straight to the destination; small ones through the buffer.
    while (done < n) {
        const size_t want = n - done;
        if (want >= kBufferSize) {
            const size_t got = source_->ReadSome(out + done, want);
            if (got == 0)
                break;
            done += got;
        } else {
            pos_ = end_ = 0;
            const size_t got = source_->ReadSome(buffer_.get(), kBufferSize);
            if (got == 0)
                break;
            end_ = got;
            const size_t take = std::min(want, got);
            std::memcpy(out + done, buffer_.get(), take);
            pos_ = take;
            done += take;
        }
    }
    return done;
}

void ObjectArchive::WriteBlock(const void* src, size_t n)
{
    auto p = static_cast<const uint8_t*>(src);
    if (n <= kBufferSize - end_) {
        Put(p, n);
        return;
    }
    Flush();
    if (n >= kBufferSize)
        sink_->Write(p, n);
    else
        Put(p, n);
}

// The length prefix of a string; *wide tells whether the wide-text marker came first.
uint64_t ObjectArchive::ReadLength(bool* wide)
{
    *wide = false;
    for (;;) {
        const uint8_t b = ReadU8();
        if (b < 0xFF)
            return b;
        const uint16_t w = ReadU16();
        if (w == 0xFFFE) {
            if (*wide)
                throw ArchiveException(ArchiveCause::Generic);  // two markers in a row
            *wide = true;
            continue;
        }
        if (w < 0xFFFF)
            return w;
        return ReadU32();
    }
}

std::string ObjectArchive::ReadText(uint64_t n)
{
    std::string text;
    while (text.size() < n) {
        const size_t chunk = static_cast<size_t>(std::min<uint64_t>(n - text.size(), kGrowStep));
        const size_t old = text.size();
        text.resize(old + chunk);
        if (ReadBlock(text.data() + old, chunk) != chunk)
            throw ArchiveException(ArchiveCause::EndOfFile);
    }
    return text;
}

std::string ObjectArchive::ReadString()
{
    bool wide = false;
    const uint64_t n = ReadLength(&wide);
    if (!wide)
        return ReadText(n);
    const std::string bytes = ReadText(2 * n);
    std::u16string units(n, u'\0');
    for (size_t i = 0; i < n; ++i)
        units[i] =
            static_cast<char16_t>(le::Load<uint16_t>(reinterpret_cast<const uint8_t*>(bytes.data()) + 2 * i));
    return Utf16ToCp1252(units);
}

void ObjectArchive::WriteString(std::string_view text)
{
    const size_t n = text.size();
    if (n > UINT32_MAX)
        throw ArchiveException(ArchiveCause::Generic);
    if (n <= 254) {
        WriteU8(static_cast<uint8_t>(n));
    } else if (n <= 65533) {
        WriteU8(0xFF);
        WriteU16(static_cast<uint16_t>(n));
    } else {
        WriteU8(0xFF);
        WriteU16(0xFFFF);
        WriteU32(static_cast<uint32_t>(n));
    }
    WriteBlock(text.data(), n);
}

uint32_t ObjectArchive::ReadCount()
{
    const uint16_t w = ReadU16();
    return w == 0xFFFF ? ReadU32() : w;
}

void ObjectArchive::WriteCount(uint32_t count)
{
    if (count < 0xFFFF) {
        WriteU16(static_cast<uint16_t>(count));
    } else {
        WriteU16(0xFFFF);
        WriteU32(count);
    }
}

std::vector<std::string> ObjectArchive::ReadStringArray()
{
    const uint32_t n = ReadCount();
    std::vector<std::string> texts;
    for (uint32_t i = 0; i < n; ++i)
        texts.push_back(ReadString());
    return texts;
}

void ObjectArchive::WriteStringArray(std::span<const std::string> texts)
{
    if (texts.size() > UINT32_MAX)
        throw ArchiveException(ArchiveCause::Generic);
    WriteCount(static_cast<uint32_t>(texts.size()));
    for (const auto& t : texts)
        WriteString(t);
}

template <typename T>
std::vector<T> ObjectArchive::ReadRawArray()
{
    const uint32_t n = ReadCount();
    std::vector<T> values;
    std::vector<uint8_t> raw;
    size_t have = 0;  // whole elements read
    while (have < n) {
        const size_t chunk = std::min<size_t>(n - have, kGrowStep / sizeof(T));
        raw.resize(chunk * sizeof(T));
        const size_t got = ReadBlock(raw.data(), raw.size());
        const size_t whole = got / sizeof(T);
        for (size_t i = 0; i < whole; ++i)
            values.push_back(le::Load<T>(raw.data() + i * sizeof(T)));
        have += whole;
        if (got < raw.size())
            break;
    }
    return values;
}

std::vector<uint16_t> ObjectArchive::ReadU16Array()
{
    return ReadRawArray<uint16_t>();
}

std::vector<uint32_t> ObjectArchive::ReadU32Array()
{
    return ReadRawArray<uint32_t>();
}

std::vector<uint8_t> ObjectArchive::ReadByteArray()
{
    return ReadRawArray<uint8_t>();
}

void ObjectArchive::WriteU16Array(std::span<const uint16_t> values)
{
    WriteCount(static_cast<uint32_t>(values.size()));
    for (uint16_t v : values)
        WriteU16(v);
}

void ObjectArchive::WriteU32Array(std::span<const uint32_t> values)
{
    WriteCount(static_cast<uint32_t>(values.size()));
    for (uint32_t v : values)
        WriteU32(v);
}

void ObjectArchive::WriteByteArray(std::span<const uint8_t> bytes)
{
    WriteCount(static_cast<uint32_t>(bytes.size()));
    WriteBlock(bytes.data(), bytes.size());
}

bool ArchiveFile::Attach(std::string path, Serializable* object)
{
    if (!object)
        return false;
    path_ = std::move(path);
    object_ = object;
    attached_ = true;
    return true;
}

void ArchiveFile::Detach()
{
    path_.clear();
    object_ = nullptr;
    attached_ = false;
}

template <typename Body>
bool ArchiveFile::Run(bool report, Body&& body)
{
    failure_ = ArchiveFailure::None;
    archiveCause_ = ArchiveCause::None;
    fileCause_ = FileCause::None;
    osError_ = 0;
    failureText_.clear();
    if (!attached_) {
        failure_ = ArchiveFailure::NotAttached;
        return false;
    }
    try {
        body();
        return true;
    } catch (const ArchiveException& e) {
        failure_ = ArchiveFailure::Archive;
        archiveCause_ = e.Cause();
        failureText_ = ArchiveCauseText(e.Cause(), path_);
    } catch (const FileException& e) {
        failure_ = ArchiveFailure::File;
        fileCause_ = e.Cause();
        osError_ = e.OsError();
        failureText_ = FileCauseText(e.Cause(), path_);
    } catch (const ArchiveAbort& e) {
        failure_ = ArchiveFailure::Aborted;
        failureText_ = e.Message();
    } catch (const std::bad_alloc&) {
        failure_ = ArchiveFailure::Memory;
        failureText_ = "Out of Memory!";
    } catch (const std::length_error&) {
        failure_ = ArchiveFailure::Memory;
        failureText_ = "Out of Memory!";
    } catch (const std::exception&) {
        failure_ = ArchiveFailure::Archive;
        archiveCause_ = ArchiveCause::Generic;
        failureText_ = ArchiveCauseText(ArchiveCause::Generic, path_);
    }
    Report(report);
    return false;
}

void ArchiveFile::Report(bool report)
{
    if (report && messages_ && !failureText_.empty())
        messages_->Show(MessageKind::Plain, failureText_, caption_);
}

bool ArchiveFile::Load(bool report)
{
    return Run(report, [this] { LoadFromFile(); });
}

bool ArchiveFile::Save(bool report)
{
    return Run(report, [this] { SaveToFile(); });
}

bool ArchiveFile::LoadFrom(ByteSource& source, bool report)
{
    return Run(report, [&] {
        ObjectArchive ar(source, path_);
        object_->Serialize(ar);
    });
}

bool ArchiveFile::SaveTo(ByteSink& sink, bool report)
{
    return Run(report, [&] {
        std::unique_ptr<ByteSink> filtered = writerFilter_ ? writerFilter_(sink) : nullptr;
        ObjectArchive ar(filtered ? *filtered : sink, path_);
        object_->Serialize(ar);
        ar.Flush();
    });
}

void ArchiveFile::LoadFromFile()
{
    if (path_.empty())
        throw FileException(FileCause::BadPath, ENOENT);
    // Non-blocking open: a FIFO or device picked by mistake must not hang the program.
    FileDescriptor fd(::open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (!fd.Valid())
        ThrowErrno(errno);
    struct stat st {};
    if (::fstat(fd.Get(), &st) != 0)
        ThrowErrno(errno);
    if (!S_ISREG(st.st_mode))
        throw FileException(FileCause::AccessDenied, S_ISDIR(st.st_mode) ? EISDIR : EINVAL);
    Lock(fd.Get(), LOCK_SH);
    FdSource source(fd.Get());
    ObjectArchive ar(source, path_);
    object_->Serialize(ar);
}

void ArchiveFile::SaveToFile()
{
    if (path_.empty() || path_.back() == '/')
        throw FileException(FileCause::BadPath, ENOENT);
    const std::string target = ResolveTarget(path_);

    // Hold the existing file locked for the whole save, and refuse what the old truncating
    // open would have refused: a read-only file, a folder, a file someone else holds.
    FileDescriptor held;
    struct stat oldStat {};
    const bool exists = ::stat(target.c_str(), &oldStat) == 0;
    if (exists) {
        if (S_ISDIR(oldStat.st_mode))
            throw FileException(FileCause::AccessDenied, EISDIR);
        if (::access(target.c_str(), W_OK) != 0)
            ThrowErrno(errno);
        held.Reset(::open(target.c_str(), O_RDONLY | O_CLOEXEC));
        if (!held.Valid())
            held.Reset(::open(target.c_str(), O_WRONLY | O_CLOEXEC));
        if (!held.Valid())
            ThrowErrno(errno);
        Lock(held.Get(), LOCK_EX);
    } else if (errno != ENOENT) {
        ThrowErrno(errno);
    }

    std::string temp;
    int tempFd = -1;
    for (int attempt = 0; attempt < 100 && tempFd < 0; ++attempt) {
        temp = TempNameFor(target);
        tempFd = ::open(temp.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (tempFd < 0 && errno != EEXIST)
            ThrowErrno(errno);
    }
    if (tempFd < 0)
        throw FileException(FileCause::DirectoryFull, EEXIST);
    FileDescriptor out(tempFd);
    try {
        if (exists)
            (void)::fchmod(out.Get(), oldStat.st_mode & 07777);
        FdSink fileSink(out.Get());
        std::unique_ptr<ByteSink> filtered = writerFilter_ ? writerFilter_(fileSink) : nullptr;
        ObjectArchive ar(filtered ? *filtered : fileSink, path_);
        object_->Serialize(ar);
        ar.Flush();
        if (::fsync(out.Get()) != 0)
            ThrowErrno(errno);
        if (const int err = out.Close())
            ThrowErrno(err);
        if (::rename(temp.c_str(), target.c_str()) != 0)
            ThrowErrno(errno);
    } catch (...) {
        out.Close();
        ::unlink(temp.c_str());
        throw;
    }
    FileDescriptor folder(::open(FolderOf(target).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (folder.Valid())
        (void)::fsync(folder.Get());  // the rename is done; a failed folder sync changes nothing for us
}

}  // namespace vm
