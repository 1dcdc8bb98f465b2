// An in-memory file tree for class-path assembly, shared by its unit tests and its fuzz target. Paths
// are relative to the root, '\' or '/' between names, separators at the end ignored, "." and ".."
// naming a directory itself and its parent, as the Windows file functions treat them. A directory
// lists its items in insertion order after "." and ".."; its listing may fail after some items; an
// entry may be inaccessible; an item may lead to another directory, as a link or junction does, and
// then shares that directory's identity.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "jvm/jvm_options.h"

namespace fuzzing {

struct TreeNode {
  enum Kind { kFile, kDirectory, kInaccessible } kind = kFile;
  std::vector<std::pair<std::string, TreeNode*>> children;
  int fail_after = -1;  // the listing fails after this many items (-1, or all of them: it completes)
  unsigned long fail_error = 0x3B;
};

class TreeFileSystem : public stub::ClassPathFileSystem {
 public:
  TreeFileSystem() { root_.kind = TreeNode::kDirectory; }
  TreeFileSystem(const TreeFileSystem&) = delete;
  TreeFileSystem& operator=(const TreeFileSystem&) = delete;

  TreeNode& root() { return root_; }
  static TreeNode* Child(const TreeNode& directory, const std::string& name) {
    for (const auto& [child_name, child] : directory.children) {
      if (child_name == name) return child;
    }
    return nullptr;
  }
  // A new item of the directory, or the one of that name it already has.
  TreeNode& AddChild(TreeNode& directory, const std::string& name, TreeNode::Kind kind) {
    if (TreeNode* existing = Child(directory, name)) return *existing;
    nodes_.push_back(std::make_unique<TreeNode>());
    nodes_.back()->kind = kind;
    directory.children.emplace_back(name, nodes_.back().get());
    return *nodes_.back();
  }
  // The entry at path, each directory above it made as needed.
  TreeNode& Add(const std::string& path, TreeNode::Kind kind) {
    const std::vector<std::string> names = Split(path);
    TreeNode* node = &root_;
    for (std::size_t i = 0; i < names.size(); ++i) {
      node = &AddChild(*node, names[i], i + 1 < names.size() ? TreeNode::kDirectory : kind);
    }
    return *node;
  }
  void AddLink(const std::string& path, const std::string& target) {
    const std::size_t slash = path.rfind('\\');
    TreeNode& parent = slash == std::string::npos ? root_ : Add(path.substr(0, slash), TreeNode::kDirectory);
    parent.children.emplace_back(path.substr(slash + 1), const_cast<TreeNode*>(Find(target)));
  }

  const TreeNode* Find(const std::string& path) const {
    std::vector<const TreeNode*> trail = {&root_};
    for (const std::string& name : Split(path)) {
      if (name == ".." && trail.size() > 1) trail.pop_back();
      if (name == "." || name == "..") continue;
      const TreeNode* next = Child(*trail.back(), name);
      if (next == nullptr) return nullptr;
      trail.push_back(next);
    }
    return trail.back();
  }

  EntryKind Classify(const std::string& path, unsigned long& error) const override {
    const TreeNode* node = Find(path);
    if (node == nullptr || node->kind == TreeNode::kInaccessible) {
      error = node == nullptr ? 2 : 5;
      return EntryKind::kInaccessible;
    }
    return node->kind == TreeNode::kDirectory ? EntryKind::kDirectory : EntryKind::kFile;
  }
  bool List(const std::string& directory, const std::function<void(const std::string&, bool)>& visit,
            unsigned long& error) const override {
    listed.push_back(directory);
    const TreeNode* node = Find(directory);
    if (node == nullptr || node->kind != TreeNode::kDirectory) return true;  // nothing to list
    visit(".", true);
    visit("..", true);
    for (std::size_t i = 0; i < node->children.size(); ++i) {
      if (static_cast<int>(i) == node->fail_after) {
        error = node->fail_error;
        return false;
      }
      visit(node->children[i].first, node->children[i].second->kind == TreeNode::kDirectory);
    }
    return true;
  }
  std::string Identity(const std::string& path) const override {
    const TreeNode* node = Find(path);
    return node == nullptr ? "missing " + path : std::to_string(reinterpret_cast<std::uintptr_t>(node));
  }

  mutable std::vector<std::string> listed;  // the directories listed, as the assembly named them

 private:
  static std::vector<std::string> Split(const std::string& path) {
    std::vector<std::string> names(1);
    for (char c : path) {
      if (c != '\\' && c != '/') {
        names.back().push_back(c);
      } else if (!names.back().empty()) {
        names.emplace_back();
      }
    }
    if (names.back().empty()) names.pop_back();
    return names;
  }

  TreeNode root_;
  std::vector<std::unique_ptr<TreeNode>> nodes_;
};

}  // namespace fuzzing
