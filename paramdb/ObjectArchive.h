#pragma once
// The little-endian field encoding shared by the program's binary files, and ArchiveFile, which
// binds one object to one file and turns the exceptions raised while serialising into a result
// and, if asked, a message for the user.

#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "paramdb/MessageSink.h"

namespace vm {

enum class ArchiveCause { None, Generic, EndOfFile, BadFormat };

enum class FileCause {
    None,
    Generic,
    FileNotFound,
    BadPath,
    TooManyOpenFiles,
    AccessDenied,
    InvalidFile,
    RemoveCurrentDir,
    DirectoryFull,
    BadSeek,
    HardIO,
    SharingViolation,
    LockViolation,
    DiskFull,
    EndOfFile,
};

// Raised inside Serialize only; ArchiveFile catches them.
class ArchiveException : public std::exception {
public:
    explicit ArchiveException(ArchiveCause cause) : cause_(cause) {}
    ArchiveCause Cause() const { return cause_; }
    const char* what() const noexcept override { return "archive error"; }

private:
    ArchiveCause cause_;
};

class FileException : public std::exception {
public:
    FileException(FileCause cause, int osError) : cause_(cause), osError_(osError) {}
    FileCause Cause() const { return cause_; }
    int OsError() const { return osError_; }
    const char* what() const noexcept override { return "file error"; }

private:
    FileCause cause_;
    int osError_;
};

// A format refusing a file with a message of its own (another model, another version).
// ArchiveFile shows that message instead of an archive error text.
class ArchiveAbort : public std::exception {
public:
    explicit ArchiveAbort(std::string message) : message_(std::move(message)) {}
    const std::string& Message() const { return message_; }
    const char* what() const noexcept override { return "load refused"; }

private:
    std::string message_;
};

FileCause FileCauseFromErrno(int err);
// The user's message for a failure, %1 replaced by the path.
std::string ArchiveCauseText(ArchiveCause cause, const std::string& path);
std::string FileCauseText(FileCause cause, const std::string& path);

// Where a loading archive gets its bytes. ReadSome returns 0 only at the end; errors throw
// FileException.
class ByteSource {
public:
    virtual ~ByteSource() = default;
    virtual size_t ReadSome(void* dst, size_t n) = 0;
};

// Where a storing archive puts its bytes. Write takes all n bytes or throws FileException.
class ByteSink {
public:
    virtual ~ByteSink() = default;
    virtual void Write(const void* src, size_t n) = 0;
};

class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const uint8_t> bytes) : bytes_(bytes) {}
    size_t ReadSome(void* dst, size_t n) override;

private:
    std::span<const uint8_t> bytes_;
    size_t pos_ = 0;
};

class MemorySink final : public ByteSink {
public:
    void Write(const void* src, size_t n) override;
    const std::vector<uint8_t>& Bytes() const { return bytes_; }

private:
    std::vector<uint8_t> bytes_;
};

class ObjectArchive;

class Serializable {
public:
    virtual ~Serializable() = default;
    virtual void Serialize(ObjectArchive& ar) = 0;
};

class ObjectArchive {
public:
    static constexpr size_t kBufferSize = 4096;

    // Loading archive.
    explicit ObjectArchive(ByteSource& source, std::string path = {});
    // Storing archive. Call Flush at the end; the destructor does not write.
    explicit ObjectArchive(ByteSink& sink, std::string path = {});
    ObjectArchive(const ObjectArchive&) = delete;
    ObjectArchive& operator=(const ObjectArchive&) = delete;

    bool IsLoading() const { return source_ != nullptr; }
    bool IsStoring() const { return sink_ != nullptr; }
    const std::string& FilePath() const { return path_; }

    uint8_t ReadU8();
    uint16_t ReadU16();
    int16_t ReadI16() { return static_cast<int16_t>(ReadU16()); }
    uint32_t ReadU32();
    int32_t ReadI32() { return static_cast<int32_t>(ReadU32()); }
    double ReadDouble();

    void WriteU8(uint8_t v);
    void WriteU16(uint16_t v);
    void WriteI16(int16_t v) { WriteU16(static_cast<uint16_t>(v)); }
    void WriteU32(uint32_t v);
    void WriteI32(int32_t v) { WriteU32(static_cast<uint32_t>(v)); }
    void WriteDouble(double v);

    // Also accepts the wide-text marker and converts that text to Windows-1252.
    std::string ReadString();
    void WriteString(std::string_view text);

    uint32_t ReadCount();
    void WriteCount(uint32_t count);

    // Returns the bytes actually read; a short block is not an error here.
    size_t ReadBlock(void* dst, size_t n);
    void WriteBlock(const void* src, size_t n);

    // Arrays: element count, then the elements. A raw array cut short by the end of the file
    // holds the whole elements that were there.
    std::vector<std::string> ReadStringArray();
    void WriteStringArray(std::span<const std::string> texts);
    std::vector<uint16_t> ReadU16Array();
    void WriteU16Array(std::span<const uint16_t> values);
    std::vector<uint32_t> ReadU32Array();
    void WriteU32Array(std::span<const uint32_t> values);
    std::vector<uint8_t> ReadByteArray();
    void WriteByteArray(std::span<const uint8_t> bytes);

    void Flush();

    [[noreturn]] static void ThrowBadFormat() { throw ArchiveException(ArchiveCause::BadFormat); }

private:
    void Fill(size_t n);
    void Put(const uint8_t* bytes, size_t n);
    template <typename T>
    T ReadLe();
    template <typename T>
    void WriteLe(T v);
    std::string ReadText(uint64_t n);
    uint64_t ReadLength(bool* wide);
    template <typename T>
    std::vector<T> ReadRawArray();

    ByteSource* source_ = nullptr;
    ByteSink* sink_ = nullptr;
    std::string path_;
    std::unique_ptr<uint8_t[]> buffer_;
    size_t pos_ = 0;  // next unread byte (loading)
    size_t end_ = 0;  // end of valid bytes (loading) or of pending bytes (storing)
};

enum class ArchiveFailure { None, NotAttached, Memory, Archive, File, Aborted };

// Binds one object to one file. Load takes an exclusive advisory lock; Save writes a temporary
// file beside the target and renames it over the old one only after a complete, synced write,
// so a failed save leaves the previous file as it was.
class ArchiveFile {
public:
    // Lets a test put a failing writer (a full disk) between the archive and the file.
    using WriterFilter = std::function<std::unique_ptr<ByteSink>(ByteSink& file)>;

    explicit ArchiveFile(MessageSink* messages = nullptr) : messages_(messages) {}

    // False when object is null.
    bool Attach(std::string path, Serializable* object);
    void Detach();
    bool IsAttached() const { return attached_; }
    const std::string& Path() const { return path_; }

    bool Load(bool report);
    bool Save(bool report);
    // The same over memory; the attached path only names the data in messages.
    bool LoadFrom(ByteSource& source, bool report);
    bool SaveTo(ByteSink& sink, bool report);

    ArchiveFailure Failure() const { return failure_; }
    ArchiveCause ArchiveError() const { return archiveCause_; }
    FileCause FileError() const { return fileCause_; }
    int OsError() const { return osError_; }
    // The message for the last failure (shown when reporting); empty after success.
    const std::string& FailureText() const { return failureText_; }

    void SetMessageSink(MessageSink* messages) { messages_ = messages; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    void SetWriterFilter(WriterFilter filter) { writerFilter_ = std::move(filter); }

private:
    template <typename Body>
    bool Run(bool report, Body&& body);
    void LoadFromFile();
    void SaveToFile();
    void Report(bool report);

    MessageSink* messages_;
    std::string caption_;
    WriterFilter writerFilter_;
    std::string path_;
    Serializable* object_ = nullptr;
    bool attached_ = false;
    ArchiveFailure failure_ = ArchiveFailure::None;
    ArchiveCause archiveCause_ = ArchiveCause::None;
    FileCause fileCause_ = FileCause::None;
    int osError_ = 0;
    std::string failureText_;
};

}  // namespace vm
