#include "editor/ParaTransferStart.h"

#include "paramdb/ParameterData.h"

#include <cstdio>

namespace vm {

TransferStart CheckTransferStart(TransferOperation operation, const std::string& text, int& choice,
                                 MessageSink& messages, const std::function<bool(const std::string&)>& exists)
{
    using namespace start_text;
    TransferStart result;
    std::string path = Trimmed(text);
    if (path.empty()) {
        messages.Show(MessageKind::Information, kSelectFile, transfer_text::kCaption);
        return result;
    }
    const size_t slash = path.rfind('/');
    if (slash == std::string::npos || slash + 1 == path.size()) {
        messages.Show(MessageKind::Error, kBadPath, transfer_text::kCaption);
        result.focusPath = true;
        return result;
    }
    if (auto kind = TransferFileKindOf(path)) {
        result.kind = *kind;
        choice = static_cast<int>(*kind);
    } else {
        if (choice != 1 && choice != 2)
            choice = 1;
        result.kind = static_cast<TransferFileKind>(choice);
        const size_t dot = path.rfind('.');
        if (dot != std::string::npos && dot > slash)
            path.erase(dot);
        path += choice == 2 ? ".usr" : ".par";
    }
    result.path = path;
    if (operation == TransferOperation::Upload && result.kind == TransferFileKind::Parameter &&
        exists(path)) {
        char question[1024];
        std::snprintf(question, sizeof question, kOverwrite, path.c_str());
        if (!messages.AskYesNo(question, transfer_text::kCaption)) {
            result.focusPath = true;
            return result;
        }
    }
    result.ok = true;
    return result;
}

std::string BackupPath(const std::string& folder, const std::string& model, int station,
                       const std::string& stamp)
{
    return folder + "/" + model + "-" + std::to_string(station) + "-backup-" + stamp + ".par";
}

}  // namespace vm
