#include "tests/support/ResultChecks.h"

#include <gtest/gtest.h>

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <sys/wait.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>

#include "paramdb/ObjectArchive.h"
#include "tools/datac/DataSource.h"

namespace fs = std::filesystem;
using namespace vm;
using namespace vm::datac;

namespace {

// The smallest source that uses every record kind.
QJsonObject BaseSource()
{
    return QJsonDocument::fromJson(R"({
      "description": "test",
      "model": 10,
      "version": "0x0015",
      "types": [ {"name": "FREQ3", "unit": "Hz", "divisor": 100} ],
      "choices": [ {"name": "NO_YES", "texts": ["No", "Yes"]} ],
      "groups": [ { "name": "Drive group", "items": [
        {"address": "0xA101", "name": "Acc. Time", "type": "FREQ3", "min": 0, "max": 6000, "default": 50},
        {"address": "0xA102", "name": "Lock", "type": "MSG", "choice": "NO_YES", "min": 0, "max": 1, "default": 0}
      ] } ]
    })")
        .object();
}

std::string Text(const QJsonObject& o)
{
    return QJsonDocument(o).toJson().toStdString();
}

// Applies an edit to the source at a path of keys and indexes, e.g. {"groups", 0, "items", 0}.
using Edit = std::function<void(QJsonObject&)>;

QJsonObject EditItem(QJsonObject src, const Edit& edit)
{
    QJsonArray groups = src["groups"].toArray();
    QJsonObject g = groups[0].toObject();
    QJsonArray items = g["items"].toArray();
    QJsonObject item = items[0].toObject();
    edit(item);
    items[0] = item;
    g["items"] = items;
    groups[0] = g;
    src["groups"] = groups;
    return src;
}

std::vector<uint8_t> Store(ParameterData& data)
{
    MemorySink sink;
    ObjectArchive ar(sink);
    data.Serialize(ar);
    ar.Flush();
    return sink.Bytes();
}

// Loads bytes the way the program loads a data file and writes the source back.
std::string Reload(const std::vector<uint8_t>& bytes)
{
    MemorySource source(bytes);
    ObjectArchive ar(source);
    ParameterData data;
    data.Serialize(ar);
    return WriteSource(data);
}

std::string ParseError(const std::string& json)
{
    ParameterData data;
    const Result<> parsed = ParseSource(json, "bad.json", data);
    EXPECT_FALSE(parsed);
    return parsed.Text();
}

class TempDir {
public:
    TempDir()
    {
        char tmpl[] = "/tmp/datac-test-XXXXXX";
        path_ = ::mkdtemp(tmpl);
    }
    ~TempDir() { fs::remove_all(path_); }
    std::string operator/(const std::string& name) const { return (path_ / name).string(); }

private:
    fs::path path_;
};

void WriteFile(const std::string& path, const std::string& text)
{
    std::ofstream(path, std::ios::binary) << text;
}

}  // namespace

TEST(DataSourceLayout, storesFieldsInFileOrderLittleEndian)
{
    QJsonObject src = BaseSource();
    src["groups"] = QJsonArray{QJsonObject{{"name", "G"},
                                           {"items", QJsonArray{QJsonObject{{"address", "0xA10B"},
                                                                            {"modeName", 1},
                                                                            {"writable", 0},
                                                                            {"runWritable", 1},
                                                                            {"min", -2},
                                                                            {"max", 300},
                                                                            {"default", 7},
                                                                            {"name", "N"},
                                                                            {"type", "FREQ3"}}}}}};
    src["choices"] = QJsonArray{};
    src["types"] = QJsonArray{QJsonObject{
        {"name", "FREQ3"}, {"unit", "\u00b0C"}, {"multiplier", 4}, {"divisor", 0x01020304}, {"flags", 6}}};
    ParameterData data;
    const Result<> parsed = ParseSource(Text(src), "s.json", data);
    ASSERT_TRUE(parsed) << parsed.Text();
    const std::vector<uint8_t> bytes = Store(data);

    std::vector<uint8_t> expect;
    auto str = [&](const std::string& s) {
        expect.push_back(static_cast<uint8_t>(s.size()));
        expect.insert(expect.end(), s.begin(), s.end());
    };
    auto u16 = [&](uint16_t v) { expect.insert(expect.end(), {uint8_t(v), uint8_t(v >> 8)}); };
    auto u32 = [&](uint32_t v) {
        expect.insert(expect.end(), {uint8_t(v), uint8_t(v >> 8), uint8_t(v >> 16), uint8_t(v >> 24)});
    };
    str("KXEC - Varimon Data File Editor");
    u16(0x0100);
    str("test");
    u16(10);
    u16(0), u16(0), u16(0), u16(0);
    u32(0x15);
    u32(1);  // types
    str("FREQ3"), str(""), str(""),
        str("\xB0"
            "C");  // the degree sign is one Windows-1252 byte
    u32(4), u32(0x01020304);
    expect.push_back(6);
    u32(0);  // choices
    u32(1);  // groups
    str("G");
    u32(1);
    u16(0xA10B), u32(1), u32(0), u32(1), u32(0xFFFFFFFE), u32(300), u32(7);
    str("N"), str("FREQ3"), str(""), str(""), str(""), str("");
    EXPECT_EQ(bytes, expect);
}

TEST(DataSourceRoundTrip, optionalFieldsComeBackOnlyWhenTheyDifferFromTheirDefault)
{
    // Every optional field away from its default, and texts that need escaping.
    const std::string full = R"({
  "description": " tab\there \"quoted\" back\\slash \u0001 € ",
  "model": 65535,
  "reserved": [1, 2, 3, 65535],
  "version": "0x12345678",
  "types": [
    {"name": "HEX", "text1": " a", "text2": "b ", "unit": "°C", "multiplier": 4294967295, "divisor": 0, "flags": 255}
  ],
  "choices": [
    {"name": "EMPTY", "texts": []},
    {"name": "ONE", "texts": ["", "Ü"]}
  ],
  "groups": [
    { "name": "Empty", "items": [] },
    { "name": "G", "items": [
      {"address": "0x0000", "modeName": 1, "name": "@@@@ x", "type": "MSG", "choice": "ONE", "writable": -2147483648, "runWritable": 2147483647, "min": -2147483648, "max": 1, "default": 0, "extra": [" e1", "", "e3 "]}
    ] }
  ]
}
)";
    // The same layout with every optional field left out.
    const std::string plain = R"({
  "description": "",
  "model": 0,
  "version": "0x0000",
  "types": [
    {"name": "T"}
  ],
  "choices": [],
  "groups": [
    { "name": "G", "items": [
      {"address": "0xFFFF", "name": "N", "min": 0, "max": 0, "default": 0}
    ] }
  ]
}
)";
    for (const std::string& source : {full, plain}) {
        ParameterData data;
        const Result<> parsed = ParseSource(source, "s.json", data);
        ASSERT_TRUE(parsed) << parsed.Text();
        EXPECT_EQ(Reload(Store(data)), source);
    }
}

struct BadSource {
    const char* name;
    Edit edit;     // applied to the first item
    Edit editTop;  // applied to the whole source
    const char* expect;
};

void PrintTo(const BadSource& p, std::ostream* os)
{
    *os << p.name;
}

class DataSourceErrors : public ::testing::TestWithParam<BadSource> {};

TEST_P(DataSourceErrors, nameTheFileAndTheKey)
{
    const BadSource& p = GetParam();
    QJsonObject src = BaseSource();
    if (p.edit)
        src = EditItem(src, p.edit);
    if (p.editTop)
        p.editTop(src);
    const std::string error = ParseError(Text(src));
    EXPECT_EQ(error.rfind("bad.json: ", 0), 0u) << error;
    EXPECT_NE(error.find(p.expect), std::string::npos) << error;
}

#define ITEM(...) [](QJsonObject& o) { __VA_ARGS__; }, nullptr
#define TOP(...) nullptr, [](QJsonObject& o) { __VA_ARGS__; }

INSTANTIATE_TEST_SUITE_P(
    Cases, DataSourceErrors,
    ::testing::Values(
        BadSource{"misspeltItemKey", ITEM(o["defualt"] = 1), "groups[0].items[0].defualt: unknown key"},
        BadSource{"misspeltTopKey", TOP(o["typs"] = QJsonArray{}), "typs: unknown key"},
        BadSource{"missingKey", ITEM(o.remove("max")), "groups[0].items[0].max: missing"},
        BadSource{"missingList", TOP(o.remove("groups")), "groups: missing"},
        BadSource{"numberAbove32Bits", ITEM(o["max"] = 2147483648.0),
                  "groups[0].items[0].max: 2147483648 is out of range (-2147483648..2147483647)"},
        BadSource{"modelAbove16Bits", TOP(o["model"] = 65536), "model: 65536 is out of range (0..65535)"},
        BadSource{"negativeMultiplier",
                  TOP(o["types"] = QJsonArray{QJsonObject{{"name", "T"}, {"multiplier", -1}}}),
                  "types[0].multiplier: -1 is out of range"},
        BadSource{"flagsAboveByte", TOP(o["types"] = QJsonArray{QJsonObject{{"name", "T"}, {"flags", 256}}}),
                  "types[0].flags: 256 is out of range (0..255)"},
        BadSource{"fraction", ITEM(o["min"] = 1.5), "groups[0].items[0].min: expected a whole number"},
        BadSource{"hexWithoutPrefix", ITEM(o["address"] = "A101"),
                  "groups[0].items[0].address: \"A101\" is not a hexadecimal number"},
        BadSource{"hexBadDigit", ITEM(o["address"] = "0xA1G1"), "\"0xA1G1\" is not a hexadecimal number"},
        BadSource{"hexPrefixOnly", TOP(o["version"] = "0x"), "version: \"0x\" is not a hexadecimal number"},
        BadSource{"addressAbove16Bits", ITEM(o["address"] = "0x1A101"),
                  "groups[0].items[0].address: \"0x1A101\" is out of range (0x0..0xFFFF)"},
        BadSource{"hexAsNumber", ITEM(o["address"] = 41217),
                  "groups[0].items[0].address: expected a hexadecimal string"},
        BadSource{"numberAsString", ITEM(o["min"] = "0"), "groups[0].items[0].min: expected a number"},
        BadSource{"stringAsNumber", ITEM(o["name"] = 5), "groups[0].items[0].name: expected a string"},
        BadSource{"boolAsNumber", ITEM(o["writable"] = true),
                  "groups[0].items[0].writable: expected a number"},
        BadSource{"objectAsList", TOP(o["choices"] = QJsonObject{}), "choices: expected an array"},
        BadSource{"itemNotObject",
                  TOP(o["groups"] = QJsonArray{QJsonObject{{"name", "G"}, {"items", QJsonArray{1}}}}),
                  "groups[0].items[0]: expected an object"},
        BadSource{"reservedTooShort", TOP(o["reserved"] = QJsonArray{1, 2}), "reserved: expected 4 numbers"},
        BadSource{"trimmedByLoader", ITEM(o["name"] = "Acc. Time "),
                  "groups[0].items[0].name: has leading or trailing white space"},
        BadSource{"outsideCodePage", ITEM(o["name"] = QString::fromUtf8("\u03a9 Torque")),
                  "groups[0].items[0].name: holds a character that Windows-1252 cannot store"},
        BadSource{"outsideCodePageInChoice",
                  TOP(o["choices"] = QJsonArray{QJsonObject{
                          {"name", "NO_YES"}, {"texts", QJsonArray{"No", QString::fromUtf8("\u2713")}}}}),
                  "choices[0].texts[1]: holds a character that Windows-1252 cannot store"},
        BadSource{"defaultAboveMax", ITEM(o["default"] = 6001),
                  "groups[0].items[0].default: is outside min..max"},
        BadSource{"minAboveMax", ITEM(o["min"] = 7000), "groups[0].items[0].min: is above max"},
        BadSource{"unknownType", ITEM(o["type"] = "FREQ4"), "groups[0].items[0].type: names no value type"},
        BadSource{"choiceWithoutMsg", ITEM(o["choice"] = "NO_YES"),
                  "groups[0].items[0].choice: is only used with"},
        BadSource {
            "unknownChoice", ITEM(o["type"] = "MSG"; o["choice"] = "YES_NO"; o["max"] = 1; o["default"] = 0),
                "groups[0].items[0].choice: names no choice list"
        },
        BadSource {
            "choiceMaxBeyondTexts",
                ITEM(o["type"] = "MSG"; o["choice"] = "NO_YES"; o["max"] = 2; o["default"] = 0),
                "groups[0].items[0].max: is beyond the last text"
        },
        BadSource{"duplicateAddress", ITEM(o["address"] = "0xA102"),
                  "groups[0].items[1].address: is already used by groups[0].items[0]"},
        BadSource{
            "duplicateType",
            TOP(o["types"] = QJsonArray{QJsonObject{{"name", "FREQ3"}}, QJsonObject{{"name", "FREQ3"}}}),
            "types[1].name: \"FREQ3\" is defined twice"}),
    [](const auto& info) { return std::string(info.param.name); });

TEST(DataSourceErrorsSyntax, giveLineAndColumn)
{
    const std::string error = ParseError("{\n  \"model\": 4,\n  \"version\" \"0x0105\"\n}\n");
    EXPECT_EQ(error.rfind("bad.json:3:", 0), 0u) << error;
    EXPECT_NE(ParseError("[1, 2]").find("bad.json: (top): expected an object"), std::string::npos);
    EXPECT_EQ(ParseError("").rfind("bad.json:1:1: ", 0), 0u);
}

TEST(DataSourceFiles, compileAndDumpRoundTripThroughFiles)
{
    TempDir dir;
    const std::string source = Text(BaseSource());
    WriteFile(dir / "a.json", source);
    const Result<> compiled = CompileFile(dir / "a.json", dir / "a.dat");
    ASSERT_TRUE(compiled) << compiled.Text();
    const Result<std::string> json = DumpFile(dir / "a.dat");
    ASSERT_TRUE(json) << json.Text();
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(json.Value())).object(), BaseSource());

    // A dump of a file cut short fails with the archive's end-of-file message.
    const auto size = fs::file_size(dir / "a.dat");
    fs::resize_file(dir / "a.dat", size - 1);
    EXPECT_EQ(test::Complaint(DumpFile(dir / "a.dat")),
              "An attempt was made to access " + (dir / "a.dat") + " past its end.");
}

TEST(DataSourceFiles, aBadSourceLeavesTheOldOutputAlone)
{
    TempDir dir;
    WriteFile(dir / "a.json", Text(BaseSource()));
    const Result<> compiled = CompileFile(dir / "a.json", dir / "a.dat");
    ASSERT_TRUE(compiled) << compiled.Text();
    const auto before = fs::file_size(dir / "a.dat");

    WriteFile(dir / "a.json", Text(EditItem(BaseSource(), [](QJsonObject& o) { o["max"] = "x"; })));
    EXPECT_EQ(test::Complaint(CompileFile(dir / "a.json", dir / "a.dat")),
              "a.json: groups[0].items[0].max: expected a number");
    EXPECT_EQ(fs::file_size(dir / "a.dat"), before);

    const std::string missing = test::Complaint(CompileFile(dir / "missing.json", dir / "b.dat"));
    EXPECT_NE(missing.find("missing.json"), std::string::npos) << missing;
    EXPECT_FALSE(CompileFile(dir / "a.json", dir / "no/such/folder/b.dat"));
    EXPECT_FALSE(fs::exists(dir / "no"));
}

// The command line: exit codes and where the messages go.
TEST(DataSourceCommandLine, compilesDumpsAndReportsErrors)
{
    TempDir dir;
    WriteFile(dir / "a.json", Text(BaseSource()));
    const std::string tool = VARIMON_BINARY_DIR "/tools/datac/varimon-datac";
    auto run = [](const std::string& cmd, std::string* out) {
        FILE* p = ::popen((cmd + " 2>&1").c_str(), "r");
        char buf[4096];
        size_t n;
        out->clear();
        while ((n = std::fread(buf, 1, sizeof buf, p)) > 0)
            out->append(buf, n);
        const int status = ::pclose(p);
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    };
    std::string out;
    EXPECT_EQ(run(tool + " " + (dir / "a.json") + " " + (dir / "a.dat"), &out), 0) << out;
    EXPECT_EQ(run(tool + " --dump " + (dir / "a.dat"), &out), 0);
    EXPECT_EQ(QJsonDocument::fromJson(QByteArray::fromStdString(out)).object(), BaseSource());

    WriteFile(dir / "b.json", Text(EditItem(BaseSource(), [](QJsonObject& o) { o["mni"] = 0; })));
    EXPECT_EQ(run(tool + " " + (dir / "b.json") + " " + (dir / "b.dat"), &out), 1);
    EXPECT_EQ(out, "varimon-datac: b.json: groups[0].items[0].mni: unknown key\n");
    EXPECT_FALSE(fs::exists(dir / "b.dat"));
    EXPECT_EQ(run(tool + " --dump", &out), 2);
    EXPECT_NE(out.find("usage:"), std::string::npos);
}
