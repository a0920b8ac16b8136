// The desktop file written and read through the Windows half of the platform
// layer: files by handle, and the writer's second thread handing megabytes to
// WriteFile while the next buffer fills.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "model/element_db.h"
#include "platform/thread.h"
#include "tests/win32/wine_check.h"

namespace {

std::string read_all(const std::string& path) {
  std::string bytes;
  if (FILE* f = std::fopen(path.c_str(), "rb")) {
    char buf[65536];
    size_t got;
    while ((got = std::fread(buf, 1, sizeof buf, f)) > 0)
      bytes.append(buf, got);
    std::fclose(f);
  }
  return bytes;
}

// Enough elements for several of the writer's buffers; some texts in CDATA,
// some over two lines.
void fill(element_db* db, uint32_t count) {
  construct_db(db);
  insert_element(&db->head, nullptr);
  find_or_add_ctgr(db, "Words");
  for (uint32_t i = 1; i <= count; ++i) {
    element* e = new_element();
    e->id = 1000000 + i;
    e->tm_t_rpt = static_cast<uint16_t>(i);  // unique: reading back keeps the order
    e->rp = static_cast<uint16_t>(i % 7);
    const std::string q = "question " + std::to_string(i) + (i % 5 ? "" : " <b>&amp;</b>");
    const std::string a = "answer " + std::to_string(i) + (i % 3 ? "" : "\nsecond line") +
                          std::string(120, 'a' + static_cast<char>(i % 26));
    e->q = copy_text(q.c_str());
    e->a = copy_text(a.c_str());
    insert_element(&db->head, e);
  }
}

uint32_t count_of(const element_db* db) {
  uint32_t n = 0;
  for (const element* e = db->head; e; e = e->next)
    ++n;
  return n;
}

void mark(void* arg) {
  *static_cast<int*>(arg) = 42;
}

}  // namespace

int main() {
  char folder[MAX_PATH];
  GetTempPathA(sizeof folder, folder);
  const std::string base =
      std::string(folder) + "qv-win32-desktop-" + std::to_string(GetCurrentProcessId());
  const std::string xml = base + ".xml", tmp = base + ".tmp", again = base + "-again.xml";

  int seen = 0;
  os_thread t;
  check(thread_start(&t, mark, &seen) == 0, "a second thread starts");
  thread_join(&t);
  check(seen == 42, "it has run when the join returns");

  element_db db;
  fill(&db, 30000);
  check(save_xml(&db, tmp.c_str(), xml.c_str()) == kSaveXmlOk, "a save of several megabytes");
  const std::string bytes = read_all(xml);
  check(bytes.size() > (4u << 20), "the file spans several buffers");
  check(GetFileAttributesA(tmp.c_str()) == INVALID_FILE_ATTRIBUTES, "no temporary file stays");

  element_db back;
  construct_db(&back);
  insert_element(&back.head, nullptr);
  check(load_db_from_pc(&back, xml.c_str()) == 1, "the file reads back");
  check(count_of(&back) == 30000, "with every element");
  check(save_xml(&back, tmp.c_str(), again.c_str()) == kSaveXmlOk, "and saves again");
  check(read_all(again) == bytes, "to the same bytes");

  const std::string nowhere = base + "-missing\\elements.xml";
  check(save_xml(&db, (nowhere + ".tmp").c_str(), nowhere.c_str()) == kSaveXmlCannotOpen,
        "a folder that is not there cannot be written");

  release_db(&db);
  release_db(&back);
  DeleteFileA(xml.c_str());
  DeleteFileA(again.c_str());
  return checks_result();
}
