// Option and class-path assembly over an in-memory file system that the input describes: a tree of
// directories, archives, other files and entries that cannot be accessed, some listings failing part
// way, a class path naming its entries, JVM options, environment values and a Java home. The result
// must equal a reference model written from the interface's contract: every entry as written, each
// directory followed by every accessible archive below it once, depth first in listing order, each
// failed listing reported once with its path, then each text expanded on its own, the configured
// options split as the tokenizer splits them and the class path one option of its own, the last. The
// pieces tested on their own (entry splitting, %NAME% expansion) are taken from the product.
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <map>
#include <set>
#include <string>
#include <vector>

#include "class_path_tree.h"
#include "core/message_format.h"
#include "core/tokenizer.h"
#include "core/variables.h"
#include "fuzz_input.h"
#include "jvm/jvm_options.h"

namespace {

using fuzzing::TreeNode;

// Names that exercise the archive suffix test: either case, a suffix that only looks like one, a
// directory named like an archive.
constexpr const char* kNames[] = {"a.jar", "B.ZIP", "c.Jar", "lib",     "x.jar.old",
                                  "jar",   ".zip",  "d",     "e f.jar", "z.zip"};

// Adds up to `count` items of distinct names to the directory; a directory up to depth 3 gets items
// of its own and perhaps a listing that fails part way.
void AddChildren(fuzzing::FuzzInput& in, fuzzing::TreeFileSystem& fs, TreeNode& directory, std::size_t count,
                 int depth) {
  for (std::size_t i = 0; i < count; ++i) {
    const std::string name = kNames[in.Byte() % std::size(kNames)];
    if (fuzzing::TreeFileSystem::Child(directory, name) != nullptr) continue;
    const std::uint8_t kind = in.Byte() % 8;
    TreeNode& node = fs.AddChild(directory, name, kind < 4   ? TreeNode::kFile
                                                  : kind < 7 ? TreeNode::kDirectory
                                                             : TreeNode::kInaccessible);
    if (node.kind != TreeNode::kDirectory || depth + 1 >= 3) continue;
    AddChildren(in, fs, node, in.Below(4), depth + 1);
    if (in.Byte() % 5 == 0) node.fail_after = static_cast<int>(in.Below(node.children.size()));
  }
}

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
void ModelArchives(const TreeNode& directory, const std::string& path, std::string& class_path,
                   std::vector<std::string>& reports, std::set<const TreeNode*>& reported) {
  const bool fails =
      directory.fail_after >= 0 && static_cast<std::size_t>(directory.fail_after) < directory.children.size();
  if (fails && reported.insert(&directory).second) {
    reports.push_back("system 59");
    reports.push_back("Error accessing file/directory: " + path);
  }
  for (std::size_t i = 0; i < directory.children.size(); ++i) {
    if (static_cast<int>(i) == directory.fail_after) return;
    const auto& [name, child] = directory.children[i];
    if (child->kind == TreeNode::kDirectory) {
      ModelArchives(*child, path + "\\" + name, class_path, reports, reported);
    } else if (IsArchiveName(name)) {
      class_path += path + "\\" + name + ";";
    }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  fuzzing::FuzzInput in(data, size);
  fuzzing::TreeFileSystem fs;
  AddChildren(in, fs, fs.root(), in.Below(5), 0);

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

  Reports reports;
  const std::vector<std::string> untouched = {"untouched"};
  std::vector<std::string> options = untouched;
  const bool ok = stub::AssembleJvmOptions(inputs, fs, reports, options);

  std::string model_class_path;
  std::vector<std::string> model_reports;
  std::set<const TreeNode*> reported;
  bool model_ok = true;
  std::string entries = inputs.class_path;
  char* cursor = nullptr;
  while (const char* piece = stub::NextToken(entries.data(), ";\r\n", &cursor)) {
    const std::string entry = piece;
    const TreeNode* node = entry.find('%') == std::string::npos ? fs.Find(entry) : nullptr;
    if (entry.find('%') == std::string::npos && (node == nullptr || node->kind == TreeNode::kInaccessible)) {
      model_reports.push_back(node == nullptr ? "system 2" : "system 5");
      model_reports.push_back(stub::FormatMessageText(inputs.file_access_message, {entry}));
      model_ok = false;
      break;
    }
    model_class_path += entry + ";";
    if (node != nullptr && node->kind == TreeNode::kDirectory) {
      std::string directory = entry;
      if (directory.back() == '\\' || directory.back() == '/') directory.pop_back();
      ModelArchives(*node, directory, model_class_path, model_reports, reported);
    }
  }
  if (!model_class_path.empty()) model_class_path.pop_back();
  const std::string expanded_options = stub::ExpandVariables(inputs.jvm_options, inputs.java_home, inputs.getenv);
  const std::string expanded_class_path = stub::ExpandVariables(model_class_path, inputs.java_home, inputs.getenv);
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
