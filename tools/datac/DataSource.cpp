#include "tools/datac/DataSource.h"

#include "base/JsonText.h"

#include <QByteArray>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <QJsonValue>

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <initializer_list>
#include <limits>
#include <map>
#include <memory>
#include <optional>

#include "paramdb/TextCodec.h"

namespace vm::datac {

// ---------------------------------------------------------------- JSON source -> parameter data

namespace {

struct SourceError {
    std::string where;  // key path, or "line:column"
    std::string what;
};

std::string Quoted(const QString& s)
{
    std::string out = "\"";
    out += s.toStdString();
    out += '"';
    return out;
}

class SourceReader {
public:
    // Checks that v is an object holding only the given keys, and the required ones.
    QJsonObject Object(const QJsonValue& v, const std::string& path, std::initializer_list<const char*> keys,
                       std::initializer_list<const char*> required)
    {
        if (!v.isObject())
            throw SourceError{path, "expected an object"};
        QJsonObject o = v.toObject();
        for (auto it = o.begin(); it != o.end(); ++it) {
            bool known = false;
            for (const char* k : keys)
                known = known || it.key() == QLatin1String(k);
            if (!known)
                throw SourceError{Join(path, it.key().toStdString()), "unknown key"};
        }
        for (const char* k : required) {
            if (!o.contains(QLatin1String(k)))
                throw SourceError{Join(path, k), "missing"};
        }
        return o;
    }

    QJsonArray Array(const QJsonObject& o, const char* key, const std::string& path)
    {
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isArray())
            throw SourceError{Join(path, key), "expected an array"};
        return v.toArray();
    }

    // A text; it must fit the file's 8-bit code page.
    std::string Text(const QJsonValue& v, const std::string& path)
    {
        if (!v.isString())
            throw SourceError{path, "expected a string"};
        const std::string utf8 = v.toString().toStdString();
        std::string bytes = Utf8ToCp1252(utf8);
        if (Cp1252ToUtf8(bytes) != utf8)
            throw SourceError{path, "holds a character that Windows-1252 cannot store"};
        return bytes;
    }

    std::string Text(const QJsonObject& o, const char* key, const std::string& path,
                     const std::string& fallback = {})
    {
        if (!o.contains(QLatin1String(key)))
            return fallback;
        return Text(o.value(QLatin1String(key)), Join(path, key));
    }

    int64_t Integer(const QJsonValue& v, const std::string& path, int64_t lo, int64_t hi)
    {
        if (!v.isDouble())
            throw SourceError{path, "expected a number"};
        const double d = v.toDouble();
        if (std::floor(d) != d)
            throw SourceError{path, "expected a whole number"};
        if (d < static_cast<double>(lo) || d > static_cast<double>(hi)) {
            char buf[96];
            std::snprintf(buf, sizeof buf, "%.17g is out of range (%lld..%lld)", d,
                          static_cast<long long>(lo), static_cast<long long>(hi));
            throw SourceError{path, buf};
        }
        return static_cast<int64_t>(d);
    }

    int64_t Integer(const QJsonObject& o, const char* key, const std::string& path, int64_t lo, int64_t hi,
                    std::optional<int64_t> fallback = std::nullopt)
    {
        if (!o.contains(QLatin1String(key))) {
            if (!fallback)
                throw SourceError{Join(path, key), "missing"};
            return *fallback;
        }
        return Integer(o.value(QLatin1String(key)), Join(path, key), lo, hi);
    }

    // "0x" and one to eight hexadecimal digits.
    uint32_t Hex(const QJsonObject& o, const char* key, const std::string& path, uint32_t hi,
                 std::optional<uint32_t> fallback = std::nullopt)
    {
        const std::string where = Join(path, key);
        if (!o.contains(QLatin1String(key))) {
            if (!fallback)
                throw SourceError{where, "missing"};
            return *fallback;
        }
        const QJsonValue v = o.value(QLatin1String(key));
        if (!v.isString())
            throw SourceError{where, "expected a hexadecimal string such as \"0x0100\""};
        const QString s = v.toString();
        bool ok = s.size() > 2 && s.size() <= 10 && s.startsWith(QLatin1String("0x"));
        uint32_t value = 0;
        for (qsizetype i = 2; ok && i < s.size(); ++i) {
            const char16_t c = s[i].unicode();
            const int digit = (c >= '0' && c <= '9')   ? c - '0'
                              : (c >= 'A' && c <= 'F') ? c - 'A' + 10
                              : (c >= 'a' && c <= 'f') ? c - 'a' + 10
                                                       : -1;
            ok = digit >= 0;
            value = value * 16 + static_cast<uint32_t>(digit);
        }
        if (!ok)
            throw SourceError{where, Quoted(s) + " is not a hexadecimal number such as \"0x0100\""};
        if (value > hi) {
            char buf[64];
            std::snprintf(buf, sizeof buf, " is out of range (0x0..0x%X)", hi);
            throw SourceError{where, Quoted(s) + buf};
        }
        return value;
    }

    static std::string Join(const std::string& path, const std::string& key)
    {
        return path.empty() ? key : path + "." + key;
    }
    static std::string Index(const std::string& path, qsizetype i)
    {
        return path + "[" + std::to_string(i) + "]";
    }
};

// Texts the loader trims must not need trimming, or the dump would differ from the source.
std::string TrimmedText(SourceReader& r, const QJsonValue& v, const std::string& path)
{
    std::string text = r.Text(v, path);
    if (Trimmed(text) != text)
        throw SourceError{path, "has leading or trailing white space, which the loader removes"};
    return text;
}

void ParseData(const QJsonDocument& doc, ParameterData* data)
{
    SourceReader r;
    if (!doc.isObject())
        throw SourceError{"(top)", "expected an object"};
    const QJsonObject top =
        r.Object(QJsonValue(doc.object()), "",
                 {"description", "model", "reserved", "version", "types", "choices", "groups"},
                 {"description", "model", "version", "types", "choices", "groups"});

    ParameterData::Header header;
    header.description = r.Text(top.value("description"), "description");
    header.model = static_cast<uint16_t>(r.Integer(top, "model", "", 0, 0xFFFF));
    if (top.contains("reserved")) {
        const QJsonArray a = r.Array(top, "reserved", "");
        if (a.size() != 4)
            throw SourceError{"reserved", "expected 4 numbers"};
        for (qsizetype i = 0; i < 4; ++i)
            header.reserved[i] = static_cast<uint16_t>(r.Integer(a[i], r.Index("reserved", i), 0, 0xFFFF));
    }
    header.version = r.Hex(top, "version", "", 0xFFFFFFFFu);
    data->SetFileHeader(header);

    const QJsonArray types = r.Array(top, "types", "");
    for (qsizetype i = 0; i < types.size(); ++i) {
        const std::string path = r.Index("types", i);
        const QJsonObject o = r.Object(
            types[i], path, {"name", "text1", "text2", "unit", "multiplier", "divisor", "flags"}, {"name"});
        auto t = std::make_unique<CType>();
        t->name = TrimmedText(r, o.value("name"), path + ".name");
        t->unused[0] = r.Text(o, "text1", path);
        t->unused[1] = r.Text(o, "text2", path);
        t->unit = o.contains("unit") ? TrimmedText(r, o.value("unit"), path + ".unit") : "";
        t->SetMultiplier(static_cast<uint32_t>(r.Integer(o, "multiplier", path, 0, 0xFFFFFFFFll, 1)));
        t->SetDivisor(static_cast<uint32_t>(r.Integer(o, "divisor", path, 0, 0xFFFFFFFFll, 1)));
        t->flags = static_cast<uint8_t>(r.Integer(o, "flags", path, 0, 255, 0));
        if (data->Types().FindByName(t->name))
            throw SourceError{path + ".name", Quoted(o.value("name").toString()) + " is defined twice"};
        data->Types().Add(std::move(t));
    }

    const QJsonArray choices = r.Array(top, "choices", "");
    for (qsizetype i = 0; i < choices.size(); ++i) {
        const std::string path = r.Index("choices", i);
        const QJsonObject o = r.Object(choices[i], path, {"name", "texts"}, {"name", "texts"});
        auto c = std::make_unique<CMess>();
        c->name = TrimmedText(r, o.value("name"), path + ".name");
        const QJsonArray texts = r.Array(o, "texts", path);
        for (qsizetype k = 0; k < texts.size(); ++k)
            c->texts.push_back(TrimmedText(r, texts[k], r.Index(path + ".texts", k)));
        if (data->ChoiceLists().FindByName(c->name))
            throw SourceError{path + ".name", Quoted(o.value("name").toString()) + " is defined twice"};
        data->ChoiceLists().Add(std::move(c));
    }

    constexpr int64_t kMin32 = std::numeric_limits<int32_t>::min();
    constexpr int64_t kMax32 = std::numeric_limits<int32_t>::max();
    std::map<uint16_t, std::string> addressOwner;
    const QJsonArray groups = r.Array(top, "groups", "");
    for (qsizetype gi = 0; gi < groups.size(); ++gi) {
        const std::string gpath = r.Index("groups", gi);
        const QJsonObject go = r.Object(groups[gi], gpath, {"name", "items"}, {"name", "items"});
        auto g = std::make_unique<CGroup>();
        g->name = TrimmedText(r, go.value("name"), gpath + ".name");
        const QJsonArray items = r.Array(go, "items", gpath);
        for (qsizetype ii = 0; ii < items.size(); ++ii) {
            const std::string path = r.Index(gpath + ".items", ii);
            const QJsonObject o = r.Object(items[ii], path,
                                           {"address", "modeName", "writable", "runWritable", "min", "max",
                                            "default", "name", "type", "choice", "extra"},
                                           {"address", "name", "min", "max", "default"});
            auto it = std::make_unique<CItem>();
            it->address = static_cast<uint16_t>(r.Hex(o, "address", path, 0xFFFF));
            it->modeName = static_cast<int32_t>(r.Integer(o, "modeName", path, 0, 1, 0));
            it->writable = static_cast<int32_t>(r.Integer(o, "writable", path, kMin32, kMax32, 1));
            it->runWritable = static_cast<int32_t>(r.Integer(o, "runWritable", path, kMin32, kMax32, 0));
            const auto min = static_cast<int32_t>(r.Integer(o, "min", path, kMin32, kMax32));
            const auto max = static_cast<int32_t>(r.Integer(o, "max", path, kMin32, kMax32));
            const auto dflt = static_cast<int32_t>(r.Integer(o, "default", path, kMin32, kMax32));
            it->minimum = static_cast<uint32_t>(min);
            it->maximum = static_cast<uint32_t>(max);
            it->defaultValue = static_cast<uint32_t>(dflt);
            it->name = TrimmedText(r, o.value("name"), path + ".name");
            it->typeName = o.contains("type") ? TrimmedText(r, o.value("type"), path + ".type") : "";
            it->messName = o.contains("choice") ? TrimmedText(r, o.value("choice"), path + ".choice") : "";
            if (o.contains("extra")) {
                const QJsonArray a = r.Array(o, "extra", path);
                if (a.size() != 3)
                    throw SourceError{path + ".extra", "expected 3 strings"};
                for (qsizetype k = 0; k < 3; ++k)
                    it->unused[k] = r.Text(a[k], r.Index(path + ".extra", k));
            }

            // Mistakes the loader would accept silently but that break the editor's view.
            if (min > max)
                throw SourceError{path + ".min", "is above max"};
            if (dflt < min || dflt > max)
                throw SourceError{path + ".default", "is outside min..max"};
            if (it->typeName == "MSG") {
                const CMess* mess = data->ChoiceLists().FindByName(it->messName);
                if (!mess)
                    throw SourceError{path + ".choice", "names no choice list"};
                if (max >= 0 && static_cast<size_t>(max) >= mess->texts.size())
                    throw SourceError{path + ".max", "is beyond the last text of the choice list"};
            } else {
                if (!it->messName.empty())
                    throw SourceError{path + ".choice", "is only used with the type \"MSG\""};
                if (!it->typeName.empty() && !data->Types().FindByName(it->typeName))
                    throw SourceError{path + ".type", "names no value type"};
            }
            const auto [owner, fresh] = addressOwner.emplace(it->address, path);
            if (!fresh)
                throw SourceError{path + ".address", "is already used by " + owner->second};
            g->items.Add(std::move(it));
        }
        data->Groups().Add(std::move(g));
    }
}

}  // namespace

Result<> ParseSource(const std::string& json, const std::string& sourceName, ParameterData& data)
{
    data.Clear();
    const QByteArray bytes = QByteArray::fromRawData(json.data(), static_cast<qsizetype>(json.size()));
    QJsonParseError pe{};
    const QJsonDocument doc = QJsonDocument::fromJson(bytes, &pe);
    if (pe.error != QJsonParseError::NoError) {
        // The offset counts bytes of the UTF-8 text.
        const size_t offset = std::min(static_cast<size_t>(std::max<qsizetype>(pe.offset, 0)), json.size());
        size_t line = 1, column = 1;
        for (size_t i = 0; i < offset; ++i) {
            if (json[i] == '\n')
                ++line, column = 1;
            else if ((static_cast<unsigned char>(json[i]) & 0xC0) != 0x80)
                ++column;
        }
        return Failure{static_cast<int>(pe.error), sourceName + ":" + std::to_string(line) + ":" +
                                                       std::to_string(column) + ": " +
                                                       pe.errorString().toStdString()};
    }
    try {
        ParseData(doc, &data);
    } catch (const SourceError& e) {
        data.Clear();
        return Failure{EINVAL, sourceName + ": " + e.where + ": " + e.what};
    }
    return {};
}

// ---------------------------------------------------------------- parameter data -> JSON source

namespace {

std::string JsonString(std::string_view cp1252)
{
    return JsonQuoted(Cp1252ToUtf8(cp1252));
}

std::string Hex4(uint32_t v)
{
    char buf[16];
    std::snprintf(buf, sizeof buf, "\"0x%04X\"", v);
    return buf;
}

// Builds "{"a": 1, "b": 2}" in the order the fields are added.
class Line {
public:
    Line& Add(const char* key, const std::string& jsonValue)
    {
        text_ += (text_.empty() ? "{" : ", ");
        text_ += "\"";
        text_ += key;
        text_ += "\": " + jsonValue;
        return *this;
    }
    Line& Add(const char* key, int64_t v) { return Add(key, std::to_string(v)); }
    std::string Close() const { return text_ + "}"; }

private:
    std::string text_;
};

std::string StringList(const std::vector<std::string>& texts)
{
    std::string out = "[";
    for (size_t i = 0; i < texts.size(); ++i) {
        if (i)
            out += ", ";
        out += JsonString(texts[i]);
    }
    return out + "]";
}

std::string Block(const std::vector<std::string>& lines, const char* indent)
{
    std::string out;
    for (size_t i = 0; i < lines.size(); ++i)
        out += indent + lines[i] + (i + 1 < lines.size() ? ",\n" : "\n");
    return out;
}

// "]" when there are no lines; else the lines one per row and the bracket on a row of its own.
std::string LinesThenClose(const std::vector<std::string>& lines, const char* indent, const char* closeIndent)
{
    std::string out;
    if (!lines.empty()) {
        out += "\n";
        out += Block(lines, indent);
        out += closeIndent;
    }
    out += "]";
    return out;
}

std::string ListField(const char* key, const std::vector<std::string>& lines, bool last)
{
    std::string out = std::string("  \"") + key + "\": [";
    out += LinesThenClose(lines, "    ", "  ");
    out += last ? "\n" : ",\n";
    return out;
}

}  // namespace

std::string WriteSource(const ParameterData& data)
{
    const ParameterData::Header& header = data.FileHeader();
    std::string out = "{\n";
    out += "  \"description\": " + JsonString(header.description) + ",\n";
    out += "  \"model\": " + std::to_string(header.model) + ",\n";
    if (header.reserved != std::array<uint16_t, 4>{}) {
        out += "  \"reserved\": [";
        for (size_t i = 0; i < header.reserved.size(); ++i) {
            if (i)
                out += ", ";
            out += std::to_string(header.reserved[i]);
        }
        out += "],\n";
    }
    out += "  \"version\": " + Hex4(header.version) + ",\n";

    std::vector<std::string> lines;
    for (const auto& t : data.Types()) {
        Line l;
        l.Add("name", JsonString(t->name));
        if (!t->unused[0].empty())
            l.Add("text1", JsonString(t->unused[0]));
        if (!t->unused[1].empty())
            l.Add("text2", JsonString(t->unused[1]));
        if (!t->unit.empty())
            l.Add("unit", JsonString(t->unit));
        if (t->multiplier != 1)
            l.Add("multiplier", t->multiplier);
        if (t->divisor != 1)
            l.Add("divisor", t->divisor);
        if (t->flags != 0)
            l.Add("flags", t->flags);
        lines.push_back(l.Close());
    }
    out += ListField("types", lines, false);

    lines.clear();
    for (const auto& c : data.ChoiceLists())
        lines.push_back(Line().Add("name", JsonString(c->name)).Add("texts", StringList(c->texts)).Close());
    out += ListField("choices", lines, false);

    lines.clear();
    for (const auto& g : data.Groups()) {
        std::string s = "{ \"name\": " + JsonString(g->name) + ", \"items\": [";
        std::vector<std::string> items;
        for (const auto& it : g->items) {
            Line l;
            l.Add("address", Hex4(it->address));
            if (it->modeName != 0)
                l.Add("modeName", it->modeName);
            l.Add("name", JsonString(it->name));
            if (!it->typeName.empty())
                l.Add("type", JsonString(it->typeName));
            if (!it->messName.empty())
                l.Add("choice", JsonString(it->messName));
            if (it->writable != 1)
                l.Add("writable", it->writable);
            if (it->runWritable != 0)
                l.Add("runWritable", it->runWritable);
            // Limits are signed 32-bit numbers in the source.
            l.Add("min", static_cast<int32_t>(it->minimum))
                .Add("max", static_cast<int32_t>(it->maximum))
                .Add("default", static_cast<int32_t>(it->defaultValue));
            if (it->unused != std::array<std::string, 3>{})
                l.Add("extra", StringList({it->unused.begin(), it->unused.end()}));
            items.push_back(l.Close());
        }
        s += LinesThenClose(items, "      ", "    ");
        s += " }";
        lines.push_back(s);
    }
    out += ListField("groups", lines, true);
    return out + "}\n";
}

// ---------------------------------------------------------------- files ----------------------

namespace {

std::string BaseName(const std::string& path)
{
    const size_t slash = path.find_last_of('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

}  // namespace

Result<> CompileFile(const std::string& sourcePath, const std::string& outputPath)
{
    QFile in(QString::fromStdString(sourcePath));
    if (!in.open(QIODevice::ReadOnly))
        return Failure{static_cast<int>(in.error()), sourcePath + ": " + in.errorString().toStdString()};
    const QByteArray bytes = in.readAll();
    ParameterData data;
    if (Result<> parsed = ParseSource(bytes.toStdString(), BaseName(sourcePath), data); !parsed)
        return parsed;
    ArchiveFile file;
    file.Attach(outputPath, &data);
    if (!file.Save(false))
        return Failure{EIO, file.FailureText()};
    return {};
}

Result<std::string> DumpFile(const std::string& dataPath)
{
    ParameterData data;
    ArchiveFile file;
    file.Attach(dataPath, &data);
    if (!file.Load(false))
        return Failure{EIO, file.FailureText()};
    return WriteSource(data);
}

}  // namespace vm::datac
