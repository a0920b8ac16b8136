// The peer of `hotsync convert` as a whole process: pugixml parses
// elements.xml in place and walks it into the conduit's element structs, and
// nothing more. Reads the file as any program must, into memory of its own;
// exits without freeing, as a process may.
//
//   parse_walk_process FILE      prints the element count
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <pugixml.hpp>

#include "model/element_db.h"

namespace {

uint16_t value16(const pugi::xml_node& item, const char* name) {
  return static_cast<uint16_t>(item.attribute(name).as_uint());
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: parse_walk_process FILE\n");
    return 2;
  }
  const int fd = open(argv[1], O_RDONLY);
  struct stat st;
  if (fd < 0 || fstat(fd, &st) != 0) return 1;
  const size_t size = static_cast<size_t>(st.st_size);
  char* data = static_cast<char*>(std::malloc(size + 1));
  size_t got = 0;
  while (data && got < size) {
    const ssize_t n = read(fd, data + got, size - got);
    if (n <= 0) return 1;
    got += static_cast<size_t>(n);
  }
  close(fd);
  static pugi::xml_document doc;  // not destroyed before exit either
  if (!data || !doc.load_buffer_inplace(data, size)) return 1;
  element_db db;
  construct_db(&db);
  const pugi::xml_node root = doc.child("quorvia");
  db.tm_strt = static_cast<int32_t>(root.attribute("time_of_start").as_int());
  for (pugi::xml_node c = root.child("category"); c; c = c.next_sibling("category")) {
    const int32_t index = find_or_add_ctgr(&db, c.attribute("name").value());
    if (index == kNoCategory) return 1;
    db.ctgrs[index]->bgcolor = c.attribute("bgcolor").as_uint();
  }
  element** tail = &db.head;
  long count = 0;
  for (pugi::xml_node item = root.child("item"); item; item = item.next_sibling("item")) {
    element* e = new_element();
    if (!e) return 1;
    e->id = item.attribute("id").as_uint();
    e->tm_t_rpt = value16(item, "tm_t_rpt");
    e->stm_t_rpt = value16(item, "stm_t_rpt");
    e->ctgr = static_cast<uint16_t>(find_or_add_ctgr(&db, item.attribute("ctgr").value()));
    e->l_ivl = value16(item, "l_ivl");
    e->rl_l_ivl = value16(item, "rl_l_ivl");
    e->ivl = value16(item, "ivl");
    e->rp = value16(item, "rp");
    e->gr = value16(item, "gr");
    e->q = copy_text(item.child_value("Q"));
    e->a = copy_text(item.child_value("A"));
    *tail = e;
    tail = &e->next;
    ++count;
  }
  std::printf("%ld\n", count);
  return 0;
}
