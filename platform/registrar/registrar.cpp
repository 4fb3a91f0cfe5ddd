#include "platform/registrar/registrar.h"

#include <cctype>
#include <cstdlib>
#include <memory>

#include "platform/codepage/codepage.h"
#include "platform/registry/registry.h"

namespace ss {
namespace {

constexpr HRESULT kScriptError = MakeHResult(0x80020009);

thread_local std::string t_lastError;

struct Value {
  DWORD type = REG_NONE;
  std::string data;  // raw bytes as stored
};

struct KeyNode {
  enum Modifier { None, NoRemove, ForceRemove, Delete } modifier = None;
  std::string name;
  bool hasDefault = false;
  Value defaultValue;
  std::vector<std::pair<std::string, Value>> values;  // val entries
  std::vector<KeyNode> children;
};

struct RootNode {
  HKEY root;
  std::vector<KeyNode> keys;
};

class Parser {
 public:
  Parser(const std::string& text, const RegistrarReplacements& repl) : text_(Substitute(text, repl)) {}

  bool Parse(std::vector<RootNode>& roots) {
    for (;;) {
      std::string tok;
      if (!Next(tok)) return error_.empty();
      RootNode r;
      if (!RootOf(tok, r.root)) return Fail("unknown root key '" + tok + "'");
      if (!Expect("{") || !ParseKeys(r.keys)) return false;
      roots.push_back(std::move(r));
    }
  }

  const std::string& error() const { return error_; }

 private:
  static std::string Substitute(const std::string& in, const RegistrarReplacements& repl) {
    std::string out;
    for (std::size_t i = 0; i < in.size(); ++i) {
      if (in[i] != '%') {
        out += in[i];
        continue;
      }
      std::size_t end = in.find('%', i + 1);
      if (end == std::string::npos) {
        out += in.substr(i);
        break;
      }
      std::string name = in.substr(i + 1, end - i - 1);
      if (name.empty()) {
        out += '%';
      } else {
        bool found = false;
        for (const auto& [k, v] : repl) {
          if (k == name) {
            out += v;
            found = true;
            break;
          }
        }
        if (!found) out += in.substr(i, end - i + 1);
      }
      i = end;
    }
    return out;
  }

  static bool RootOf(const std::string& t, HKEY& root) {
    if (t == "HKCR" || t == "HKEY_CLASSES_ROOT") root = HKEY_CLASSES_ROOT;
    else if (t == "HKCU" || t == "HKEY_CURRENT_USER") root = HKEY_CURRENT_USER;
    else if (t == "HKLM" || t == "HKEY_LOCAL_MACHINE") root = HKEY_LOCAL_MACHINE;
    else return false;
    return true;
  }

  bool Fail(const std::string& what) {
    if (error_.empty()) error_ = "line " + std::to_string(line_) + ": " + what;
    return false;
  }

  void SkipSpace() {
    while (pos_ < text_.size() && std::isspace(static_cast<unsigned char>(text_[pos_]))) {
      if (text_[pos_] == '\n') ++line_;
      ++pos_;
    }
  }

  // A brace that stands alone, "=", a quoted string (returned with its quote
  // mark first so that callers can tell it from a bare word), or a bare word.
  bool Next(std::string& tok, bool* quoted = nullptr) {
    SkipSpace();
    if (quoted) *quoted = false;
    tok.clear();
    if (pos_ >= text_.size()) return false;
    char c = text_[pos_];
    auto standsAlone = [&](std::size_t at) {
      return at + 1 >= text_.size() || std::isspace(static_cast<unsigned char>(text_[at + 1]));
    };
    if ((c == '{' || c == '}') && standsAlone(pos_)) {
      tok = c;
      ++pos_;
      return true;
    }
    if (c == '=') {
      tok = "=";
      ++pos_;
      return true;
    }
    if (c == '\'') {
      ++pos_;
      for (;;) {
        if (pos_ >= text_.size()) return Fail("unterminated quoted text");
        char q = text_[pos_++];
        if (q == '\'') {
          if (pos_ < text_.size() && text_[pos_] == '\'') {
            tok += '\'';
            ++pos_;
            continue;
          }
          break;
        }
        if (q == '\n') ++line_;
        tok += q;
      }
      if (quoted) *quoted = true;
      return true;
    }
    while (pos_ < text_.size() && !std::isspace(static_cast<unsigned char>(text_[pos_])) && text_[pos_] != '=' &&
           text_[pos_] != '\'')
      tok += text_[pos_++];
    return true;
  }

  bool Expect(const char* what) {
    std::string tok;
    bool quoted = false;
    if (!Next(tok, &quoted) || quoted || tok != what) return Fail(std::string("expected '") + what + "'");
    return true;
  }

  bool PeekIs(const char* what) {
    std::size_t save = pos_;
    int saveLine = line_;
    std::string tok;
    bool quoted = false;
    bool is = Next(tok, &quoted) && !quoted && tok == what;
    pos_ = save;
    line_ = saveLine;
    return is;
  }

  bool ParseValue(Value& v) {
    std::string kind, data;
    bool quoted = false;
    if (!Next(kind) || (kind != "s" && kind != "d" && kind != "b")) return Fail("expected a value type s, d or b");
    if (!Next(data, &quoted)) return Fail("expected a value");
    if (kind == "s") {
      if (!quoted) return Fail("a string value is quoted");
      v.type = REG_SZ;
      v.data = Utf8ToAnsi(data);
    } else if (kind == "d") {
      char* end = nullptr;
      unsigned long long n = std::strtoull(data.c_str(), &end, 0);
      if (data.empty() || *end || n > 0xFFFFFFFFull) return Fail("bad number '" + data + "'");
      v.type = REG_DWORD;
      std::uint32_t d = static_cast<std::uint32_t>(n);
      v.data = std::string{char(d), char(d >> 8), char(d >> 16), char(d >> 24)};
    } else {
      if (data.size() % 2) return Fail("bad hex bytes '" + data + "'");
      v.type = REG_BINARY;
      for (std::size_t i = 0; i < data.size(); i += 2) {
        char* end = nullptr;
        std::string byte = data.substr(i, 2);
        long b = std::strtol(byte.c_str(), &end, 16);
        if (*end) return Fail("bad hex bytes '" + data + "'");
        v.data += static_cast<char>(b);
      }
    }
    return true;
  }

  // Keys up to and including the closing brace.
  bool ParseKeys(std::vector<KeyNode>& keys) {
    for (;;) {
      std::string tok;
      bool quoted = false;
      if (!Next(tok, &quoted)) return Fail("missing '}'");
      if (!quoted && tok == "}") return true;
      KeyNode k;
      if (!quoted && (tok == "NoRemove" || tok == "ForceRemove" || tok == "Delete")) {
        k.modifier = tok == "NoRemove" ? KeyNode::NoRemove : tok == "ForceRemove" ? KeyNode::ForceRemove : KeyNode::Delete;
        if (!Next(tok, &quoted)) return Fail("expected a key name");
      }
      if (!quoted && tok == "val") {
        std::string name;
        if (!Next(name) || !Expect("=")) return false;
        Value v;
        if (!ParseValue(v)) return false;
        pendingValues_.emplace_back(Utf8ToAnsi(name), v);
        continue;
      }
      if (!quoted && (tok == "{" || tok == "}" || tok == "=")) return Fail("expected a key name");
      k.name = Utf8ToAnsi(tok);
      if (PeekIs("=")) {
        Expect("=");
        if (!ParseValue(k.defaultValue)) return false;
        k.hasDefault = true;
      }
      if (PeekIs("{")) {
        Expect("{");
        auto outer = std::move(pendingValues_);
        pendingValues_.clear();
        if (!ParseKeys(k.children)) return false;
        k.values = std::move(pendingValues_);
        pendingValues_ = std::move(outer);
      }
      keys.push_back(std::move(k));
    }
  }

 public:
  // Values declared with `val` directly under a root key, where none may stand.
  bool HasLooseValues() const { return !pendingValues_.empty(); }

 private:
  // The `val` entries of the key being parsed.
  std::vector<std::pair<std::string, Value>> pendingValues_;
  std::string text_;
  std::size_t pos_ = 0;
  int line_ = 1;
  std::string error_;
};

class OpenKey {
 public:
  ~OpenKey() {
    if (h_) RegCloseKey(h_);
  }
  HKEY* out() { return &h_; }
  HKEY get() const { return h_; }

 private:
  HKEY h_ = 0;
};

LONG SetValue(HKEY key, const std::string& name, const Value& v) {
  return RegSetValueExA(key, name.c_str(), v.type, reinterpret_cast<const BYTE*>(v.data.data()),
                        static_cast<DWORD>(v.data.size()));
}

LONG Register(HKEY parent, const KeyNode& k) {
  if (k.modifier == KeyNode::Delete) {
    LONG err = SHDeleteKeyA(parent, k.name.c_str());
    return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
  }
  if (k.modifier == KeyNode::ForceRemove) {
    LONG err = SHDeleteKeyA(parent, k.name.c_str());
    if (err != ERROR_SUCCESS && err != ERROR_FILE_NOT_FOUND) return err;
  }
  OpenKey key;
  if (LONG err = RegCreateKeyExA(parent, k.name.c_str(), KEY_ALL_ACCESS, key.out(), nullptr)) return err;
  if (k.hasDefault)
    if (LONG err = SetValue(key.get(), "", k.defaultValue)) return err;
  for (const auto& [name, v] : k.values)
    if (LONG err = SetValue(key.get(), name, v)) return err;
  for (const KeyNode& c : k.children)
    if (LONG err = Register(key.get(), c)) return err;
  return ERROR_SUCCESS;
}

bool HasSubkeys(HKEY key) {
  char name[256];
  DWORD size = sizeof name;
  LONG err = RegEnumKeyExA(key, 0, name, &size);
  return err == ERROR_SUCCESS || err == ERROR_MORE_DATA;
}

LONG Unregister(HKEY parent, const KeyNode& k) {
  if (k.modifier == KeyNode::Delete) return ERROR_SUCCESS;
  if (k.modifier == KeyNode::ForceRemove) {
    LONG err = SHDeleteKeyA(parent, k.name.c_str());
    return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
  }
  bool empty = false;
  {
    OpenKey key;
    LONG err = RegOpenKeyExA(parent, k.name.c_str(), 0, KEY_ALL_ACCESS, key.out());
    if (err == ERROR_FILE_NOT_FOUND) return ERROR_SUCCESS;
    if (err) return err;
    for (const KeyNode& c : k.children)
      if (LONG e = Unregister(key.get(), c)) return e;
    if (k.modifier == KeyNode::NoRemove) return ERROR_SUCCESS;
    for (const auto& [name, v] : k.values) RegDeleteValueA(key.get(), name.c_str());
    empty = !HasSubkeys(key.get());
  }
  if (!empty) return ERROR_SUCCESS;  // someone else's subkeys live below it
  LONG err = SHDeleteKeyA(parent, k.name.c_str());
  return err == ERROR_FILE_NOT_FOUND ? ERROR_SUCCESS : err;
}

}  // namespace

HRESULT RegistrarRun(const std::string& script, bool registering, const RegistrarReplacements& replacements) {
  t_lastError.clear();
  Parser parser(script, replacements);
  std::vector<RootNode> roots;
  if (!parser.Parse(roots) || parser.HasLooseValues()) {
    t_lastError = parser.error().empty() ? "a value outside any key" : parser.error();
    return kScriptError;
  }
  for (const RootNode& r : roots) {
    // Each root's changes are one transaction: a failure leaves that root as it was.
    RegistryTransaction tx(r.root);
    if (tx.Status() != ERROR_SUCCESS) return HResultFromWin32(tx.Status());
    for (const KeyNode& k : r.keys) {
      LONG err = registering ? Register(r.root, k) : Unregister(r.root, k);
      if (err != ERROR_SUCCESS) {
        t_lastError = "'" + k.name + "': " + RegLastErrorText();
        return HResultFromWin32(err);
      }
    }
    if (LONG err = tx.Commit()) return HResultFromWin32(err);
  }
  return S_OK;
}

std::string RegistrarLastError() { return t_lastError; }

}  // namespace ss
