// Option and class-path assembly over an in-memory file system that the input describes: a tree of
// directories, archives, other files and entries that cannot be accessed, some listings failing part
// way, a class path naming its entries, JVM options, environment values and a Java home. The result
// must equal a reference model written from the interface's contract: every entry as written, each
// directory followed by every accessible archive below it once, depth first in listing order, each
// failed listing reported once with its path, then each text expanded on its own, the configured
// options split as the tokenizer splits them and the class path one option of its own, the last.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "core/message_format.h"
#include "core/tokenizer.h"
#include "fuzz_input.h"
#include "jvm/jvm_options.h"

namespace {

using stub::ClassPathFileSystem;

struct Node {
  enum Kind { kFile, kDirectory, kInaccessible } kind = kFile;
  std::vector<std::pair<std::string, std::unique_ptr<Node>>> children;
  int fail_after = -1;  // a listing fails after this many items (-1: it completes)
};

// Names that exercise the archive suffix test: either case, a suffix that only looks like one, a
// directory named like an archive.
constexpr const char* kNames[] = {"a.jar", "B.ZIP", "c.Jar", "lib",     "x.jar.old",
                                  "jar",   ".zip",  "d",     "e f.jar", "z.zip"};

std::unique_ptr<Node> MakeNode(fuzzing::FuzzInput& in, int depth);

// Adds up to `count` children of distinct names, as a directory holds them.
void AddChildren(fuzzing::FuzzInput& in, Node& directory, std::size_t count, int depth) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = kNames[in.Byte() % std::size(kNames)];
    bool taken = false;
    for (const auto& child : directory.children) taken = taken || child.first == name;
    if (!taken) directory.children.emplace_back(name, MakeNode(in, depth + 1));
  }
}

std::unique_ptr<Node> MakeNode(fuzzing::FuzzInput& in, int depth) {
  auto node = std::make_unique<Node>();
  const std::uint8_t kind = in.Byte() % 8;
  node->kind = kind < 4 ? Node::kFile : kind < 7 ? Node::kDirectory : Node::kInaccessible;
  if (node->kind != Node::kDirectory || depth >= 3) return node;
  AddChildren(in, *node, in.Below(4), depth);
  if (in.Byte() % 5 == 0) node->fail_after = static_cast<int>(in.Below(node->children.size()));
  return node;
}

std::vector<std::string> SplitPath(const std::string& path) {
  std::vector<std::string> parts;
  std::string part;
  for (char c : path) {
    if (c == '\\' || c == '/') {
      if (!part.empty()) parts.push_back(part);
      part.clear();
    } else {
      part.push_back(c);
    }
  }
  if (!part.empty()) parts.push_back(part);
  return parts;
}

// The tree as the assembly sees it: paths relative to the root, '\' or '/' between names, separators
// at the end ignored, as the Windows file functions treat them.
class TreeFileSystem : public ClassPathFileSystem {
 public:
  explicit TreeFileSystem(const Node& root) : root_(root) {}

  // "." and ".." name the directory itself and its parent, as in every directory of a real one.
  const Node* Find(const std::string& path) const {
    std::vector<const Node*> trail = {&root_};
    for (const std::string& name : SplitPath(path)) {
      if (name == "..") {
        if (trail.size() > 1) trail.pop_back();
        continue;
      }
      if (name == ".") continue;
      const Node* next = nullptr;
      for (const auto& [child_name, child] : trail.back()->children) {
        if (child_name == name) next = child.get();
      }
      if (next == nullptr) return nullptr;
      trail.push_back(next);
    }
    return trail.back();
  }

  EntryKind Classify(const std::string& path, unsigned long& error) const override {
    const Node* node = Find(path);
    if (node == nullptr || node->kind == Node::kInaccessible) {
      error = node == nullptr ? 2 : 5;
      return EntryKind::kInaccessible;
    }
    return node->kind == Node::kDirectory ? EntryKind::kDirectory : EntryKind::kFile;
  }

  bool List(const std::string& directory, const std::function<void(const std::string&, bool)>& visit,
            unsigned long& error) const override {
    const Node* node = Find(directory);
    if (node == nullptr || node->kind != Node::kDirectory) return true;  // nothing to list
    visit(".", true);
    visit("..", true);
    for (std::size_t i = 0; i < node->children.size(); ++i) {
      if (static_cast<int>(i) == node->fail_after) {
        error = 0x3B;
        return false;
      }
      visit(node->children[i].first, node->children[i].second->kind == Node::kDirectory);
    }
    return true;
  }

  // A directory is the node itself, however the path spells it.
  std::string Identity(const std::string& path) const override {
    const Node* node = Find(path);
    return node == nullptr ? "missing " + path : std::to_string(reinterpret_cast<std::uintptr_t>(node));
  }

 private:
  const Node& root_;
};

class Reports : public stub::AssemblyReporter {
 public:
  void SystemError(unsigned long code) override { lines.push_back("system " + std::to_string(code)); }
  void Error(const std::string& text) override { lines.push_back(text); }
  std::vector<std::string> lines;
};

// --- The reference model ---------------------------------------------------------------------------

bool IsArchiveName(const std::string& name) {
  if (name.size() < 4) return false;
  std::string suffix = name.substr(name.size() - 4);
  for (char& c : suffix) c = static_cast<char>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return suffix == ".jar" || suffix == ".zip";
}

// A directory whose listing fails is reported once, with the path that first reached it, before its
// items are walked.
void ModelArchives(const Node& directory, const std::string& path, std::string& class_path,
                   std::vector<std::string>& reports, std::set<const Node*>& reported) {
  const bool fails =
      directory.fail_after >= 0 && static_cast<std::size_t>(directory.fail_after) < directory.children.size();
  if (fails && reported.insert(&directory).second) {
    reports.push_back("system 59");
    reports.push_back("Error accessing file/directory: " + path);
  }
  for (std::size_t i = 0; i < directory.children.size(); ++i) {
    if (static_cast<int>(i) == directory.fail_after) return;
    const auto& [name, child] = directory.children[i];
    if (child->kind == Node::kDirectory) {
      ModelArchives(*child, path + "\\" + name, class_path, reports, reported);
    } else if (IsArchiveName(name)) {
      class_path += path + "\\" + name + ";";
    }
  }
}

std::string ModelExpand(const std::string& text, const std::string& java_home,
                        const std::map<std::string, std::string>& environment) {
  std::string out;
  std::size_t i = 0;
  while (i < text.size()) {
    if (text[i] != '%') {
      out += text[i++];
      continue;
    }
    const std::size_t close = text.find('%', i + 1);
    if (close == std::string::npos) {
      out += text.substr(i + 1);
      break;
    }
    const std::string name = text.substr(i + 1, close - i - 1);
    if (name == "JAVA_HOME") {
      out += java_home;
    } else if (auto it = environment.find(name); !name.empty() && it != environment.end()) {
      out += it->second;
    }
    i = close + 1;
  }
  return out;
}

std::vector<std::string> ModelEntries(const std::string& class_path) {
  std::vector<std::string> entries;
  std::string entry;
  for (char c : class_path + ";") {
    if (c == ';' || c == '\r' || c == '\n') {
      if (!entry.empty()) entries.push_back(entry);
      entry.clear();
    } else {
      entry.push_back(c);
    }
  }
  return entries;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  Node root;
  root.kind = Node::kDirectory;
  AddChildren(in, root, in.Below(5), 0);

  std::map<std::string, std::string> environment;
  const std::size_t variables = in.Below(3);
  for (std::size_t i = 0; i < variables; ++i) {
    std::string name = in.FromAlphabet("VAR", 3);
    environment[name] = in.FromAlphabet("ab \"%;\\", 6);
  }
  stub::JvmOptionInputs inputs;
  inputs.java_home = in.FromAlphabet("C:\\ j\"", 8);
  inputs.jvm_options = in.FromAlphabet("-Dx= \"%VARJAVA_HOME", 24);
  inputs.file_access_message = "Error accessing file/directory: %s";
  inputs.getenv = [&](const std::string& name) {
    auto it = environment.find(name);
    return it == environment.end() ? std::string() : it->second;
  };
  // Class-path entries are built from the tree's names, separators (also at either end and doubled),
  // references and names that do not exist.
  const std::size_t pieces = in.Below(6);
  for (std::size_t i = 0; i < pieces; ++i) {
    const std::uint8_t choice = in.Byte() % 8;
    if (choice < 5) {
      inputs.class_path += kNames[in.Byte() % std::size(kNames)];
      if (in.Byte() % 3 == 0) inputs.class_path += in.Bool() ? "\\" : "/";
      if (in.Byte() % 4 == 0) inputs.class_path += std::string("\\") + kNames[in.Byte() % std::size(kNames)];
    } else if (choice == 5) {
      inputs.class_path += "%VAR%";
    } else {
      inputs.class_path += "missing";
    }
    inputs.class_path += in.FromAlphabet(";\r\n", 2);
  }

  TreeFileSystem fs(root);
  Reports reports;
  const std::vector<std::string> untouched = {"untouched"};
  std::vector<std::string> options = untouched;
  const bool ok = stub::AssembleJvmOptions(inputs, fs, reports, options);

  std::string model_class_path;
  std::vector<std::string> model_reports;
  std::set<const Node*> reported;
  bool model_ok = true;
  for (const std::string& entry : ModelEntries(inputs.class_path)) {
    const Node* node = entry.find('%') == std::string::npos ? fs.Find(entry) : nullptr;
    if (entry.find('%') == std::string::npos && (node == nullptr || node->kind == Node::kInaccessible)) {
      model_reports.push_back(node == nullptr ? "system 2" : "system 5");
      model_reports.push_back(stub::FormatMessageText(inputs.file_access_message, {entry}));
      model_ok = false;
      break;
    }
    model_class_path += entry + ";";
    if (node != nullptr && node->kind == Node::kDirectory) {
      std::string directory = entry;
      if (directory.back() == '\\' || directory.back() == '/') directory.pop_back();
      ModelArchives(*node, directory, model_class_path, model_reports, reported);
    }
  }
  if (!model_class_path.empty()) model_class_path.pop_back();
  const std::string expanded_options = ModelExpand(inputs.jvm_options, inputs.java_home, environment);
  const std::string expanded_class_path = ModelExpand(model_class_path, inputs.java_home, environment);
  std::vector<std::string> model_options = stub::TokenizeArguments(expanded_options, false);
  if (model_ok && !model_class_path.empty()) {
    if (expanded_class_path.find('"') != std::string::npos) {
      model_ok = false;
      model_reports.push_back(
          "The class path cannot contain a double quote, which would split the class-path option: " +
          expanded_class_path);
    }
    // What options ending in a space outside quotes have always given before the class path.
    std::size_t quotes = 0;
    for (char c : expanded_options) quotes += c == '"';
    if (!expanded_options.empty() && expanded_options.back() == ' ' && quotes % 2 == 0) model_options.emplace_back();
    model_options.push_back("-Djava.class.path=" + expanded_class_path);
  }

  if (ok != model_ok || reports.lines != model_reports) std::abort();
  if (!ok) {
    if (options != untouched) std::abort();  // a failure leaves the result alone
    return 0;
  }
  if (options != model_options) std::abort();
  return 0;
}
