#pragma once
// A node of the editor's group tree as the list and the frame see it: its kind and its object.

namespace vm {

class CCustom;
class CGroup;

// Numbered as the tree stores them.
enum class NodeKind : int { Group = 0, UserGroup = 1, GroupRoot = 2, UserGroupRoot = 3 };

struct ParaNode {
    NodeKind kind = NodeKind::GroupRoot;
    CGroup* group = nullptr;    // kGroup
    CCustom* custom = nullptr;  // kUserGroup
};

}  // namespace vm
