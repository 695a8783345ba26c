#pragma once
// Parameters dragged from the list to a user group. The payload names the editor it came from
// and the parameters by address, under a type of our own: text dropped from elsewhere, or
// parameters of another editor (another model's data), is refused, never dereferenced.

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

class QMimeData;

namespace vm {

class CCustom;
class ParameterData;

inline constexpr const char* kParaDragMime = "application/x-varimon-parameters";

// A process-wide unique number for each editor.
uint64_t NewEditorIdentity();

QMimeData* EncodeParaDrag(uint64_t editor, const std::vector<uint16_t>& addresses);
// The addresses when the data comes from this editor of this process, else nothing.
std::optional<std::vector<uint16_t>> DecodeParaDrag(const QMimeData* mime, uint64_t editor);

// Appends an entry for every addressed parameter the group does not hold yet (entry value the
// parameter's current value, state 0) and marks the group modified when any was added.
int AddToUserGroup(CCustom& group, const ParameterData& data, const std::vector<uint16_t>& addresses);

}  // namespace vm
