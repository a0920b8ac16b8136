// Build tool: reads a Windows resource script (dialogs made of CONTROL
// statements, a string table, bitmaps) and writes it as C++ tables for the
// POSIX dialog manager, so that the script stays the one source of truth.
//   usage: rc_tables SCRIPT.rc OUTPUT.cpp TABLE_NAME
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace {

struct token {
  enum kind_t { word, number, text, punct, end } kind;
  std::string value;
};

[[noreturn]] void fail(const std::string& why) {
  std::fprintf(stderr, "rc_tables: %s\n", why.c_str());
  std::exit(1);
}

std::string read_all(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) fail("cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

std::string folder_of(const std::string& path) {
  size_t slash = path.rfind('/');
  return slash == std::string::npos ? "." : path.substr(0, slash);
}

// The Windows constants the script may use.
std::map<std::string, long> builtins() {
  return {{"WS_POPUP", 0x80000000L},
          {"WS_CHILD", 0x40000000L},
          {"WS_VISIBLE", 0x10000000L},
          {"WS_CAPTION", 0x00C00000L},
          {"WS_SYSMENU", 0x00080000L},
          {"WS_GROUP", 0x00020000L},
          {"WS_TABSTOP", 0x00010000L},
          {"DS_MODALFRAME", 0x80L},
          {"BS_PUSHBUTTON", 0},
          {"BS_DEFPUSHBUTTON", 1},
          {"BS_CHECKBOX", 2},
          {"BS_AUTOCHECKBOX", 3},
          {"BS_RADIOBUTTON", 4},
          {"BS_GROUPBOX", 7},
          {"BS_AUTORADIOBUTTON", 9},
          {"SS_LEFT", 0},
          {"SS_BITMAP", 0xE},
          {"IDOK", 1},
          {"IDCANCEL", 2},
          {"IDHELP", 9},
          {"IDC_STATIC", -1}};
}

class script {
 public:
  explicit script(const std::string& path) : path_(path), names_(builtins()) {
    tokenize(read_all(path));
  }

  void parse(std::ostringstream& out, const std::string& table) {
    std::ostringstream dialogs, strings, bitmaps, data;
    int dialog_count = 0, string_count = 0, bitmap_count = 0;
    while (peek().kind != token::end) {
      if (accept_word("STRINGTABLE")) {
        expect_word("BEGIN");
        while (!accept_word("END")) {
          long id = number();
          strings << "    {" << id << ", " << literal(take(token::text).value) << "},\n";
          ++string_count;
        }
        continue;
      }
      long id = number();
      if (accept_word("BITMAP")) {
        std::string file = folder_of(path_) + "/" + take(token::text).value;
        std::string bytes = read_all(file);
        data << "const unsigned char kBitmap" << id << "[] = {";
        for (size_t i = 0; i < bytes.size(); ++i) {
          data << (i % 16 == 0 ? "\n    " : " ")
               << static_cast<int>(static_cast<unsigned char>(bytes[i])) << ",";
        }
        data << "\n};\n";
        bitmaps << "    {" << id << ", kBitmap" << id << ", " << bytes.size() << "},\n";
        ++bitmap_count;
        continue;
      }
      expect_word("DIALOG");
      parse_dialog(id, dialogs, data);
      ++dialog_count;
    }
    out << "// Made by rc_tables from " << path_ << ". Do not edit.\n"
        << "#include \"platform/posix/resource_table.h\"\n\nnamespace {\n\n"
        << data.str() << "const rc_dialog kDialogs[] = {\n"
        << dialogs.str() << "};\n"
        << "const rc_string kStrings[] = {\n"
        << strings.str() << "};\n"
        << "const rc_bitmap kBitmaps[] = {\n"
        << bitmaps.str() << "};\n\n}  // namespace\n\n"
        << "extern const resource_table " << table << " = {kDialogs, " << dialog_count
        << ", kStrings, " << string_count << ", kBitmaps, " << bitmap_count << "};\n";
  }

 private:
  void parse_dialog(long id, std::ostringstream& dialogs, std::ostringstream& data) {
    long x = number(), y = (expect(","), number()), w = (expect(","), number()),
         h = (expect(","), number());
    long style = 0, font_size = 8;
    std::string caption, font;
    while (!accept_word("BEGIN")) {
      if (accept_word("STYLE")) {
        style = expression();
      } else if (accept_word("CAPTION")) {
        caption = take(token::text).value;
      } else if (accept_word("FONT")) {
        font_size = number();
        expect(",");
        font = take(token::text).value;
      } else {
        fail("unexpected " + peek().value + " in dialog " + std::to_string(id));
      }
    }
    std::ostringstream controls;
    int count = 0;
    while (!accept_word("END")) {
      expect_word("CONTROL");
      std::string text = "nullptr";
      long text_resource = 0;
      if (peek().kind == token::text) {
        const std::string value = take(token::text).value;
        // "#103" names a resource by number, as Windows reads a control's text.
        if (value.size() > 1 && value[0] == '#') {
          text_resource = std::strtol(value.c_str() + 1, nullptr, 10);
        } else {
          text = literal(value);
        }
      } else {
        text_resource = number();
      }
      expect(",");
      long control_id = number();
      expect(",");
      std::string class_name = take(token::text).value;
      expect(",");
      long control_style = expression() | names_["WS_CHILD"] | names_["WS_VISIBLE"];
      long box[4];
      for (long& v : box) {
        expect(",");
        v = number();
      }
      controls << "    {" << control_id << ", " << literal(class_name) << ", 0x" << std::hex
               << static_cast<unsigned long>(control_style) << std::dec << "u, " << text << ", "
               << text_resource << ", " << box[0] << ", " << box[1] << ", " << box[2] << ", "
               << box[3] << "},\n";
      ++count;
    }
    data << "const rc_control kControls" << id << "[] = {\n" << controls.str() << "};\n";
    dialogs << "    {" << id << ", 0x" << std::hex << static_cast<unsigned long>(style) << std::dec
            << "u, " << literal(caption) << ", " << literal(font) << ", " << font_size << ", " << x
            << ", " << y << ", " << w << ", " << h << ", kControls" << id << ", " << count
            << "},\n";
  }

  // NAME | NAME | number ...
  long expression() {
    long value = number();
    while (accept("|"))
      value |= number();
    return value;
  }

  long number() {
    token t = take_any();
    if (t.kind == token::number) return std::strtol(t.value.c_str(), nullptr, 0);
    if (t.kind == token::punct && t.value == "-") return -number();
    if (t.kind == token::word) {
      auto found = names_.find(t.value);
      if (found != names_.end()) return found->second;
    }
    fail("not a number: " + t.value);
  }

  static std::string literal(const std::string& s) {
    std::string out = "\"";
    for (char c : s) {
      if (c == '"' || c == '\\') out += '\\';
      out += c;
    }
    return out + "\"";
  }

  void tokenize(const std::string& src) {
    size_t i = 0;
    while (i < src.size()) {
      char c = src[i];
      if (std::isspace(static_cast<unsigned char>(c))) {
        ++i;
      } else if (c == '/' && i + 1 < src.size() && src[i + 1] == '/') {
        while (i < src.size() && src[i] != '\n')
          ++i;
      } else if (c == '#') {
        size_t end = src.find('\n', i);
        directive(src.substr(i, end == std::string::npos ? std::string::npos : end - i));
        i = end == std::string::npos ? src.size() : end;
      } else if (c == '"') {
        std::string text;
        for (++i; i < src.size(); ++i) {
          if (src[i] == '"') {
            if (i + 1 < src.size() && src[i + 1] == '"') {
              text += '"';
              ++i;
              continue;
            }
            break;
          }
          text += src[i];
        }
        ++i;
        tokens_.push_back({token::text, text});
      } else if (std::isdigit(static_cast<unsigned char>(c))) {
        size_t start = i;
        while (i < src.size() && std::isalnum(static_cast<unsigned char>(src[i])))
          ++i;
        tokens_.push_back({token::number, src.substr(start, i - start)});
      } else if (std::isalpha(static_cast<unsigned char>(c)) || c == '_') {
        size_t start = i;
        while (i < src.size() &&
               (std::isalnum(static_cast<unsigned char>(src[i])) || src[i] == '_'))
          ++i;
        tokens_.push_back({token::word, src.substr(start, i - start)});
      } else {
        tokens_.push_back({token::punct, std::string(1, c)});
        ++i;
      }
    }
  }

  // #include "file" reads the file's #defines; other directives are skipped.
  void directive(const std::string& line) {
    std::istringstream in(line);
    std::string what, a, b;
    in >> what >> a >> b;
    if (what == "#include" && a.size() > 2 && a[0] == '"') {
      std::istringstream header(read_all(folder_of(path_) + "/" + a.substr(1, a.size() - 2)));
      std::string l;
      while (std::getline(header, l)) {
        if (l.rfind("#define", 0) == 0) directive(l);
      }
    } else if (what == "#define" && !b.empty()) {
      names_[a] = std::strtol(b.c_str(), nullptr, 0);
    }
  }

  const token& peek() {
    static const token end{token::end, "end of script"};
    return pos_ < tokens_.size() ? tokens_[pos_] : end;
  }
  token take_any() {
    token t = peek();
    if (t.kind != token::end) ++pos_;
    return t;
  }
  token take(token::kind_t kind) {
    token t = take_any();
    if (t.kind != kind) fail("unexpected " + t.value);
    return t;
  }
  bool accept_word(const char* word) {
    if (peek().kind == token::word && peek().value == word) return ++pos_, true;
    return false;
  }
  bool accept(const char* punct) {
    if (peek().kind == token::punct && peek().value == punct) return ++pos_, true;
    return false;
  }
  void expect_word(const char* word) {
    if (!accept_word(word)) fail(std::string("expected ") + word + ", found " + peek().value);
  }
  void expect(const char* punct) {
    if (!accept(punct)) fail(std::string("expected ") + punct + ", found " + peek().value);
  }

  std::string path_;
  std::map<std::string, long> names_;
  std::vector<token> tokens_;
  size_t pos_ = 0;
};

}  // namespace

int main(int argc, char** argv) {
  if (argc != 4) fail("usage: rc_tables SCRIPT.rc OUTPUT.cpp TABLE_NAME");
  script rc(argv[1]);
  std::ostringstream out;
  rc.parse(out, argv[3]);
  std::ofstream file(argv[2], std::ios::binary);
  file << out.str();
  if (!file) fail(std::string("cannot write ") + argv[2]);
  return 0;
}
