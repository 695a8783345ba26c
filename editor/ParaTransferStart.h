#pragma once
// The checks of the transfer dialog's "&Start", without widgets: the path field's text, the file
// kind from its extension (or the remembered browse choice), and the over-write question of an
// upload. Messages go through the sink.

#include "transfer/ParaTransfer.h"

#include <functional>
#include <string>

namespace vm {

namespace start_text {
inline constexpr const char* kSelectFile = "Select parameter or user group file";
inline constexpr const char* kBadPath = "File path input is wrong\nPlease, input file path again";
inline constexpr const char* kOverwrite = "%s file is already exist\nDo you want to over-write ?";
}  // namespace start_text

struct TransferStart {
    bool ok = false;
    bool focusPath = false;  // select the path field's text
    std::string path;        // with the extension the kind asks for
    TransferFileKind kind = TransferFileKind::Parameter;
};

// choice: the browse dialog's remembered file type (1 parameter, 2 user group; anything else
// reads as 1); a recognised extension updates it.
TransferStart CheckTransferStart(TransferOperation operation, const std::string& text, int& choice,
                                 MessageSink& messages,
                                 const std::function<bool(const std::string&)>& exists);

// "<folder>/<model>-<station>-backup-<stamp>.par": where a download keeps the drive's old values.
std::string BackupPath(const std::string& folder, const std::string& model, int station,
                       const std::string& stamp);

}  // namespace vm
