#pragma once
// A node of the editor's group tree as the list and the frame see it: its kind and its object.

namespace vm {

class CCustom;
class CGroup;

// Numbered as the tree stores them.
enum class NodeKind : int { kGroup = 0, kUserGroup = 1, kGroupRoot = 2, kUserGroupRoot = 3 };

struct ParaNode {
    NodeKind kind = NodeKind::kGroupRoot;
    CGroup* group = nullptr;    // kGroup
    CCustom* custom = nullptr;  // kUserGroup
};

}  // namespace vm
