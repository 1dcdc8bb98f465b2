// A small XML well-formedness reader, enough to refuse what the Windows loader would refuse: bytes
// that are not UTF-8 text, unbalanced or malformed tags, attributes, references, comments, CDATA
// sections and processing instructions, a document type declaration (manifests have none), more
// than one root element, and a root that is not a version 1.0 assembly element of the
// urn:schemas-microsoft-com:asm.v1 namespace. It reads in one pass, without recursion, so that any
// input takes time and memory linear in its size.
#include "manifest.h"

#include <cstdint>
#include <set>
#include <vector>

#include "core/main_class_cipher.h"
#include "core/text.h"
#include "launcher_ini.h"

namespace stubconfig {
namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";
constexpr std::string_view kAssemblyNamespace = "urn:schemas-microsoft-com:asm.v1";

bool IsSpace(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n'; }
bool IsNameStart(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || c == '_' || c == ':' ||
         static_cast<unsigned char>(c) >= 0x80;
}
bool IsNamePart(char c) { return IsNameStart(c) || (c >= '0' && c <= '9') || c == '-' || c == '.'; }

struct Attribute {
  std::string_view name;
  std::string value;  // references resolved
};

// The UTF-8 of a character reference's code point, or "" when it names no XML character.
std::string CharacterOf(std::uint32_t code_point) {
  const bool allowed = code_point == 0x9 || code_point == 0xA || code_point == 0xD ||
                       (code_point >= 0x20 && code_point <= 0xD7FF) || (code_point >= 0xE000 && code_point <= 0xFFFD) ||
                       (code_point >= 0x10000 && code_point <= 0x10FFFF);
  if (!allowed) return {};
  std::u16string unit;
  if (code_point < 0x10000) {
    unit += static_cast<char16_t>(code_point);
  } else {
    unit += static_cast<char16_t>(0xD800 + ((code_point - 0x10000) >> 10));
    unit += static_cast<char16_t>(0xDC00 + ((code_point - 0x10000) & 0x3FF));
  }
  return stub::Utf8FromUtf16(unit);
}

class XmlReader {
 public:
  explicit XmlReader(std::string_view text) : text_(text) {}

  // "" when the text is a well-formed document with a manifest's root, else the problem.
  std::string Check() {
    std::string problem = ReadDeclaration();
    if (problem.empty()) problem = SkipMisc();
    if (problem.empty()) problem = ReadRootElement();
    if (problem.empty()) problem = SkipMisc();
    if (problem.empty() && pos_ < text_.size()) problem = At("text after the end of the root element");
    return problem;
  }

 private:
  bool StartsWith(std::string_view s) const { return text_.substr(pos_, s.size()) == s; }
  bool AtEnd() const { return pos_ >= text_.size(); }
  char Peek() const { return text_[pos_]; }

  void Advance(std::size_t count) {
    for (std::size_t i = 0; i < count && pos_ < text_.size(); ++i) line_ += text_[pos_++] == '\n';
  }

  bool SkipSpace() {
    const std::size_t start = pos_;
    while (!AtEnd() && IsSpace(Peek())) Advance(1);
    return pos_ != start;
  }

  std::string At(const std::string& problem) const { return "line " + std::to_string(line_) + ": " + problem; }

  // Moves past `terminator`; the problem names `what` when the text ends first.
  std::string SkipPast(std::string_view terminator, const char* what) {
    const std::size_t end = text_.find(terminator, pos_);
    if (end == std::string_view::npos) return At(std::string(what) + " is not closed");
    Advance(end + terminator.size() - pos_);
    return {};
  }

  std::string_view ReadName() {
    const std::size_t start = pos_;
    if (AtEnd() || !IsNameStart(Peek())) return {};
    while (!AtEnd() && IsNamePart(Peek())) Advance(1);
    return text_.substr(start, pos_ - start);
  }

  // At '&': a predefined entity or a character reference, appended to `out` resolved.
  std::string ReadReference(std::string* out) {
    constexpr std::size_t kLongestReference = 12;  // "&#x0010FFFF;"
    const std::size_t end = text_.substr(0, pos_ + kLongestReference).find(';', pos_);
    if (end == std::string_view::npos) return At("'&' starts no reference (write &amp;)");
    const std::string_view name = text_.substr(pos_ + 1, end - pos_ - 1);
    static constexpr std::pair<std::string_view, char> kEntities[] = {
        {"lt", '<'}, {"gt", '>'}, {"amp", '&'}, {"apos", '\''}, {"quot", '"'}};
    for (const auto& [entity, character] : kEntities) {
      if (name == entity) {
        *out += character;
        Advance(end + 1 - pos_);
        return {};
      }
    }
    std::string character;
    if (name.size() > 1 && name[0] == '#') {
      const bool hex = name[1] == 'x';
      const std::string_view digits = name.substr(hex ? 2 : 1);
      std::uint32_t value = 0;
      bool valid = !digits.empty();
      for (char c : digits) {
        const int digit = hex ? stub::HexDigitValue(c) : (c >= '0' && c <= '9' ? c - '0' : -1);
        valid = valid && digit >= 0;
        value = valid ? value * (hex ? 16 : 10) + static_cast<std::uint32_t>(digit) : 0;
      }
      if (valid) character = CharacterOf(value);
    }
    if (character.empty()) return At("unknown reference &" + PrintableText(name) + ";");
    *out += character;
    Advance(end + 1 - pos_);
    return {};
  }

  std::string ReadDeclaration() {
    if (StartsWith(kUtf8Bom)) Advance(kUtf8Bom.size());
    if (!StartsWith("<?xml") || pos_ + 5 >= text_.size() || !IsSpace(text_[pos_ + 5])) return {};
    Advance(5);
    std::vector<Attribute> attributes;
    if (std::string problem = ReadAttributes("?>", &attributes); !problem.empty()) return problem;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == "encoding" && !stub::EqualsIgnoringAsciiCase(attribute.value, "UTF-8")) {
        return At("the declaration names the encoding \"" + PrintableText(attribute.value) +
                  "\"; a manifest is UTF-8 (save it so and declare encoding=\"UTF-8\")");
      }
    }
    return {};
  }

  // Whitespace, comments and processing instructions, as may surround the root element.
  std::string SkipMisc() {
    for (;;) {
      SkipSpace();
      if (StartsWith("<!--")) {
        if (std::string problem = ReadComment(); !problem.empty()) return problem;
      } else if (StartsWith("<?")) {
        if (std::string problem = ReadProcessingInstruction(); !problem.empty()) return problem;
      } else if (StartsWith("<!DOCTYPE")) {
        return At("a document type declaration, which a manifest does not have");
      } else {
        return {};
      }
    }
  }

  std::string ReadComment() {
    Advance(4);
    const std::size_t end = text_.find("--", pos_);
    if (end == std::string_view::npos) return At("comment is not closed");
    Advance(end - pos_);
    if (!StartsWith("-->")) return At("\"--\" inside a comment");
    Advance(3);
    return {};
  }

  std::string ReadProcessingInstruction() {
    Advance(2);
    const std::string_view target = ReadName();
    if (target.empty()) return At("a processing instruction without a name");
    if (stub::EqualsIgnoringAsciiCase(target, "xml")) return At("an XML declaration that is not at the start");
    return SkipPast("?>", "processing instruction");
  }

  // Attributes up to `close` ("/>", ">" or "?>"); sets `empty` when the tag ended with "/>".
  std::string ReadAttributes(std::string_view close, std::vector<Attribute>* attributes, bool* empty = nullptr) {
    std::set<std::string_view> names;
    for (;;) {
      const bool spaced = SkipSpace();
      if (AtEnd()) return At("tag is not closed");
      if (StartsWith(close) || (empty != nullptr && StartsWith("/>"))) {
        if (empty != nullptr) *empty = StartsWith("/>");
        Advance(StartsWith("/>") ? 2 : close.size());
        return {};
      }
      const std::string_view name = ReadName();
      if (name.empty()) return At("unexpected character in a tag");
      if (!spaced) return At("attribute " + PrintableText(name) + " is not separated from what precedes it");
      SkipSpace();
      if (AtEnd() || Peek() != '=') return At("attribute " + PrintableText(name) + " has no value");
      Advance(1);
      SkipSpace();
      if (AtEnd() || (Peek() != '"' && Peek() != '\''))
        return At("attribute value of " + PrintableText(name) + " is not quoted");
      const char quote = Peek();
      Advance(1);
      Attribute attribute{name, {}};
      while (!AtEnd() && Peek() != quote) {
        if (Peek() == '<') return At("'<' inside the value of attribute " + PrintableText(name));
        if (Peek() == '&') {
          if (std::string problem = ReadReference(&attribute.value); !problem.empty()) return problem;
        } else {
          attribute.value += Peek();
          Advance(1);
        }
      }
      if (AtEnd()) return At("attribute value of " + PrintableText(name) + " is not closed");
      Advance(1);
      if (!names.insert(name).second) return At("attribute " + PrintableText(name) + " appears twice");
      attributes->push_back(std::move(attribute));
    }
  }

  // At '<' of a start tag.
  std::string ReadStartTag(std::string_view* name, std::vector<Attribute>* attributes, bool* empty) {
    Advance(1);
    *name = ReadName();
    if (name->empty()) return At("'<' starts no tag (write &lt;)");
    return ReadAttributes(">", attributes, empty);
  }

  std::string CheckRoot(std::string_view name, const std::vector<Attribute>& attributes) const {
    const std::size_t colon = name.find(':');
    const std::string_view prefix = colon == std::string_view::npos ? std::string_view() : name.substr(0, colon);
    const std::string_view local = colon == std::string_view::npos ? name : name.substr(colon + 1);
    if (local != "assembly") return "the root element is <" + PrintableText(name) + ">, not <assembly>";
    const std::string declaration = prefix.empty() ? "xmlns" : "xmlns:" + std::string(prefix);
    const std::string* name_space = nullptr;
    const std::string* version = nullptr;
    for (const Attribute& attribute : attributes) {
      if (attribute.name == declaration) name_space = &attribute.value;
      if (attribute.name == "manifestVersion") version = &attribute.value;
    }
    if (name_space == nullptr || *name_space != kAssemblyNamespace) {
      return "the root element <" + PrintableText(name) + "> is not in the namespace " +
             std::string(kAssemblyNamespace);
    }
    if (version == nullptr || *version != "1.0") {
      return "the root element <" + PrintableText(name) + "> does not say manifestVersion=\"1.0\"";
    }
    return {};
  }

  std::string ReadRootElement() {
    if (AtEnd() || Peek() != '<') return At("no root element where one is expected");
    const std::size_t root_line = line_;
    std::string_view root;
    std::vector<Attribute> attributes;
    bool empty = false;
    if (std::string problem = ReadStartTag(&root, &attributes, &empty); !problem.empty()) return problem;
    if (std::string problem = CheckRoot(root, attributes); !problem.empty()) {
      return "line " + std::to_string(root_line) + ": " + problem;
    }
    std::vector<std::string_view> open;
    if (!empty) open.push_back(root);
    while (!open.empty()) {
      if (std::string problem = ReadContent(&open); !problem.empty()) return problem;
    }
    return {};
  }

  // One piece of an element's content: text, a reference, a comment, CDATA, a processing
  // instruction, a start tag (pushed) or an end tag (popped).
  std::string ReadContent(std::vector<std::string_view>* open) {
    if (AtEnd()) return At("element <" + PrintableText(open->back()) + "> is not closed");
    if (StartsWith("</")) {
      Advance(2);
      const std::string_view name = ReadName();
      SkipSpace();
      if (AtEnd() || Peek() != '>') return At("malformed end tag");
      Advance(1);
      if (name != open->back()) {
        return At("end tag </" + PrintableText(name) + "> does not close <" + PrintableText(open->back()) + ">");
      }
      open->pop_back();
      return {};
    }
    if (StartsWith("<!--")) return ReadComment();
    if (StartsWith("<![CDATA[")) return SkipPast("]]>", "CDATA section");
    if (StartsWith("<?")) return ReadProcessingInstruction();
    if (StartsWith("<!")) return At("unexpected declaration inside an element");
    if (Peek() == '<') {
      std::string_view name;
      std::vector<Attribute> attributes;
      bool empty = false;
      if (std::string problem = ReadStartTag(&name, &attributes, &empty); !problem.empty()) return problem;
      if (!empty) open->push_back(name);
      return {};
    }
    if (Peek() == '&') {
      std::string ignored;
      return ReadReference(&ignored);
    }
    if (StartsWith("]]>")) return At("\"]]>\" in text");
    Advance(1);
    return {};
  }

  std::string_view text_;
  std::size_t pos_ = 0;
  std::size_t line_ = 1;
};

// The first line holding a byte that XML text cannot: a control character other than tab and line ends.
std::size_t LineOfControlCharacter(std::string_view text) {
  std::size_t line = 1;
  for (char c : text) {
    const auto byte = static_cast<unsigned char>(c);
    if (byte < 0x20 && c != '\t' && c != '\n' && c != '\r') return line;
    line += c == '\n';
  }
  return 0;
}

}  // namespace

std::string_view ManifestToEmbed(std::string_view bytes) {
  return bytes.substr(0, kUtf8Bom.size()) == kUtf8Bom ? bytes.substr(kUtf8Bom.size()) : bytes;
}

std::string ManifestProblem(std::string_view bytes) {
  if (bytes.substr(0, 2) == "\xFF\xFE" || bytes.substr(0, 2) == "\xFE\xFF") {
    return "UTF-16 text; save it as UTF-8";
  }
  if (!stub::IsValidUtf8(bytes)) return "not UTF-8 text";
  if (const std::size_t line = LineOfControlCharacter(bytes); line != 0) {
    return "line " + std::to_string(line) + ": a control character, which XML text cannot hold";
  }
  if (ManifestToEmbed(bytes).find_first_not_of(" \t\r\n") == std::string_view::npos) return "empty";
  return XmlReader(bytes).Check();
}

}  // namespace stubconfig
