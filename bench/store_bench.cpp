// How long the stores take for large data sets: writing and reading elements.xml
// and the handheld database of 10,000 and 100,000 elements.
#include <benchmark/benchmark.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/services/sync_manager_host.h"
#include "model/element_db.h"

namespace {

// A data set of n elements with texts of realistic lengths, some needing CDATA.
void fill(element_db* db, int n, bool shuffled = false) {
  construct_db(db);
  db->tm_strt = 1041379200;
  for (int c = 0; c < 12; ++c)
    find_or_add_ctgr(db, ("category " + std::to_string(c)).c_str());
  insert_element(&db->head, nullptr);
  for (int i = 0; i < n; ++i) {
    element* e = new_element();
    e->id = 1041379200u + static_cast<uint32_t>(i) * 37u;
    e->tm_t_rpt = static_cast<uint16_t>(shuffled ? (i * 7919) % 3001 : 700 + i * 3000 / n);
    e->stm_t_rpt = e->tm_t_rpt;
    e->ctgr = static_cast<uint16_t>(i % 12);
    e->ivl = static_cast<uint16_t>(i % 2048);
    e->rp = static_cast<uint16_t>(i % 128);
    e->gr = static_cast<uint16_t>(i % 6);
    std::string q = "What is the meaning of word number " + std::to_string(i) + "?";
    if (i % 7 == 0) q += " (a < b & c)";
    std::string a = "An answer of ordinary length, number " + std::to_string(i);
    if (i % 5 == 0) a += "\nwith a second line\nand a third";
    e->q = copy_text(q.c_str());
    e->a = copy_text(a.c_str());
    if (shuffled) {  // kept in this order, as a handheld keeps its stored order
      e->next = db->head;
      db->head = e;
    } else {
      insert_element(&db->head, e);
    }
  }
}

std::string scratch(const char* name) {
  return "/tmp/qv-bench-" + std::to_string(getpid()) + "-" + name;
}

void BM_SaveXml(benchmark::State& state) {
  element_db db;
  fill(&db, static_cast<int>(state.range(0)));
  std::string xml = scratch("save.xml"), tmp = scratch("save.tmp");
  for (auto _ : state) {
    if (save_xml(&db, tmp.c_str(), xml.c_str()) != kSaveXmlOk) state.SkipWithError("save failed");
  }
  std::remove(xml.c_str());
  release_db(&db);
}
BENCHMARK(BM_SaveXml)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadDbFromPc(benchmark::State& state) {
  element_db db;
  fill(&db, static_cast<int>(state.range(0)), state.range(1) != 0);
  std::string xml = scratch("load.xml"), tmp = scratch("load.tmp");
  save_xml(&db, tmp.c_str(), xml.c_str());
  release_db(&db);
  for (auto _ : state) {
    element_db loaded;
    construct_db(&loaded);
    insert_element(&loaded.head, nullptr);
    if (load_db_from_pc(&loaded, xml.c_str()) != 1) state.SkipWithError("load failed");
    release_db(&loaded);
  }
  std::remove(xml.c_str());
}
// Second argument: 0 for a file in tm_t_rpt order, 1 for one in no order.
BENCHMARK(BM_LoadDbFromPc)
    ->Args({10000, 0})
    ->Args({100000, 0})
    ->Args({100000, 1})
    ->Unit(benchmark::kMillisecond);

// The handheld side: QVelements through our Sync Manager, as a .pdb file.
void BM_SaveDbToHh(benchmark::State& state) {
  element_db db;
  fill(&db, static_cast<int>(state.range(0)));
  std::string pdb = scratch("save.pdb");
  sync_manager_map_database("QVelements", pdb);
  for (auto _ : state) {
    if (save_db_to_hh(&db) != kHhSaveOk) state.SkipWithError("save failed");
  }
  sync_manager_reset();
  std::remove(pdb.c_str());
  release_db(&db);
}
BENCHMARK(BM_SaveDbToHh)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

void BM_LoadDbFromHh(benchmark::State& state) {
  element_db db;
  fill(&db, static_cast<int>(state.range(0)));
  std::string pdb = scratch("load.pdb");
  sync_manager_map_database("QVelements", pdb);
  save_db_to_hh(&db);
  release_db(&db);
  for (auto _ : state) {
    element_db loaded;
    construct_db(&loaded);
    if (load_db_from_hh(&loaded) != 1) state.SkipWithError("load failed");
    release_db(&loaded);
  }
  sync_manager_reset();
  std::remove(pdb.c_str());
}
BENCHMARK(BM_LoadDbFromHh)->Arg(10000)->Arg(100000)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
