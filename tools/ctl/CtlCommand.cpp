#include "tools/ctl/CtlCommand.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace vm::ctl {

CtlCommand::CtlCommand(CommManager& manager, const CtlOptions& options, std::ostream& out, std::ostream& err)
    : manager_(manager), options_(options), out_(out), err_(err)
{}

void CtlCommand::Finish(int code)
{
    if (finished_)
        return;
    Release();
    finished_ = true;
    exitCode_ = code;
    if (onFinished)
        onFinished();
}

void CtlCommand::Finish(const Failure& failure)
{
    if (!failure.text.empty())
        err_ << failure.text << "\n";
    Finish(failure.code);
}

void CtlCommand::EmitLine(const std::string& text, const std::string& json)
{
    out_ << (options_.json ? json : text) << "\n";
    out_.flush();
}

void CtlCommand::PrintError(const std::string& text)
{
    err_ << "*** " << text << " ***\n";
}

std::string CtlCommand::ReplyErrorText(const CommReply& reply)
{
    return CommManager::ErrorText(reply.error == kGiveUp ? reply.lastError : reply.error);
}

std::string CtlCommand::Compact(const QJsonObject& object)
{
    return QJsonDocument(object).toJson(QJsonDocument::Compact).toStdString();
}

}  // namespace vm::ctl
