#include "tests/test_support.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

scratch_dir::scratch_dir() {
  std::string pattern = (std::filesystem::temp_directory_path() / "qvtest-XXXXXX").string();
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

scratch_dir::~scratch_dir() {
  std::error_code ignored;
  std::filesystem::permissions(path_, std::filesystem::perms::owner_all,
                               std::filesystem::perm_options::add, ignored);
  std::filesystem::remove_all(path_, ignored);
}

void write_file(const std::string& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + path);
}

std::string read_file(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::ostringstream all;
  all << in.rdbuf();
  return all.str();
}

bool exists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

std::string crlf(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\n') out += '\r';
    out += c;
  }
  return out;
}

element* add_element(element_db* db, uint32_t id, uint16_t tm_t_rpt, const char* q, const char* a,
                     uint16_t ctgr) {
  element* e = new_element();
  e->id = id;
  e->tm_t_rpt = tm_t_rpt;
  e->stm_t_rpt = tm_t_rpt;
  e->ctgr = ctgr;
  e->q = copy_text(q);
  e->a = copy_text(a);
  insert_element(&db->head, e);
  return e;
}

std::string ids_of(const element_db* db) {
  std::string out;
  for (const element* e = db->head; e; e = e->next) {
    if (!out.empty()) out += ' ';
    out += std::to_string(e->id);
  }
  return out;
}

std::string keys_of(const element* head) {
  std::string out;
  for (const element* e = head; e; e = e->next) {
    if (!out.empty()) out += ' ';
    out += std::to_string(e->tm_t_rpt);
  }
  return out;
}

std::string xml_item(uint32_t id, int tm_t_rpt, const std::string& ctgr, const std::string& q,
                     const std::string& a, int rp) {
  return "<item id=\"" + std::to_string(id) + "\" tm_t_rpt=\"" + std::to_string(tm_t_rpt) +
         "\" stm_t_rpt=\"" + std::to_string(tm_t_rpt) + "\" ctgr=\"" + ctgr +
         "\" l_ivl=\"1\" rl_l_ivl=\"2\" ivl=\"3\" rp=\"" + std::to_string(rp) +
         "\" gr=\"5\">\n<Q>" + q + "</Q>\n<A>" + a + "</A>\n</item>\n\n";
}

std::string xml_file(int32_t tm_strt, const std::string& body) {
  return "<quorvia core_version=\"10\" time_of_start=\"" + std::to_string(tm_strt) + "\">\n\n" +
         body + "</quorvia>";
}

void record_figure(const std::string& line) {
  const char* folder = std::getenv("QV_RELIABILITY_DIR");
  if (!folder || !*folder) return;
  std::ofstream out(std::string(folder) + "/figures.txt", std::ios::app);
  out << line << "\n";
}
