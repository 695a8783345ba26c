#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <cstring>

#include "TestSupport.h"
#include "paramdb/ObjectArchive.h"
#include "paramdb/TextCodec.h"

namespace vm {
namespace {

using test::FnObject;
using test::ReadBytes;
using test::Store;
using test::TempDir;
using test::WriteBytes;
using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<uint8_t> Prefix(const std::vector<uint8_t>& bytes, size_t n)
{
    return {bytes.begin(), bytes.begin() + static_cast<long>(std::min(n, bytes.size()))};
}

template <typename Fn>
auto LoadFrom(const std::vector<uint8_t>& bytes, Fn fn)
{
    MemorySource source(bytes);
    ObjectArchive ar(source, "mem");
    return fn(ar);
}

TEST(ObjectArchiveTest, stringLengthPrefixSwitchesAtTheDocumentedBoundaries)
{
    struct Case {
        size_t n;
        std::vector<uint8_t> prefix;
    };
    const Case cases[] = {
        {0, {0x00}},
        {254, {0xFE}},
        {255, {0xFF, 0xFF, 0x00}},
        {65533, {0xFF, 0xFD, 0xFF}},
        {65534, {0xFF, 0xFF, 0xFF, 0xFE, 0xFF, 0x00, 0x00}},
        {70000, {0xFF, 0xFF, 0xFF, 0x70, 0x11, 0x01, 0x00}},
    };
    for (const auto& c : cases) {
        std::string text(c.n, 'x');
        if (c.n > 0)
            text.back() = 'y';
        const auto bytes = Store([&](ObjectArchive& ar) { ar.WriteString(text); });
        ASSERT_EQ(bytes.size(), c.prefix.size() + c.n) << c.n;
        EXPECT_EQ(Prefix(bytes, c.prefix.size()), c.prefix) << c.n;
        EXPECT_EQ(LoadFrom(bytes, [](ObjectArchive& ar) { return ar.ReadString(); }), text) << c.n;
    }
}

TEST(ObjectArchiveTest, elementCountTakesSixBytesFrom65535)
{
    EXPECT_THAT(Store([](ObjectArchive& ar) { ar.WriteCount(65534); }), ElementsAre(0xFE, 0xFF));
    const auto big = Store([](ObjectArchive& ar) { ar.WriteCount(65535); });
    EXPECT_THAT(big, ElementsAre(0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00));
    EXPECT_EQ(LoadFrom(big, [](ObjectArchive& ar) { return ar.ReadCount(); }), 65535u);
    EXPECT_EQ(LoadFrom(std::vector<uint8_t>{0xFE, 0xFF}, [](ObjectArchive& ar) { return ar.ReadCount(); }),
              65534u);
}

TEST(ObjectArchiveTest, fixedFieldsAreLittleEndianAndSurviveBufferBoundaries)
{
    EXPECT_THAT(Store([](ObjectArchive& ar) {
                    ar.WriteU16(0x1234);
                    ar.WriteI16(-2);
                    ar.WriteU32(0xA1B2C3D4);
                    ar.WriteDouble(1.0);
                }),
                ElementsAre(0x34, 0x12, 0xFE, 0xFF, 0xD4, 0xC3, 0xB2, 0xA1, 0, 0, 0, 0, 0, 0, 0xF0, 0x3F));

    // An odd leading byte puts later fields across every 4096-byte refill.
    const auto bytes = Store([](ObjectArchive& ar) {
        ar.WriteU8(7);
        for (uint32_t i = 0; i < 3000; ++i) {
            ar.WriteU32(i * 2654435761u);
            ar.WriteI16(static_cast<int16_t>(-static_cast<int>(i)));
            ar.WriteDouble(i / 3.0);
        }
    });
    ASSERT_EQ(bytes.size(), 1u + 3000 * 14);
    MemorySource source(bytes);
    ObjectArchive ar(source);
    EXPECT_EQ(ar.ReadU8(), 7);
    for (uint32_t i = 0; i < 3000; ++i) {
        ASSERT_EQ(ar.ReadU32(), i * 2654435761u);
        ASSERT_EQ(ar.ReadI16(), -static_cast<int>(i));
        ASSERT_EQ(ar.ReadDouble(), i / 3.0);
    }
    EXPECT_THROW(ar.ReadU8(), ArchiveException);
}

TEST(ObjectArchiveTest, blocksLargerThanTheBufferPassThroughAndShortBlocksReturnTheirSize)
{
    std::vector<uint8_t> big(10000);
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<uint8_t>(i * 31);
    const auto bytes = Store([&](ObjectArchive& ar) {
        ar.WriteU8(1);
        ar.WriteBlock(big.data(), big.size());
        ar.WriteU8(2);
    });
    ASSERT_EQ(bytes.size(), big.size() + 2);
    MemorySource source(bytes);
    ObjectArchive ar(source);
    EXPECT_EQ(ar.ReadU8(), 1);
    std::vector<uint8_t> back(big.size());
    EXPECT_EQ(ar.ReadBlock(back.data(), back.size()), back.size());
    EXPECT_EQ(back, big);
    std::vector<uint8_t> tail(50);
    EXPECT_EQ(ar.ReadBlock(tail.data(), tail.size()), 1u);
    EXPECT_EQ(tail[0], 2);
}

TEST(ObjectArchiveTest, arraysRoundTripAndARawArrayCutShortKeepsWholeElements)
{
    const std::vector<std::string> texts = {"", "Acc Time", std::string(300, 'z')};
    const std::vector<uint16_t> words = {1, 0xFFFF, 0x8000};
    const std::vector<uint32_t> longs = {0xDEADBEEF, 0};
    const std::vector<uint8_t> raw = {9, 8, 7};
    const auto bytes = Store([&](ObjectArchive& ar) {
        ar.WriteStringArray(texts);
        ar.WriteU16Array(words);
        ar.WriteU32Array(longs);
        ar.WriteByteArray(raw);
    });
    MemorySource source(bytes);
    ObjectArchive ar(source);
    EXPECT_EQ(ar.ReadStringArray(), texts);
    EXPECT_EQ(ar.ReadU16Array(), words);
    EXPECT_EQ(ar.ReadU32Array(), longs);
    EXPECT_EQ(ar.ReadByteArray(), raw);

    // Count 4, then five bytes: two whole words and a half.
    EXPECT_THAT(LoadFrom(std::vector<uint8_t>{4, 0, 1, 0, 2, 0, 3},
                         [](ObjectArchive& a) { return a.ReadU16Array(); }),
                ElementsAre(1, 2));
}

TEST(ObjectArchiveTest, corruptedHugeLengthsFailAtTheEndOfTheDataWithoutAllocatingThem)
{
    // String claiming 4 GiB, array claiming 4 G elements, wide string claiming 4 G characters.
    const std::vector<uint8_t> longText = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 'b'};
    EXPECT_THROW(LoadFrom(longText, [](ObjectArchive& ar) { return ar.ReadString(); }), ArchiveException);
    const std::vector<uint8_t> wideText = {0xFF, 0xFE, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 'a', 0};
    EXPECT_THROW(LoadFrom(wideText, [](ObjectArchive& ar) { return ar.ReadString(); }), ArchiveException);
    const std::vector<uint8_t> longArray = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 1, 0, 0, 0};
    EXPECT_THAT(LoadFrom(longArray, [](ObjectArchive& ar) { return ar.ReadU32Array(); }), ElementsAre(1u));
    const std::vector<uint8_t> manyTexts = {0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00};
    EXPECT_THROW(LoadFrom(manyTexts, [](ObjectArchive& ar) { return ar.ReadStringArray(); }),
                 ArchiveException);
}

TEST(ObjectArchiveTest, wideTextMarkerIsReadAsWindows1252)
{
    // "Hé€中" in UTF-16LE: the last character has no place in the code page.
    const std::vector<uint8_t> bytes = {0xFF, 0xFE, 0xFF, 0x04, 'H', 0, 0xE9, 0, 0xAC, 0x20, 0x2D, 0x4E};
    EXPECT_EQ(LoadFrom(bytes, [](ObjectArchive& ar) { return ar.ReadString(); }), std::string("H\xE9\x80?"));
    // The marker followed by the long length form.
    std::vector<uint8_t> longForm = {0xFF, 0xFE, 0xFF, 0xFF, 0x2C, 0x01};
    for (int i = 0; i < 300; ++i) {
        longForm.push_back('k');
        longForm.push_back(0);
    }
    EXPECT_EQ(LoadFrom(longForm, [](ObjectArchive& ar) { return ar.ReadString(); }), std::string(300, 'k'));
}

TEST(TextCodecTest, everyCodePageByteSurvivesAUtf8RoundTrip)
{
    std::string all;
    for (int c = 0; c < 256; ++c)
        all += static_cast<char>(c);
    const std::string utf8 = Cp1252ToUtf8(all);
    EXPECT_EQ(Utf8ToCp1252(utf8), all);
    EXPECT_EQ(Cp1252ToUtf8("\x80"), "\xE2\x82\xAC");
    EXPECT_EQ(Cp1252ToUtf8("\xE9"), "\xC3\xA9");
}

TEST(TextCodecTest, unmappableAndMalformedUtf8BecomesQuestionMarks)
{
    EXPECT_EQ(Utf8ToCp1252("a\xE4\xB8\xAD"
                           "b"),
              "a?b");  // CJK character
    EXPECT_EQ(Utf8ToCp1252("a\xF0\x9F\x98\x80"
                           "b"),
              "a?b");  // outside the BMP
    EXPECT_EQ(Utf8ToCp1252("a\xC3"
                           "b"),
              "a?b");                          // cut-off sequence
    EXPECT_EQ(Utf8ToCp1252("\xC0\xAF"), "?");  // overlong '/'
    EXPECT_EQ(Utf8ToCp1252("\xFF"
                           "x"),
              "?x");
    EXPECT_EQ(Utf16ToCp1252(u"\xD83D\xDE00"
                            "a\xDC00"),
              "?a?");
}

// ArchiveFile over real files.

class ArchiveFileTest : public ::testing::Test {
protected:
    TempDir dir;
    MessageLog messages;
    std::string path = dir.File("set.bin");

    std::vector<std::string> Texts() const { return test::Texts(messages); }
};

TEST_F(ArchiveFileTest, attachRefusesAMissingObject)
{
    ArchiveFile file(&messages);
    EXPECT_FALSE(file.Attach(path, nullptr));
    EXPECT_FALSE(file.Load(true));
    EXPECT_EQ(file.Failure(), ArchiveFailure::NotAttached);
}

TEST_F(ArchiveFileTest, saveThenLoadRoundTripsThroughTheFile)
{
    uint32_t value = 0x01020304;
    std::string text = "Motor";
    FnObject obj([&](ObjectArchive& ar) {
        if (ar.IsStoring()) {
            ar.WriteU32(value);
            ar.WriteString(text);
        } else {
            value = ar.ReadU32();
            text = ar.ReadString();
        }
    });
    ArchiveFile file(&messages);
    ASSERT_TRUE(file.Attach(path, &obj));
    ASSERT_TRUE(file.Save(true));
    EXPECT_THAT(ReadBytes(path), ElementsAre(4, 3, 2, 1, 5, 'M', 'o', 't', 'o', 'r'));
    value = 0;
    text.clear();
    ASSERT_TRUE(file.Load(true));
    EXPECT_EQ(value, 0x01020304u);
    EXPECT_EQ(text, "Motor");
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_THAT(dir.Names(), ElementsAre("set.bin"));
}

TEST_F(ArchiveFileTest, aFileEndingInsideAFieldStopsThereWithTheEndOfFileMessage)
{
    WriteBytes(path, {1, 0, 9, 9});
    int fieldsRead = 0;
    FnObject obj([&](ObjectArchive& ar) {
        ar.ReadU16();
        ++fieldsRead;
        ar.ReadU32();
        ++fieldsRead;
        ar.ReadU8();
        ++fieldsRead;
    });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    EXPECT_FALSE(file.Load(true));
    EXPECT_EQ(fieldsRead, 1);
    EXPECT_EQ(file.Failure(), ArchiveFailure::Archive);
    EXPECT_EQ(file.ArchiveError(), ArchiveCause::EndOfFile);
    EXPECT_THAT(Texts(), ElementsAre("An attempt was made to access " + path + " past its end."));
    EXPECT_EQ(messages.Entries()[0].kind, MessageKind::Plain);
}

TEST_F(ArchiveFileTest, failuresAreKeptButShownOnlyWhenReporting)
{
    FnObject obj([](ObjectArchive&) {});
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    EXPECT_FALSE(file.Load(false));
    EXPECT_TRUE(messages.Entries().empty());
    EXPECT_EQ(file.Failure(), ArchiveFailure::File);
    EXPECT_EQ(file.FileError(), FileCause::FileNotFound);
    EXPECT_EQ(file.OsError(), ENOENT);
    EXPECT_EQ(file.FailureText(), path + " was not found.");
    EXPECT_FALSE(file.Load(true));
    EXPECT_THAT(Texts(), ElementsAre(path + " was not found."));

    messages.Clear();
    file.Attach(dir.File("missing/x.bin"), &obj);
    EXPECT_FALSE(file.Save(true));
    EXPECT_THAT(Texts(), ElementsAre(dir.File("missing/x.bin") + " was not found."));
}

TEST_F(ArchiveFileTest, formatErrorsAbortsAndMemoryExhaustionGetTheirOwnMessages)
{
    WriteBytes(path, {0, 0, 0, 0});
    ArchiveFile file(&messages);
    FnObject badFormat([](ObjectArchive& ar) {
        if (ar.ReadU32() != 16170)
            ObjectArchive::ThrowBadFormat();
    });
    file.Attach(path, &badFormat);
    EXPECT_FALSE(file.Load(true));
    FnObject refused([](ObjectArchive&) { throw ArchiveAbort("Inverter Model is different"); });
    file.Attach(path, &refused);
    EXPECT_FALSE(file.Load(true));
    EXPECT_EQ(file.Failure(), ArchiveFailure::Aborted);
    FnObject hungry([](ObjectArchive&) { throw std::bad_alloc(); });
    file.Attach(path, &hungry);
    EXPECT_FALSE(file.Load(true));
    EXPECT_EQ(file.Failure(), ArchiveFailure::Memory);
    EXPECT_THAT(Texts(),
                ElementsAre(path + " has a bad format.", "Inverter Model is different", "Out of Memory!"));
}

TEST_F(ArchiveFileTest, loadAndSaveOfAFileLockedByAnotherProcessAreSharingViolations)
{
    const std::vector<uint8_t> old = {1, 2, 3};
    WriteBytes(path, old);
    int ready[2];
    int release[2];
    ASSERT_EQ(pipe(ready), 0);
    ASSERT_EQ(pipe(release), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const int fd = open(path.c_str(), O_RDONLY);
        const char ok = (fd >= 0 && flock(fd, LOCK_EX) == 0) ? 'y' : 'n';
        (void)!write(ready[1], &ok, 1);
        char c;
        (void)!read(release[0], &c, 1);
        _exit(0);
    }
    char ok = 0;
    ASSERT_EQ(read(ready[0], &ok, 1), 1);
    ASSERT_EQ(ok, 'y');

    bool serialised = false;
    FnObject obj([&](ObjectArchive& ar) {
        serialised = true;
        if (ar.IsStoring())
            ar.WriteU8(9);
    });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    EXPECT_FALSE(file.Load(true));
    EXPECT_EQ(file.FileError(), FileCause::SharingViolation);
    EXPECT_FALSE(file.Save(true));
    EXPECT_FALSE(serialised);
    EXPECT_THAT(Texts(), ElementsAre("A sharing violation occurred while accessing " + path + ".",
                                     "A sharing violation occurred while accessing " + path + "."));
    EXPECT_EQ(ReadBytes(path), old);

    (void)!write(release[1], "x", 1);
    int status = 0;
    waitpid(child, &status, 0);
    for (int fd : {ready[0], ready[1], release[0], release[1]})
        close(fd);
    EXPECT_TRUE(file.Load(true));  // free again once the other process is gone
}

// Two readers of one file (the program and the simulator loading the same data file) must not
// refuse each other; a reader still keeps a writer out.
TEST_F(ArchiveFileTest, readersShareAFileButKeepAWriterOut)
{
    WriteBytes(path, {7});
    const int reader = open(path.c_str(), O_RDONLY);
    ASSERT_GE(reader, 0);
    ASSERT_EQ(flock(reader, LOCK_SH), 0);

    uint8_t seen = 0;
    FnObject obj([&](ObjectArchive& ar) {
        if (ar.IsLoading())
            seen = ar.ReadU8();
        else
            ar.WriteU8(9);
    });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    EXPECT_TRUE(file.Load(true));
    EXPECT_EQ(seen, 7);
    EXPECT_FALSE(file.Save(false));
    EXPECT_EQ(file.FileError(), FileCause::SharingViolation);
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{7});
    close(reader);
    EXPECT_TRUE(file.Save(false));
    EXPECT_EQ(ReadBytes(path), std::vector<uint8_t>{9});
}

TEST_F(ArchiveFileTest, aSaveFailingOnAFullDiskLeavesTheOldFileAndNoTemporaryFile)
{
    std::vector<uint8_t> old(5000);
    for (size_t i = 0; i < old.size(); ++i)
        old[i] = static_cast<uint8_t>(i);
    WriteBytes(path, old);
    FnObject obj([](ObjectArchive& ar) {
        for (int i = 0; i < 3000; ++i)
            ar.WriteU32(0xFFFFFFFF);
    });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    for (size_t room : {size_t{0}, size_t{100}, size_t{4096}, size_t{11999}}) {
        messages.Clear();
        file.SetWriterFilter(
            [room](ByteSink& real) { return std::make_unique<test::FullDiskSink>(real, room); });
        EXPECT_FALSE(file.Save(true)) << room;
        EXPECT_EQ(file.FileError(), FileCause::DiskFull);
        EXPECT_THAT(Texts(), ElementsAre("Disk full while accessing " + path + "."));
        EXPECT_EQ(ReadBytes(path), old) << room;
        EXPECT_THAT(dir.Names(), ElementsAre("set.bin")) << room;
    }
    file.SetWriterFilter({});
    EXPECT_TRUE(file.Save(true));
    EXPECT_EQ(ReadBytes(path).size(), 12000u);
}

TEST_F(ArchiveFileTest, aSaveIntoAReadOnlyFolderIsDeniedAndLeavesTheOldFile)
{
    const std::vector<uint8_t> old = {4, 5, 6, 7};
    WriteBytes(path, old);
    ::chmod(path.c_str(), 0666);  // the file itself may be written; only the folder may not
    ::chmod(dir.Path().c_str(), 0555);
    FnObject obj([](ObjectArchive& ar) { ar.WriteU32(1); });
    auto attempt = [&] {
        ArchiveFile file(&messages);
        file.Attach(path, &obj);
        const bool saved = file.Save(true);
        return !saved && file.FileError() == FileCause::AccessDenied && messages.Entries().size() == 1 &&
               messages.Entries()[0].text == "Access to " + path + " was denied.";
    };
    if (geteuid() != 0) {
        EXPECT_TRUE(attempt());
    } else {
        // Root writes anywhere; an unprivileged child sees the folder as read-only.
        const pid_t child = fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            if (setgid(65534) != 0 || setuid(65534) != 0)
                _exit(2);
            _exit(attempt() ? 0 : 1);
        }
        int status = 0;
        ASSERT_EQ(waitpid(child, &status, 0), child);
        ASSERT_TRUE(WIFEXITED(status));
        EXPECT_EQ(WEXITSTATUS(status), 0);
    }
    ::chmod(dir.Path().c_str(), 0755);
    EXPECT_EQ(ReadBytes(path), old);
    EXPECT_THAT(dir.Names(), ElementsAre("set.bin"));
}

TEST_F(ArchiveFileTest, foldersAndPipesAreRefusedInsteadOfReadOrWaitedOn)
{
    ASSERT_EQ(mkfifo(path.c_str(), 0600), 0);
    FnObject obj([](ObjectArchive& ar) { ar.ReadU8(); });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    EXPECT_FALSE(file.Load(true));
    file.Attach(dir.Path().string(), &obj);
    EXPECT_FALSE(file.Load(true));
    EXPECT_FALSE(file.Save(true));
    const std::string folder = dir.Path().string();
    EXPECT_THAT(Texts(),
                ElementsAre("Access to " + path + " was denied.", "Access to " + folder + " was denied.",
                            "Access to " + folder + " was denied."));
}

TEST_F(ArchiveFileTest, savingThroughASymbolicLinkReplacesTheFileItPointsTo)
{
    const std::string real = dir.File("real.bin");
    WriteBytes(real, {1});
    ASSERT_EQ(symlink(real.c_str(), path.c_str()), 0);
    FnObject obj([](ObjectArchive& ar) { ar.WriteU8(42); });
    ArchiveFile file(&messages);
    file.Attach(path, &obj);
    ASSERT_TRUE(file.Save(true));
    struct stat st {};
    ASSERT_EQ(lstat(path.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode));
    EXPECT_THAT(ReadBytes(real), ElementsAre(42));
}

TEST_F(ArchiveFileTest, memorySourcesAndSinksNameTheAttachedPathInMessages)
{
    FnObject obj([](ObjectArchive& ar) {
        if (ar.IsStoring())
            ar.WriteString("abc");
        else
            ar.ReadU32();
    });
    ArchiveFile file(&messages);
    file.Attach("buffer.usr", &obj);
    MemorySink sink;
    ASSERT_TRUE(file.SaveTo(sink, true));
    EXPECT_THAT(sink.Bytes(), ElementsAre(3, 'a', 'b', 'c'));
    MemorySource source(std::span<const uint8_t>(sink.Bytes().data(), 3));
    EXPECT_FALSE(file.LoadFrom(source, true));
    EXPECT_THAT(Texts(), ElementsAre("An attempt was made to access buffer.usr past its end."));
}

}  // namespace
}  // namespace vm
