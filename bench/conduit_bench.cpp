// How the conduit's stores, merge and a whole HotSync scale, measured next to
// the floors and peers that give the numbers a meaning: read() and a raw write
// of the same file, and a general XML parser (pugixml) reading it into the same
// structs. tools/performance-report.sh turns a run into the table of ratios.
//
// Data sets are made once per size and kept in QV_BENCH_DIR (default: a folder
// in /dev/shm, so that files stand in the page cache and fsync costs nothing).
// Writes that must reach a disk go to QV_BENCH_DISK_DIR (default
// /var/tmp/qv-bench-disk).
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <malloc.h>
#include <spawn.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <map>
#include <pugixml.hpp>
#include <string>
#include <vector>

#include "bench/dataset.h"
#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_store.h"
#include "hotsync/services/handheld_user.h"
#include "hotsync/services/sync_manager_host.h"
#include "model/databases.h"
#include "model/element_db.h"
#include "platform/memory.h"
#include "sync/merge.h"

extern char** environ;

namespace {

const char* const kOrderNames[] = {"sorted", "nearly", "random"};

std::string bench_dir() {
  static std::string dir = [] {
    const char* chosen = std::getenv("QV_BENCH_DIR");
    struct stat st;
    std::string d = chosen ? chosen : (stat("/dev/shm", &st) == 0 ? "/dev/shm" : "/tmp");
    if (!chosen) d += "/qv-bench";
    mkdir(d.c_str(), 0777);
    return d;
  }();
  return dir;
}

// The folder for writes forced to a disk, and whether it is on one (not tmpfs).
std::string disk_dir(bool* on_disk) {
  static std::string dir = [] {
    const char* chosen = std::getenv("QV_BENCH_DISK_DIR");
    std::string d = chosen ? chosen : "/var/tmp/qv-bench-disk";
    mkdir(d.c_str(), 0777);
    return d;
  }();
  struct statfs fs;
  *on_disk = statfs(dir.c_str(), &fs) == 0 && fs.f_type != TMPFS_MAGIC;
  return dir;
}

bool exists(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0;
}

// A file read as a program reads it: into memory of its own, with read().
struct file_image {
  char* data = nullptr;
  size_t size = 0;
  file_image() = default;
  explicit file_image(const std::string& path) {
    int fd = open(path.c_str(), O_RDONLY);
    struct stat st;
    if (fd < 0 || fstat(fd, &st) != 0) return;
    data = static_cast<char*>(std::malloc(static_cast<size_t>(st.st_size) + 1));
    while (data && size < static_cast<size_t>(st.st_size)) {
      ssize_t got = read(fd, data + size, static_cast<size_t>(st.st_size) - size);
      if (got <= 0) break;
      size += static_cast<size_t>(got);
    }
    close(fd);
  }
  ~file_image() { std::free(data); }
  file_image(const file_image&) = delete;
  file_image& operator=(const file_image&) = delete;
};

size_t file_size(const std::string& path) {
  struct stat st;
  return stat(path.c_str(), &st) == 0 ? static_cast<size_t>(st.st_size) : 0;
}

// Writes the file whole; with `synced`, forced to the disk before it returns.
bool put_file(const std::string& path, const char* data, size_t size, bool synced = false) {
  int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
  if (fd < 0) return false;
  size_t done = 0;
  while (done < size) {
    ssize_t put = write(fd, data + done, size - done);
    if (put <= 0) break;
    done += static_cast<size_t>(put);
  }
  const bool forced = !synced || fsync(fd) == 0;
  return close(fd) == 0 && forced && done == size;
}

// DIR/elements.xml of n elements in the given order, made on first use.
std::string desktop_dir(int64_t n, int64_t order) {
  std::string dir = bench_dir() + "/xml-" + std::to_string(n) + "-" + kOrderNames[order];
  if (!exists(dir + "/elements.xml")) {
    mkdir(dir.c_str(), 0777);
    element_db db;
    construct_db(&db);
    dataset_options options;
    options.elements = static_cast<int32_t>(n);
    options.order = static_cast<schedule_order>(order);
    make_dataset(&db, options);
    write_desktop_file(&db, dir);
    release_db(&db);
  }
  return dir;
}

std::string desktop_file(int64_t n, int64_t order) {
  return desktop_dir(n, order) + "/elements.xml";
}

// The two sides of a HotSync (DIR/desktop, DIR/handheld) with `one_sided` new
// and as many deleted elements on each side.
std::string pair_dir(int64_t n, int64_t one_sided) {
  std::string dir = bench_dir() + "/pair-" + std::to_string(n) + "-" + std::to_string(one_sided);
  if (!exists(dir + "/handheld/QVelements.pdb")) {
    mkdir(dir.c_str(), 0777);
    mkdir((dir + "/desktop").c_str(), 0777);
    mkdir((dir + "/handheld").c_str(), 0777);
    element_db pc, hh;
    construct_db(&pc);
    construct_db(&hh);
    dataset_pair_options options;
    options.base.elements = static_cast<int32_t>(n);
    options.added_each_side = options.deleted_each_side = static_cast<int32_t>(one_sided);
    uint32_t last_sync = make_dataset_pair(&pc, &hh, options);
    write_desktop_file(&pc, dir + "/desktop");
    write_handheld_folder(&hh, dir + "/handheld", last_sync);
    sync_manager_reset();
    release_db(&pc);
    release_db(&hh);
  }
  return dir;
}

void count_bytes(benchmark::State& state, size_t bytes) {
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * bytes));
  state.counters["file_bytes"] = static_cast<double>(bytes);
}

// --- the machine ---------------------------------------------------------------

// What this machine charges for each fresh 4 KiB page a process touches: the
// first write to a page of a new mapping. Memory-hungry figures move with it.
void BM_FreshPages(benchmark::State& state) {
  const size_t bytes = size_t{64} << 20;
  const size_t page = 4096;
  for (auto _ : state) {
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (mapped == MAP_FAILED) {
      state.SkipWithError("mmap failed");
      break;
    }
    char* p = static_cast<char*>(mapped);
    for (size_t at = 0; at < bytes; at += page)
      p[at] = 1;
    benchmark::ClobberMemory();
    state.PauseTiming();
    munmap(mapped, bytes);
    state.ResumeTiming();
  }
  state.counters["pages"] = static_cast<double>(bytes / page);
  // What the conduit's slabs and hotsync's heap then ask for.
  state.counters["huge_pages"] = huge_pages_pay() ? 1 : 0;
}

// --- floors and peers --------------------------------------------------------

// Gives the memory freed after a run back to the system, so that the next run
// takes fresh memory, as a program does (and as read() into memory of its own
// does): otherwise whether the allocator keeps it depends on the order in
// which a run's elements were freed.
void fresh_memory_next() {
  malloc_trim(0);
}

void BM_ReadFile(benchmark::State& state) {
  std::string path = desktop_file(state.range(0), 0);
  for (auto _ : state) {
    file_image image(path);
    benchmark::DoNotOptimize(image.data);
  }
  count_bytes(state, file_size(path));
}

void BM_RawWrite(benchmark::State& state) {
  file_image bytes(desktop_file(state.range(0), 0));
  std::string out = bench_dir() + "/raw-write.xml";
  // Writes that replace a file of the same size reuse its pages; the first
  // write of all must find new ones, which this machine charges heavily.
  put_file(out, bytes.data, bytes.size);
  for (auto _ : state) {
    if (!put_file(out, bytes.data, bytes.size)) state.SkipWithError("write failed");
  }
  std::remove(out.c_str());
  count_bytes(state, bytes.size);
}

// The raw write as a save must finish it: forced to a disk, which takes its
// time in the fsync.
void BM_RawWriteDisk(benchmark::State& state) {
  file_image bytes(desktop_file(state.range(0), 0));
  bool on_disk = false;
  std::string out = disk_dir(&on_disk) + "/raw-write.xml";
  put_file(out, bytes.data, bytes.size, true);
  for (auto _ : state) {
    if (!put_file(out, bytes.data, bytes.size, true)) state.SkipWithError("write failed");
  }
  std::remove(out.c_str());
  count_bytes(state, bytes.size);
  state.counters["on_disk"] = on_disk;
}

uint32_t attribute(const pugi::xml_node& item, const char* name) {
  return item.attribute(name).as_uint();
}

// pugixml parsing the file in place and walking it into the same elements.
void BM_PugixmlParseWalk(benchmark::State& state) {
  file_image original(desktop_file(state.range(0), 0));
  std::vector<char> buffer(original.size);
  for (auto _ : state) {
    state.PauseTiming();
    std::memcpy(buffer.data(), original.data, original.size);
    element_db db;
    construct_db(&db);
    state.ResumeTiming();
    pugi::xml_document doc;
    if (!doc.load_buffer_inplace(buffer.data(), buffer.size())) state.SkipWithError("parse failed");
    pugi::xml_node root = doc.child("quorvia");
    db.tm_strt = static_cast<int32_t>(root.attribute("time_of_start").as_int());
    for (pugi::xml_node c = root.child("category"); c; c = c.next_sibling("category")) {
      int32_t index = find_or_add_ctgr(&db, c.attribute("name").value());
      db.ctgrs[index]->bgcolor = attribute(c, "bgcolor");
    }
    element** tail = &db.head;
    for (pugi::xml_node item = root.child("item"); item; item = item.next_sibling("item")) {
      element* e = new_element();
      e->id = attribute(item, "id");
      e->tm_t_rpt = static_cast<uint16_t>(attribute(item, "tm_t_rpt"));
      e->stm_t_rpt = static_cast<uint16_t>(attribute(item, "stm_t_rpt"));
      e->ctgr = static_cast<uint16_t>(find_or_add_ctgr(&db, item.attribute("ctgr").value()));
      e->l_ivl = static_cast<uint16_t>(attribute(item, "l_ivl"));
      e->rl_l_ivl = static_cast<uint16_t>(attribute(item, "rl_l_ivl"));
      e->ivl = static_cast<uint16_t>(attribute(item, "ivl"));
      e->rp = static_cast<uint16_t>(attribute(item, "rp"));
      e->gr = static_cast<uint16_t>(attribute(item, "gr"));
      e->q = copy_text(item.child_value("Q"));
      e->a = copy_text(item.child_value("A"));
      *tail = e;
      tail = &e->next;
    }
    state.PauseTiming();
    release_db(&db);
    fresh_memory_next();
    state.ResumeTiming();
  }
  count_bytes(state, original.size);
}

// --- the conduit's stores ----------------------------------------------------

// Second argument: the file's order (0 sorted, 1 nearly sorted, 2 random).
void BM_LoadDbFromPc(benchmark::State& state) {
  std::string path = desktop_file(state.range(0), state.range(1));
  for (auto _ : state) {
    element_db db;
    construct_db(&db);
    insert_element(&db.head, nullptr);
    if (load_db_from_pc(&db, path.c_str()) != 1) state.SkipWithError("load failed");
    state.PauseTiming();
    release_db(&db);
    fresh_memory_next();
    state.ResumeTiming();
  }
  state.counters["elements"] = static_cast<double>(state.range(0));
  count_bytes(state, file_size(path));
}

void load_desktop(element_db* db, const std::string& path, list_order* order = nullptr) {
  construct_db(db);
  insert_element(&db->head, nullptr);
  load_db_from_pc(db, path.c_str(), nullptr, nullptr, order);
}

// save_xml into QV_BENCH_DIR (tmpfs: a copy into memory); with a second
// argument of 1, onto a disk, its fsync included.
void BM_SaveXml(benchmark::State& state) {
  element_db db;
  list_order order;  // as the conduit saves: with the list's order from its reader
  load_desktop(&db, desktop_file(state.range(0), 0), &order);
  bool on_disk = false;
  const std::string dir = state.range(1) ? disk_dir(&on_disk) : bench_dir();
  std::string xml = dir + "/save.xml", tmp = dir + "/save.tmp";
  // As for the raw write, but the old file lives until the new one replaces
  // it: two saves first, after which each save reuses the pages of the one
  // before the last.
  for (int i = 0; i < 2; ++i)
    save_xml(&db, tmp.c_str(), xml.c_str(), nullptr, &order);
  for (auto _ : state) {
    if (save_xml(&db, tmp.c_str(), xml.c_str(), nullptr, &order) != kSaveXmlOk)
      state.SkipWithError("save failed");
  }
  count_bytes(state, file_size(xml));
  if (state.range(1)) state.counters["on_disk"] = on_disk;
  std::remove(xml.c_str());
  release_db(&db);
}

void BM_SaveDbToHh(benchmark::State& state) {
  element_db db;
  load_desktop(&db, desktop_file(state.range(0), 0));
  std::string pdb = bench_dir() + "/save.pdb";
  sync_manager_map_database("QVelements", pdb);
  for (auto _ : state) {
    if (save_db_to_hh(&db) != kHhSaveOk) state.SkipWithError("save failed");
  }
  sync_manager_reset();
  count_bytes(state, file_size(pdb));
  std::remove(pdb.c_str());
  release_db(&db);
}

void BM_LoadDbFromHh(benchmark::State& state) {
  std::string dir = pair_dir(state.range(0), 1000) + "/handheld";
  fresh_memory_next();  // not what the benchmark before it freed
  for (auto _ : state) {
    sync_manager_use_folder(dir);
    element_db db;
    construct_db(&db);
    if (load_db_from_hh(&db) != 1) state.SkipWithError("load failed");
    state.PauseTiming();
    release_db(&db);
    sync_manager_reset();
    fresh_memory_next();
    state.ResumeTiming();
  }
  count_bytes(state, file_size(dir + "/QVelements.pdb"));
}

// --- the merge and a whole HotSync ------------------------------------------

// The merge of both sides in memory; second argument: elements new (and as many
// deleted) on each side.
void BM_SyncDbs(benchmark::State& state) {
  std::string dir = pair_dir(state.range(0), state.range(1));
  handheld_user user;
  std::string why;
  read_handheld_user(dir + "/handheld", &user, &why);
  size_t elements = 0;
  for (auto _ : state) {
    state.PauseTiming();
    release_db(&pc_db);
    release_db(&hh_db);
    fresh_memory_next();
    // With the lists' orders, as the conduit merges.
    list_order pc_order, hh_order;
    load_desktop(&pc_db, dir + "/desktop/elements.xml", &pc_order);
    sync_manager_use_folder(dir + "/handheld");
    construct_db(&hh_db);
    load_db_from_hh(&hh_db, nullptr, nullptr, &hh_order);
    sync_manager_reset();
    elements = 0;
    for (const element_db* db : {&pc_db, &hh_db}) {
      for (const element* e = db->head; e; e = e->next)
        ++elements;
    }
    state.ResumeTiming();
    if (sync_dbs_in_order(user.last_sync, &pc_order, &hh_order) != kMergedWriteBoth)
      state.SkipWithError("merge failed");
  }
  release_db(&pc_db);
  release_db(&hh_db);
  state.counters["elements"] = static_cast<double>(elements);
}

void copy_file(const std::string& from, const std::string& to) {
  file_image bytes(from);
  put_file(to, bytes.data, bytes.size);
}

// Memory a process has just freed is had again almost free for a second or
// two before the host takes it back, which would time a run on what the run
// before it freed. The whole runs of the largest pair (one iteration each)
// rest first, as a HotSync after idle meets the machine: QV_BENCH_SETTLE
// seconds (default 5).
// Called with the timing paused.
void rest_before_whole_run(const benchmark::State& state) {
  if (state.range(0) < 1000000) return;
  const char* text = std::getenv("QV_BENCH_SETTLE");
  const long seconds = text ? std::atol(text) : 5;
  if (seconds > 0) sleep(static_cast<unsigned>(seconds));
}

// A whole two-way HotSync by the hotsync host through the plug-in, on fresh
// copies of both sides; reports the peak memory of the process. Without the
// host's change report and backup, which read and copy both sides again.
void BM_HotSync(benchmark::State& state) {
  std::string pair = pair_dir(state.range(0), state.range(1));
  std::string run = bench_dir() + "/hotsync-run";
  mkdir(run.c_str(), 0777);
  mkdir((run + "/desktop").c_str(), 0777);
  mkdir((run + "/handheld").c_str(), 0777);
  long peak_kb = 0;
  for (auto _ : state) {
    state.PauseTiming();
    copy_file(pair + "/desktop/elements.xml", run + "/desktop/elements.xml");
    copy_file(pair + "/handheld/QVelements.pdb", run + "/handheld/QVelements.pdb");
    copy_file(pair + "/handheld/user.conf", run + "/handheld/user.conf");
    std::string handheld = run + "/handheld", desktop = run + "/desktop";
    std::string peak_file = run + "/peak";
    // GNU time runs hotsync and reports its peak: a child spawned by this
    // large process would be charged this process's peak as well.
    const char* argv[] = {"/usr/bin/time",
                          "-f",
                          "%M",
                          "-o",
                          peak_file.c_str(),
                          QV_HOTSYNC_PATH,
                          "sync",
                          "--handheld",
                          handheld.c_str(),
                          "--desktop",
                          desktop.c_str(),
                          "--no-report",
                          "--keep",
                          "0",
                          nullptr};
    int out = open("/dev/null", O_WRONLY);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, out, 1);
    rest_before_whole_run(state);
    state.ResumeTiming();
    pid_t pid;
    int status = 0;
    if (posix_spawn(&pid, argv[0], &actions, nullptr, const_cast<char**>(argv), environ) != 0 ||
        waitpid(pid, &status, 0) != pid || !WIFEXITED(status) || WEXITSTATUS(status) != 0)
      state.SkipWithError("hotsync failed");
    state.PauseTiming();
    posix_spawn_file_actions_destroy(&actions);
    close(out);
    file_image peak(peak_file);
    const long kb = peak.data ? std::atol(std::string(peak.data, peak.size).c_str()) : 0;
    if (kb > peak_kb) peak_kb = kb;
    state.ResumeTiming();
  }
  state.counters["peak_bytes"] = static_cast<double>(peak_kb) * 1024.0;
  state.counters["xml_bytes"] = static_cast<double>(file_size(pair + "/desktop/elements.xml"));
}

// The floor of a HotSync: reading both files and writing both back raw.
void BM_HotSyncFloor(benchmark::State& state) {
  std::string pair = pair_dir(state.range(0), state.range(1));
  std::string out = bench_dir() + "/floor-";
  for (auto _ : state) {
    state.PauseTiming();
    rest_before_whole_run(state);
    state.ResumeTiming();
    file_image xml(pair + "/desktop/elements.xml");
    file_image pdb(pair + "/handheld/QVelements.pdb");
    if (!put_file(out + "elements.xml", xml.data, xml.size) ||
        !put_file(out + "QVelements.pdb", pdb.data, pdb.size))
      state.SkipWithError("write failed");
  }
  std::remove((out + "elements.xml").c_str());
  std::remove((out + "QVelements.pdb").c_str());
}

}  // namespace

// QV_BENCH_LARGEST caps the sizes (default 1,000,000 elements).
int main(int argc, char** argv) {
  const char* cap_text = std::getenv("QV_BENCH_LARGEST");
  const int64_t cap = cap_text ? std::atoll(cap_text) : 1000000;
  const auto ms = benchmark::kMillisecond;
  benchmark::RegisterBenchmark("FreshPages", BM_FreshPages)->Unit(ms);
  for (int64_t n : {10000, 100000, 1000000}) {
    if (n > cap) continue;
    benchmark::RegisterBenchmark("ReadFile", BM_ReadFile)->Arg(n)->Unit(ms);
    benchmark::RegisterBenchmark("RawWrite", BM_RawWrite)->Arg(n)->Unit(ms);
    benchmark::RegisterBenchmark("PugixmlParseWalk", BM_PugixmlParseWalk)->Arg(n)->Unit(ms);
    for (int64_t order : {0, 1, 2})
      benchmark::RegisterBenchmark("LoadDbFromPc", BM_LoadDbFromPc)->Args({n, order})->Unit(ms);
    benchmark::RegisterBenchmark("SaveXml", BM_SaveXml)->Args({n, 0})->Unit(ms);
    benchmark::RegisterBenchmark("RawWriteDisk", BM_RawWriteDisk)->Arg(n)->Unit(ms);
    benchmark::RegisterBenchmark("SaveXml", BM_SaveXml)->Args({n, 1})->Unit(ms);
    benchmark::RegisterBenchmark("SaveDbToHh", BM_SaveDbToHh)->Arg(n)->Unit(ms);
    benchmark::RegisterBenchmark("LoadDbFromHh", BM_LoadDbFromHh)->Arg(n)->Unit(ms);
    for (int64_t one_sided : {n / 1000, n / 10})
      benchmark::RegisterBenchmark("SyncDbs", BM_SyncDbs)->Args({n, one_sided})->Unit(ms);
    benchmark::RegisterBenchmark("HotSync", BM_HotSync)->Args({n, n / 10})->Unit(ms);
    benchmark::RegisterBenchmark("HotSyncFloor", BM_HotSyncFloor)->Args({n, n / 10})->Unit(ms);
  }
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
  return 0;
}
