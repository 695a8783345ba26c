#include "tools/ctl/CtlStats.h"

#include <QJsonDocument>
#include <QJsonObject>

#include <cstdio>

namespace vm::ctl {

namespace {

std::string Fixed(double value)
{
    char text[32];
    std::snprintf(text, sizeof text, "%.1f", value);
    return text;
}

double Ms(int64_t us)
{
    return static_cast<double>(us) / 1000.0;
}

}  // namespace

CtlStats::CtlStats(const CommManager& manager, int station, bool json, int64_t startMs)
    : manager_(manager), station_(station), json_(json), startMs_(startMs), lastMs_(startMs)
{}

std::string CtlStats::Line(int64_t nowMs)
{
    const std::string text = Format("stats", lastMs_, lastValues_, nowMs);
    lastMs_ = nowMs;
    lastValues_ = manager_.Health(station_).valuesRefreshed;
    return text;
}

std::string CtlStats::Summary(int64_t nowMs) const
{
    return Format("summary", startMs_, 0, nowMs);
}

std::string CtlStats::Format(const char* label, int64_t sinceMs, uint64_t valuesSince, int64_t nowMs) const
{
    const StationHealth& h = manager_.Health(station_);
    const int64_t spanMs = nowMs - sinceMs;
    const double rate =
        spanMs > 0 && h.valuesRefreshed >= valuesSince
            ? static_cast<double>(h.valuesRefreshed - valuesSince) * 1000.0 / static_cast<double>(spanMs)
            : 0.0;
    const double seconds = static_cast<double>(nowMs - startMs_) / 1000.0;
    if (json_) {
        QJsonObject refusals;
        for (const auto& [error, count] : h.rejections)
            refusals.insert(QString::fromStdString(RejectionName(error)), static_cast<qint64>(count));
        QJsonObject o{{"station", station_},
                      {"final", std::string_view(label) == "summary"},
                      {"seconds", seconds},
                      {"requests", static_cast<qint64>(h.requests)},
                      {"attempts", static_cast<qint64>(h.attempts)},
                      {"replies", static_cast<qint64>(h.replies)},
                      {"timeouts", static_cast<qint64>(h.timeouts)},
                      {"checksumErrors", static_cast<qint64>(h.checksumErrors)},
                      {"frameErrors", static_cast<qint64>(h.frameErrors)},
                      {"repetitions", static_cast<qint64>(h.repetitions)},
                      {"giveUps", static_cast<qint64>(h.giveUps)},
                      {"refusals", refusals},
                      {"valuesRefreshed", static_cast<qint64>(h.valuesRefreshed)},
                      {"valuesPerSecond", rate}};
        if (h.timed)
            o.insert("replyMs", QJsonObject{{"last", Ms(h.replyLastUs)},
                                            {"mean", Ms(h.ReplyMeanUs())},
                                            {"max", Ms(h.replyMaxUs)}});
        else
            o.insert("replyMs", QJsonValue());
        return QJsonDocument(QJsonObject{{"stats", o}}).toJson(QJsonDocument::Compact).toStdString();
    }
    std::string text = std::string(label) + " station " + std::to_string(station_) + " at " + Fixed(seconds) +
                       " s: " + std::to_string(h.requests) + " requests, " + std::to_string(h.replies) +
                       " replies, " + std::to_string(h.timeouts) + " time-outs, " +
                       std::to_string(h.checksumErrors) + " checksum errors, " +
                       std::to_string(h.frameErrors) + " frame errors, " + std::to_string(h.repetitions) +
                       " repetitions, " + std::to_string(h.giveUps) + " give-ups";
    const std::string refusals = h.RejectionText();
    text += "; refusals " + (refusals.empty() ? std::string("none") : refusals);
    if (h.timed)
        text += "; reply ms last " + Fixed(Ms(h.replyLastUs)) + " mean " + Fixed(Ms(h.ReplyMeanUs())) +
                " max " + Fixed(Ms(h.replyMaxUs));
    text += "; " + Fixed(rate) + " values/s";
    return text;
}

}  // namespace vm::ctl
