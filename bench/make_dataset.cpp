// Writes a benchmark data set to disk:
//
//   make_dataset N ORDER DIR          DIR/elements.xml
//   make_dataset N ORDER DIR --pair   DIR/desktop/elements.xml and the handheld
//                                     folder DIR/handheld (QVelements.pdb,
//                                     user.conf with the last HotSync)
//
// ORDER is sorted, nearly or random. With --pair, ADDED (default 1000) new
// elements on each side and as many deleted: `--pair ADDED`. `--categories C`
// makes a table of C categories (default 12) that the elements spread over.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

#include "bench/dataset.h"

namespace {

bool parse_order(const char* text, schedule_order* order) {
  if (std::strcmp(text, "sorted") == 0)
    *order = schedule_order::sorted;
  else if (std::strcmp(text, "nearly") == 0)
    *order = schedule_order::nearly;
  else if (std::strcmp(text, "random") == 0)
    *order = schedule_order::random;
  else
    return false;
  return true;
}

}  // namespace

int main(int argc, char** argv) {
  dataset_options options;
  if (argc < 4 || (options.elements = std::atoi(argv[1])) <= 0 ||
      !parse_order(argv[2], &options.order)) {
    std::fprintf(stderr,
                 "usage: make_dataset N sorted|nearly|random DIR [--pair [ADDED]] "
                 "[--categories C]\n");
    return 2;
  }
  const std::string dir = argv[3];
  bool pair_wanted = false;
  dataset_pair_options pair;
  for (int i = 4; i < argc; ++i) {
    if (std::strcmp(argv[i], "--pair") == 0) {
      pair_wanted = true;
      if (i + 1 < argc && argv[i + 1][0] != '-')
        pair.added_each_side = pair.deleted_each_side = std::atoi(argv[++i]);
    } else if (std::strcmp(argv[i], "--categories") == 0 && i + 1 < argc) {
      options.categories = std::atoi(argv[++i]);
      if (options.categories < 1 || options.categories >= kMaxCategories) {
        std::fprintf(stderr, "make_dataset: --categories takes 1 to %d\n", kMaxCategories - 1);
        return 2;
      }
    } else {
      std::fprintf(stderr, "make_dataset: unknown argument %s\n", argv[i]);
      return 2;
    }
  }
  mkdir(dir.c_str(), 0777);
  if (!pair_wanted) {
    element_db db;
    construct_db(&db);
    make_dataset(&db, options);
    bool ok = write_desktop_file(&db, dir);
    release_db(&db);
    return ok ? 0 : 1;
  }
  pair.base = options;
  element_db desktop, handheld;
  construct_db(&desktop);
  construct_db(&handheld);
  uint32_t last_sync = make_dataset_pair(&desktop, &handheld, pair);
  mkdir((dir + "/desktop").c_str(), 0777);
  mkdir((dir + "/handheld").c_str(), 0777);
  bool ok = write_desktop_file(&desktop, dir + "/desktop") &&
            write_handheld_folder(&handheld, dir + "/handheld", last_sync);
  release_db(&desktop);
  release_db(&handheld);
  if (!ok) std::fprintf(stderr, "make_dataset: cannot write the data set to %s\n", dir.c_str());
  return ok ? 0 : 1;
}
