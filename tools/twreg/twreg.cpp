// twreg: the command-line registry editor of the machine root, with the
// syntax of the Windows "reg" command:
//   twreg query KEY [/v NAME | /ve] [/s]
//   twreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]
//   twreg delete KEY [/v NAME | /ve | /va] [/f]
//   twreg export KEY FILE [/y]
//   twreg import FILE
//   twreg boot            (drops the volatile keys, as a restart does)
// Every command takes --root DIR (default: TW_ROOT).
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <fstream>
#include <iostream>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include "regfile.h"
#include "tw/casefold.h"
#include "tw/registry.h"
#include "tw/root.h"
#include "tw/utf.h"
#include "windows.h"

namespace {

using twreg::RegValue;

const char* const kUsage =
    "Usage:\n"
    "  twreg query KEY [/v NAME | /ve] [/s]\n"
    "  twreg add KEY [/v NAME | /ve] [/t TYPE] [/s SEPARATOR] [/d DATA] [/f]\n"
    "  twreg delete KEY [/v NAME | /ve | /va] [/f]\n"
    "  twreg export KEY FILE [/y]\n"
    "  twreg import FILE\n"
    "  twreg boot\n"
    "Options: --root DIR  the machine root (default: $TW_ROOT)\n"
    "KEY is ROOT\\SUBKEY with ROOT one of HKLM, HKCU, HKU, HKCR or their full names.\n"
    "TYPE is REG_SZ (default), REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN,\n"
    "REG_QWORD, REG_BINARY or REG_NONE.\n";

struct Failure {
  std::string message;
  int code = 1;
};

std::string utf8(std::u16string_view text) { return tw::ToUtf8(text); }

std::string errorText(LONG rc) {
  switch (rc) {
    case ERROR_FILE_NOT_FOUND: return "The system was unable to find the specified registry key or value.";
    case ERROR_ACCESS_DENIED: return "Access is denied.";
    case ERROR_INVALID_PARAMETER: return "The parameter is incorrect (a key name over 255 characters?).";
    case ERROR_BAD_PATHNAME: return "The key name is not valid.";
    case ERROR_CHILD_MUST_BE_VOLATILE: return "Cannot create a stable subkey under a volatile parent key.";
    case ERROR_KEY_DELETED: return "The key was deleted meanwhile.";
    case ERROR_BUSY: return "The registry is busy (another process holds it too long).";
    case ERROR_REGISTRY_CORRUPT:
    case ERROR_BADDB:
    case ERROR_REGISTRY_IO_FAILED: {
      std::string problem = tw::registry::StoreProblem();
      return problem.empty() ? "The registry database cannot be used (error " + std::to_string(rc) + ")." : problem;
    }
    default: return "Windows error " + std::to_string(rc) + ".";
  }
}

Failure regFailure(LONG rc, const std::u16string& what = u"") {
  std::string text = errorText(rc);
  if (!what.empty() && rc == ERROR_FILE_NOT_FOUND) text += " (" + utf8(what) + ")";
  return {text};
}

struct KeyName {
  HKEY root;
  std::u16string sub;
  std::u16string display;  // ROOT_NAME\sub
};

KeyName parseKey(const std::u16string& text) {
  if (text.rfind(u"\\\\", 0) == 0) throw Failure{"Remote registries are not supported: " + utf8(text)};
  KeyName key;
  std::u16string rootName;
  if (!tw::registry::SplitKeyPath(text, &key.root, &key.sub, &rootName))
    throw Failure{"Invalid key name \"" + utf8(text) + "\" (it must begin with HKLM, HKCU, HKU or HKCR)."};
  while (!key.sub.empty() && key.sub.back() == u'\\') key.sub.pop_back();
  key.display = key.sub.empty() ? rootName : rootName + u"\\" + key.sub;
  return key;
}

class OpenKey {
 public:
  OpenKey() = default;
  ~OpenKey() {
    if (key_) RegCloseKey(key_);
  }
  OpenKey(const OpenKey&) = delete;
  OpenKey& operator=(const OpenKey&) = delete;
  HKEY* Out() { return &key_; }
  operator HKEY() const { return key_; }

 private:
  HKEY key_ = nullptr;
};

void open(const KeyName& name, REGSAM sam, OpenKey* key) {
  if (LONG rc = RegOpenKeyExW(name.root, name.sub.c_str(), 0, sam, key->Out())) throw regFailure(rc, name.display);
}

bool confirm(const std::string& question) {
  std::cout << question << " " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer)) return false;
  return !answer.empty() && (answer[0] == 'y' || answer[0] == 'Y');
}

// --- values as text ------------------------------------------------------------

std::u16string unitsOf(const std::vector<BYTE>& data) {
  std::u16string text(data.size() / 2, u'\0');
  if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * 2);
  return text;
}

std::string typeName(DWORD type) {
  static const char* names[] = {"REG_NONE", "REG_SZ", "REG_EXPAND_SZ", "REG_BINARY", "REG_DWORD",
                                "REG_DWORD_BIG_ENDIAN", "REG_LINK", "REG_MULTI_SZ", "REG_RESOURCE_LIST",
                                "REG_FULL_RESOURCE_DESCRIPTOR", "REG_RESOURCE_REQUIREMENTS_LIST", "REG_QWORD"};
  if (type < 12) return names[type];
  char buf[24];
  std::snprintf(buf, sizeof buf, "0x%x", type);
  return buf;
}

std::string hexText(const std::vector<BYTE>& data) {
  std::string out;
  char buf[3];
  for (BYTE b : data) {
    std::snprintf(buf, sizeof buf, "%02X", b);
    out += buf;
  }
  return out;
}

std::string dataText(DWORD type, const std::vector<BYTE>& data) {
  char buf[32];
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
    case REG_LINK: {
      std::u16string text = unitsOf(data);
      return utf8(text.substr(0, text.find(u'\0')));
    }
    case REG_MULTI_SZ: {
      std::u16string text = unitsOf(data);
      while (!text.empty() && text.back() == u'\0') text.pop_back();
      std::string out;
      for (char16_t c : text) {
        if (c == u'\0') out += "\\0";
        else out += utf8(std::u16string(1, c));
      }
      return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN:
      if (data.size() == 4) {
        DWORD value;
        std::memcpy(&value, data.data(), 4);
        if (type == REG_DWORD_BIG_ENDIAN) value = __builtin_bswap32(value);
        std::snprintf(buf, sizeof buf, "0x%x", value);
        return buf;
      }
      break;
    case REG_QWORD:
      if (data.size() == 8) {
        ULONGLONG value;
        std::memcpy(&value, data.data(), 8);
        std::snprintf(buf, sizeof buf, "0x%llx", static_cast<unsigned long long>(value));
        return buf;
      }
      break;
  }
  return hexText(data);
}

void printValue(const RegValue& value) {
  std::cout << "    " << (value.name.empty() ? "(Default)" : utf8(value.name)) << "    " << typeName(value.type)
            << "    " << dataText(value.type, value.data) << "\n";
}

std::vector<RegValue> readValues(HKEY key) {
  std::vector<RegValue> values;
  DWORD count = 0, maxName = 0, maxData = 0;
  if (LONG rc = RegQueryInfoKeyW(key, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, &count, &maxName,
                                 &maxData, nullptr, nullptr))
    throw regFailure(rc);
  for (DWORD i = 0;; ++i) {
    std::u16string name(maxName + 1, u'\0');
    DWORD nameLength = maxName + 1, size = maxData, type = 0;
    RegValue value;
    value.data.resize(maxData);
    LONG rc = RegEnumValueW(key, i, name.data(), &nameLength, nullptr, &type, value.data.data(), &size);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc == ERROR_MORE_DATA) {  // changed meanwhile: read the sizes again
      return readValues(key);
    }
    if (rc) throw regFailure(rc);
    value.name = name.substr(0, nameLength);
    value.type = type;
    value.data.resize(size);
    values.push_back(std::move(value));
  }
  return values;
}

std::vector<std::u16string> readSubKeys(HKEY key) {
  std::vector<std::u16string> names;
  for (DWORD i = 0;; ++i) {
    WCHAR name[256];
    DWORD length = 256;
    LONG rc = RegEnumKeyExW(key, i, name, &length, nullptr, nullptr, nullptr, nullptr);
    if (rc == ERROR_NO_MORE_ITEMS) break;
    if (rc) throw regFailure(rc);
    names.emplace_back(name, length);
  }
  return names;
}

// --- data from the command line ----------------------------------------------------

std::optional<ULONGLONG> parseNumber(const std::string& text, ULONGLONG max) {
  if (text.empty()) return 0;
  errno = 0;
  char* end = nullptr;
  bool hex = text.size() > 2 && text[0] == '0' && (text[1] == 'x' || text[1] == 'X');
  if (text[0] == '-' || text[0] == '+') return std::nullopt;
  unsigned long long value = std::strtoull(text.c_str(), &end, hex ? 16 : 10);
  if (errno || *end || value > max) return std::nullopt;
  return value;
}

std::vector<BYTE> dataFor(DWORD type, const std::string& text, const std::string& separator) {
  std::vector<BYTE> out;
  auto bytesOf = [&](const std::u16string& units) {
    out.resize(units.size() * 2);
    if (!units.empty()) std::memcpy(out.data(), units.data(), out.size());
  };
  switch (type) {
    case REG_SZ:
    case REG_EXPAND_SZ:
      bytesOf(tw::FromUtf8(text) + u'\0');
      return out;
    case REG_MULTI_SZ: {
      std::u16string units;
      size_t start = 0;
      while (!text.empty() && start <= text.size()) {
        size_t end = text.find(separator, start);
        if (end == std::string::npos) end = text.size();
        units += tw::FromUtf8(text.substr(start, end - start)) + u'\0';
        start = end + separator.size();
      }
      units += u'\0';
      bytesOf(units);
      return out;
    }
    case REG_DWORD:
    case REG_DWORD_BIG_ENDIAN: {
      auto value = parseNumber(text, 0xFFFFFFFFull);
      if (!value) throw Failure{"Invalid data \"" + text + "\" for " + typeName(type) + " (a number, decimal or 0x hex)."};
      DWORD number = static_cast<DWORD>(*value);
      if (type == REG_DWORD_BIG_ENDIAN) number = __builtin_bswap32(number);
      out.resize(4);
      std::memcpy(out.data(), &number, 4);
      return out;
    }
    case REG_QWORD: {
      auto value = parseNumber(text, ~0ull);
      if (!value) throw Failure{"Invalid data \"" + text + "\" for REG_QWORD (a number, decimal or 0x hex)."};
      out.resize(8);
      std::memcpy(out.data(), &*value, 8);
      return out;
    }
    default: {
      if (text.size() % 2) throw Failure{"Invalid data \"" + text + "\": binary data needs pairs of hex digits."};
      for (size_t i = 0; i < text.size(); i += 2) {
        unsigned byte = 0;
        if (!std::isxdigit(static_cast<unsigned char>(text[i])) ||
            !std::isxdigit(static_cast<unsigned char>(text[i + 1])) ||
            std::sscanf(text.c_str() + i, "%2x", &byte) != 1)
          throw Failure{"Invalid data \"" + text + "\": binary data needs hex digits."};
        out.push_back(static_cast<BYTE>(byte));
      }
      return out;
    }
  }
}

DWORD typeFromName(const std::string& name) {
  std::string upper;
  for (char c : name) upper += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  for (DWORD type : {REG_SZ, REG_EXPAND_SZ, REG_MULTI_SZ, REG_DWORD, REG_DWORD_BIG_ENDIAN, REG_QWORD, REG_BINARY,
                     REG_NONE})
    if (typeName(type) == upper) return type;
  throw Failure{"Invalid type \"" + name + "\"."};
}

// --- arguments --------------------------------------------------------------------

struct Args {
  std::vector<std::string> positional;
  std::vector<std::pair<std::string, std::string>> options;  // "/v" -> value ("" for switches)

  bool Has(const char* name) const {
    for (const auto& [n, v] : options)
      if (n == name) return true;
    return false;
  }
  std::optional<std::string> Get(const char* name) const {
    for (const auto& [n, v] : options)
      if (n == name) return v;
    return std::nullopt;
  }
};

Args parseArgs(const std::vector<std::string>& argv, std::initializer_list<const char*> withValue,
               std::initializer_list<const char*> switches) {
  Args args;
  for (size_t i = 0; i < argv.size(); ++i) {
    std::string arg = argv[i];
    std::string name = "/";
    for (char c : arg.substr(arg.empty() ? 0 : 1)) name += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // "/v" or "-v" is an option; "/srv/out.reg" is a Linux path.
    bool looksLikeOption = arg.size() >= 2 && (arg[0] == '/' || arg[0] == '-') && arg.size() <= 4 &&
                           arg.find('/', 1) == std::string::npos && arg.find('.') == std::string::npos;
    if (looksLikeOption) {
      if (args.Has(name.c_str())) throw Failure{"Option " + arg + " given twice.", 2};
      bool known = false;
      for (const char* option : withValue)
        if (name == option) {
          if (i + 1 >= argv.size()) throw Failure{"Option " + arg + " needs a value.", 2};
          args.options.emplace_back(name, argv[++i]);
          known = true;
        }
      for (const char* option : switches)
        if (name == option) {
          args.options.emplace_back(name, "");
          known = true;
        }
      if (!known) throw Failure{"Invalid option " + arg + ".", 2};
    } else {
      args.positional.push_back(arg);
    }
  }
  return args;
}

// --- commands -----------------------------------------------------------------------

void printKey(const std::u16string& display, HKEY key, bool recursive, const std::optional<std::u16string>& only,
              int* matches) {
  auto values = readValues(key);
  std::vector<RegValue> shown;
  for (auto& value : values)
    if (!only || tw::Upcase(value.name) == tw::Upcase(*only)) shown.push_back(value);
  if (!only || !shown.empty()) {
    std::cout << "\n" << utf8(display) << "\n";
    for (const auto& value : shown) printValue(value);
    if (matches) *matches += static_cast<int>(shown.size());
  }
  auto subKeys = readSubKeys(key);
  if (!recursive) {
    if (!only) {
      if (!subKeys.empty()) std::cout << "\n";
      for (const auto& name : subKeys) std::cout << utf8(display) << "\\" << utf8(name) << "\n";
    }
    return;
  }
  for (const auto& name : subKeys) {
    OpenKey child;
    if (RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.Out()) != ERROR_SUCCESS) continue;
    printKey(display + u"\\" + name, child, true, only, matches);
  }
}

int cmdQuery(const std::vector<std::string>& argv) {
  Args args = parseArgs(argv, {"/v"}, {"/ve", "/s"});
  if (args.positional.size() != 1) throw Failure{"query needs one KEY.", 2};
  KeyName name = parseKey(tw::FromUtf8(args.positional[0]));
  if (args.Has("/v") && args.Has("/ve")) throw Failure{"/v and /ve cannot be used together.", 2};
  OpenKey key;
  open(name, KEY_READ, &key);
  std::optional<std::u16string> only;
  if (auto v = args.Get("/v")) only = tw::FromUtf8(*v);
  if (args.Has("/ve")) only = u"";
  int matches = 0;
  if (only && !args.Has("/s")) {
    // One value: it must exist.
    DWORD type = 0, size = 0;
    LONG rc = RegQueryValueExW(key, only->c_str(), nullptr, &type, nullptr, &size);
    if (rc) throw regFailure(rc, name.display + u" " + (only->empty() ? u"(Default)" : *only));
  }
  printKey(name.display, key, args.Has("/s"), only, &matches);
  if (args.Has("/s") && only) std::cout << "End of search: " << matches << " match(es) found.\n";
  else std::cout << "\n";
  return 0;
}

int cmdAdd(const std::vector<std::string>& argv) {
  Args args = parseArgs(argv, {"/v", "/t", "/d", "/s"}, {"/ve", "/f"});
  if (args.positional.size() != 1) throw Failure{"add needs one KEY.", 2};
  if (args.Has("/v") && args.Has("/ve")) throw Failure{"/v and /ve cannot be used together.", 2};
  KeyName name = parseKey(tw::FromUtf8(args.positional[0]));
  DWORD type = typeFromName(args.Get("/t").value_or("REG_SZ"));
  std::string separator = args.Get("/s").value_or("\\0");
  if (separator.empty()) throw Failure{"The separator of /s cannot be empty.", 2};
  bool setsValue = args.Has("/v") || args.Has("/ve") || args.Has("/d") || args.Has("/t");
  std::vector<BYTE> data = dataFor(type, args.Get("/d").value_or(""), separator);
  std::u16string valueName = tw::FromUtf8(args.Get("/v").value_or(""));

  OpenKey key;
  if (LONG rc = RegCreateKeyExW(name.root, name.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                                nullptr))
    throw regFailure(rc, name.display);
  if (setsValue) {
    DWORD size = 0;
    bool exists = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, &size) == ERROR_SUCCESS;
    if (exists && !args.Has("/f") &&
        !confirm("Value " + (valueName.empty() ? std::string("(Default)") : utf8(valueName)) +
                 " exists, overwrite(Yes/No)?")) {
      std::cout << "The operation was cancelled.\n";
      return 1;
    }
    if (LONG rc = RegSetValueExW(key, valueName.c_str(), 0, type, data.data(), static_cast<DWORD>(data.size())))
      throw regFailure(rc);
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

int cmdDelete(const std::vector<std::string>& argv) {
  Args args = parseArgs(argv, {"/v"}, {"/ve", "/va", "/f"});
  if (args.positional.size() != 1) throw Failure{"delete needs one KEY.", 2};
  if (args.Has("/v") + args.Has("/ve") + args.Has("/va") > 1)
    throw Failure{"Only one of /v, /ve and /va can be given.", 2};
  KeyName name = parseKey(tw::FromUtf8(args.positional[0]));
  bool force = args.Has("/f");
  if (args.Has("/v") || args.Has("/ve")) {
    std::u16string valueName = tw::FromUtf8(args.Get("/v").value_or(""));
    OpenKey key;
    open(name, KEY_ALL_ACCESS, &key);
    DWORD size = 0;
    if (LONG rc = RegQueryValueExW(key, valueName.c_str(), nullptr, nullptr, nullptr, &size))
      throw regFailure(rc, name.display + u" " + (valueName.empty() ? u"(Default)" : valueName));
    if (!force && !confirm("Delete the registry value " + (valueName.empty() ? "(Default)" : utf8(valueName)) +
                           " (Yes/No)?")) {
      std::cout << "The operation was cancelled.\n";
      return 1;
    }
    if (LONG rc = RegDeleteValueW(key, valueName.c_str())) throw regFailure(rc);
  } else if (args.Has("/va")) {
    OpenKey key;
    open(name, KEY_ALL_ACCESS, &key);
    if (!force && !confirm("Delete all values under the registry key " + utf8(name.display) + " (Yes/No)?")) {
      std::cout << "The operation was cancelled.\n";
      return 1;
    }
    tw::registry::Batch batch;
    if (batch.Status()) throw regFailure(batch.Status());
    for (const auto& value : readValues(key))
      if (LONG rc = RegDeleteValueW(key, value.name.c_str())) throw regFailure(rc);
    if (LONG rc = batch.Commit()) throw regFailure(rc);
  } else {
    if (name.sub.empty()) throw Failure{"A root key cannot be deleted: " + utf8(name.display)};
    OpenKey key;
    open(name, KEY_READ, &key);  // says "not found" before asking
    if (!force && !confirm("Permanently delete the registry key " + utf8(name.display) + " (Yes/No)?")) {
      std::cout << "The operation was cancelled.\n";
      return 1;
    }
    if (LONG rc = RegDeleteTreeW(name.root, name.sub.c_str())) throw regFailure(rc, name.display);
  }
  std::cout << "The operation completed successfully.\n";
  return 0;
}

void exportKey(const std::u16string& display, HKEY key, std::u16string* out) {
  *out += twreg::FormatKeyBlock(display, readValues(key));
  for (const auto& name : readSubKeys(key)) {
    OpenKey child;
    if (LONG rc = RegOpenKeyExW(key, name.c_str(), 0, KEY_READ, child.Out())) throw regFailure(rc);
    exportKey(display + u"\\" + name, child, out);
  }
}

int cmdExport(const std::vector<std::string>& argv) {
  Args args = parseArgs(argv, {}, {"/y"});
  if (args.positional.size() != 2) throw Failure{"export needs KEY and FILE.", 2};
  KeyName name = parseKey(tw::FromUtf8(args.positional[0]));
  const std::string& file = args.positional[1];
  std::u16string text = twreg::kRegFileHeader;
  {
    // One read transaction: the file shows the tree at one moment.
    tw::registry::Batch batch;
    if (batch.Status()) throw regFailure(batch.Status());
    OpenKey key;
    open(name, KEY_READ, &key);
    exportKey(name.display, key, &text);
  }
  if (access(file.c_str(), F_OK) == 0 && !args.Has("/y") &&
      !confirm("File " + file + " already exists. Overwrite (Yes/No)?")) {
    std::cout << "The operation was cancelled.\n";
    return 1;
  }
  std::ofstream out(file, std::ios::binary | std::ios::trunc);
  out << twreg::EncodeUtf16File(text);
  out.close();
  if (!out) throw Failure{"Cannot write " + file + ": " + std::strerror(errno)};
  std::cout << "The operation completed successfully.\n";
  return 0;
}

int cmdImport(const std::vector<std::string>& argv) {
  Args args = parseArgs(argv, {}, {});
  if (args.positional.size() != 1) throw Failure{"import needs one FILE.", 2};
  const std::string& file = args.positional[0];
  std::ifstream in(file, std::ios::binary);
  if (!in) throw Failure{"Cannot open " + file + ": " + std::strerror(errno)};
  std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<twreg::RegKeyBlock> blocks;
  std::string error;
  if (!twreg::ParseRegFile(bytes, &blocks, &error)) throw Failure{file + ": " + error + "; nothing was imported."};
  // Check every key name before writing anything.
  std::vector<KeyName> names;
  for (const auto& block : blocks) {
    try {
      names.push_back(parseKey(block.path));
    } catch (const Failure& f) {
      throw Failure{file + ": line " + std::to_string(block.line) + ": " + f.message + " Nothing was imported."};
    }
  }
  tw::registry::Batch batch;
  if (batch.Status()) throw regFailure(batch.Status());
  for (size_t i = 0; i < blocks.size(); ++i) {
    const auto& block = blocks[i];
    const auto& name = names[i];
    auto failAt = [&](LONG rc) {
      return Failure{file + ": line " + std::to_string(block.line) + ": " + errorText(rc) + " Nothing was imported."};
    };
    if (block.remove) {
      if (name.sub.empty()) throw Failure{file + ": line " + std::to_string(block.line) + ": a root key cannot be deleted."};
      LONG rc = RegDeleteTreeW(name.root, name.sub.c_str());
      if (rc && rc != ERROR_FILE_NOT_FOUND) throw failAt(rc);
      continue;
    }
    OpenKey key;
    if (LONG rc = RegCreateKeyExW(name.root, name.sub.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS, nullptr, key.Out(),
                                  nullptr))
      throw failAt(rc);
    for (const auto& value : block.values) {
      LONG rc = value.remove ? RegDeleteValueW(key, value.name.c_str())
                             : RegSetValueExW(key, value.name.c_str(), 0, value.type, value.data.data(),
                                              static_cast<DWORD>(value.data.size()));
      if (rc && !(value.remove && rc == ERROR_FILE_NOT_FOUND)) throw failAt(rc);
    }
  }
  if (LONG rc = batch.Commit()) throw regFailure(rc);
  std::cout << "The operation completed successfully.\n";
  return 0;
}

int cmdBoot(const std::vector<std::string>& argv) {
  if (!argv.empty()) throw Failure{"boot takes no arguments.", 2};
  DWORD removed = 0;
  if (LONG rc = tw::registry::DropVolatileKeys(&removed)) throw regFailure(rc);
  std::cout << removed << " volatile key(s) removed.\n";
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  std::vector<std::string> args;
  try {
    for (int i = 1; i < argc; ++i) {
      std::string arg = argv[i];
      if (arg == "--root" || arg.rfind("--root=", 0) == 0) {
        std::string dir = arg == "--root" ? (i + 1 < argc ? argv[++i] : "") : arg.substr(7);
        if (dir.empty()) throw Failure{"--root needs a directory.", 2};
        tw::root::SetDir(dir);
      } else {
        args.push_back(arg);
      }
    }
    if (args.empty() || args[0] == "/?" || args[0] == "-h" || args[0] == "--help") {
      std::cout << kUsage;
      return args.empty() ? 2 : 0;
    }
    std::string command;
    for (char c : args[0]) command += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::vector<std::string> rest(args.begin() + 1, args.end());
    if (command == "query") return cmdQuery(rest);
    if (command == "add") return cmdAdd(rest);
    if (command == "delete") return cmdDelete(rest);
    if (command == "export") return cmdExport(rest);
    if (command == "import") return cmdImport(rest);
    if (command == "boot") return cmdBoot(rest);
    throw Failure{"Unknown command \"" + args[0] + "\".", 2};
  } catch (const Failure& failure) {
    std::cerr << "twreg: ERROR: " << failure.message << "\n";
    if (failure.code == 2) std::cerr << "Type \"twreg /?\" for usage.\n";
    return failure.code;
  }
}
