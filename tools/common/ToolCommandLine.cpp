#include "tools/common/ToolCommandLine.h"

#include "tools/common/LineOptions.h"

#include <QRegularExpression>

namespace vm::tools {

namespace {

constexpr const char* kLineOptionNames[] = {"baud", "parity", "data-bits", "stop-bits"};

QString Q(const std::string& text)
{
    return QString::fromStdString(text);
}

bool IsNegativeNumber(const QString& arg)
{
    static const QRegularExpression number(QStringLiteral("^-(0[xX][0-9A-Fa-f]+|[0-9]+)$"));
    return number.match(arg).hasMatch();
}

}  // namespace

const char* ToolVersion()
{
    return VARIMON_VERSION;
}

ToolCommandLine::ToolCommandLine(std::string synopsis, const std::string& description)
    : synopsis_(std::move(synopsis))
{
    parser_.setApplicationDescription(Q(description));
    AddOption({{QStringLiteral("h"), QStringLiteral("help")}, QStringLiteral("Show this help and exit.")});
    AddOption(
        {{QStringLiteral("v"), QStringLiteral("version")}, QStringLiteral("Show the version and exit.")});
}

void ToolCommandLine::AddOption(const QCommandLineOption& option)
{
    parser_.addOption(option);
    options_.append(option);
}

void ToolCommandLine::AddLineOptions()
{
    AddOption({QStringLiteral("baud"), QStringLiteral("Baud rate (default 9600)."), QStringLiteral("N")});
    AddOption({QStringLiteral("parity"), QStringLiteral("none, odd, even, mark or space (default none)."),
               QStringLiteral("PARITY")});
    AddOption({QStringLiteral("data-bits"), QStringLiteral("5-8 (default 8)."), QStringLiteral("N")});
    AddOption({QStringLiteral("stop-bits"), QStringLiteral("1, 1.5 or 2 (default 1)."), QStringLiteral("N")});
}

void ToolCommandLine::AddPacingOptions()
{
    AddOption({QStringLiteral("pace"),
               QStringLiteral("tick: one frame per 30 ms tick (default); line: each frame as soon as the "
                              "line is free."),
               QStringLiteral("PACE")});
    AddOption({QStringLiteral("turnaround"),
               QStringLiteral("Line-paced: silence after each transaction besides Modbus t3.5 (default 2)."),
               QStringLiteral("MS")});
}

// The parser would read a negative number as short options and, after "--", stop taking
// options; so every word moves behind a "--" and the options stay in front, in their order.
QStringList ToolCommandLine::OptionsBeforeWords(const std::vector<std::string>& args) const
{
    QStringList options{QStringLiteral("program")};
    QStringList words;
    bool wordsOnly = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const QString arg = Q(args[i]);
        if (wordsOnly || arg == QStringLiteral("-") || !arg.startsWith(u'-') || IsNegativeNumber(arg)) {
            words.append(arg);
            continue;
        }
        if (arg == QStringLiteral("--")) {
            wordsOnly = true;
            continue;
        }
        options.append(arg);
        if (!arg.startsWith(QStringLiteral("--")) || arg.contains(u'='))
            continue;
        const QString name = arg.mid(2);
        for (const QCommandLineOption& option : options_) {
            if (option.names().contains(name) && !option.valueName().isEmpty()) {
                // Left last, the parser reports the missing value; before "--" it would take that.
                if (i + 1 >= args.size())
                    return options;
                options.append(Q(args[++i]));
                break;
            }
        }
    }
    options.append(QStringLiteral("--"));
    return options + words;
}

Result<> ToolCommandLine::Parse(const std::vector<std::string>& args)
{
    if (!parser_.parse(OptionsBeforeWords(args)))
        return UsageError(parser_.errorText().toStdString());
    return {};
}

bool ToolCommandLine::HelpRequested() const
{
    return parser_.isSet(QStringLiteral("help"));
}

bool ToolCommandLine::VersionRequested() const
{
    return parser_.isSet(QStringLiteral("version"));
}

bool ToolCommandLine::IsSet(const char* name) const
{
    return parser_.isSet(QString::fromLatin1(name));
}

std::string ToolCommandLine::Value(const char* name) const
{
    return parser_.value(QString::fromLatin1(name)).toStdString();
}

std::vector<std::string> ToolCommandLine::Values(const char* name) const
{
    std::vector<std::string> values;
    for (const QString& value : parser_.values(QString::fromLatin1(name)))
        values.push_back(value.toStdString());
    return values;
}

std::vector<std::string> ToolCommandLine::Words() const
{
    std::vector<std::string> words;
    for (const QString& word : parser_.positionalArguments())
        words.push_back(word.toStdString());
    return words;
}

Result<> ToolCommandLine::ApplyLineOptions(PortSettings& settings) const
{
    for (const char* name : kLineOptionNames) {
        if (!IsSet(name))
            continue;
        if (Result<> applied = ApplyLineOption(std::string("--") + name, Value(name), settings); !applied)
            return applied;
    }
    return {};
}

Result<> ToolCommandLine::ApplyPacingOptions(Pacing& pacing, int& turnaroundUs) const
{
    if (IsSet("pace")) {
        const auto parsed = ParsePacing(Value("pace"));
        if (!parsed)
            return UsageError("--pace " + Value("pace") + ": use tick or line");
        pacing = *parsed;
    }
    if (IsSet("turnaround")) {
        // Tenths of a millisecond are worth giving on a fast line.
        bool ok = false;
        const double ms = QString::fromStdString(Value("turnaround")).toDouble(&ok);
        if (!ok || !(ms >= 0 && ms <= kMaxTurnaroundUs / 1000))
            return UsageError("--turnaround " + Value("turnaround") + ": use 0-" +
                              std::to_string(kMaxTurnaroundUs / 1000) + " ms");
        turnaroundUs = static_cast<int>(ms * 1000 + 0.5);
    }
    return {};
}

std::string ToolCommandLine::HelpText() const
{
    // Qt's first line names the program by its path; the synopsis says how to call it.
    const QString text = parser_.helpText();
    const qsizetype firstLineEnd = text.indexOf(u'\n');
    return "Usage: " + synopsis_ + "\n" +
           (firstLineEnd < 0 ? QString() : text.mid(firstLineEnd + 1)).toStdString();
}

}  // namespace vm::tools
