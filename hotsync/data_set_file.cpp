#include "hotsync/data_set_file.h"

#include <cstring>

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "handheld/hh_layout.h"
#include "handheld/hh_store.h"
#include "hotsync/host_paths.h"
#include "hotsync/services/sync_manager_host.h"
#include "platform/file.h"
#include "platform/sync_manager.h"

namespace {

// Serves the handheld database from the file the user named, for one call.
struct database_as_file {
  explicit database_as_file(const std::string& path) { sync_manager_map_database(kHhDbName, path); }
  ~database_as_file() { sync_manager_map_database(kHhDbName, ""); }
  database_as_file(const database_as_file&) = delete;
  database_as_file& operator=(const database_as_file&) = delete;
};

// The Sync Manager's own account of a failure, where it has one.
std::string sync_detail(int32_t code) {
  const std::string& problem = sync_manager_last_problem();
  if (!problem.empty()) return " (" + problem + ")";
  if (code != 0) return " (Sync Manager error " + std::to_string(code) + ")";
  return "";
}

bool read_pdb(const std::string& path, element_db* db, std::string* why, const element_sink* sink,
              bool* no_memory) {
  database_as_file served(path);
  hh_load_report report;
  if (load_db_from_hh(db, &report, sink)) return true;
  *no_memory = report.status == kHhLoadNoMemory || report.sync_error == kSyncErrNoMemory;
  *why = path + ": " + hh_load_status_text(report.status);
  if (report.status == kHhLoadReadFailed || report.status == kHhLoadDamaged) {
    *why += " (record " + std::to_string(report.record) + ")";
  } else {
    *why += sync_detail(report.sync_error);
  }
  return false;
}

bool write_pdb(const std::string& path, element_db* db, std::string* why) {
  database_as_file served(path);
  hh_save_report report;
  if (save_db_to_hh(db, &report) == kHhSaveOk) return true;
  *why = path + ": the data set " + hh_save_status_text(report.status);
  if (report.status == kHhSaveTextTooLong && db->head) {
    *why += ": element " + std::to_string(report.element_id);
  }
  *why += sync_detail(report.sync_error);
  return false;
}

}  // namespace

bool names_pdb(const std::string& path) {
  return path.size() >= 4 && path.compare(path.size() - 4, 4, ".pdb") == 0;
}

bool read_data_set(const std::string& path, element_db* db, std::string* why,
                   const element_sink* sink, bool* no_memory) {
  bool ignored = false;
  if (!no_memory) no_memory = &ignored;
  *no_memory = false;
  if (names_pdb(path)) return read_pdb(path, db, why, sink, no_memory);
  pc_load_report report;
  if (load_db_from_pc(db, path.c_str(), &report, sink)) return true;
  *no_memory = report.status == kPcLoadNoMemory;
  *why = path;
  if (report.line != 0) {
    *why += ", line " + std::to_string(report.line);
  }
  *why += ": ";
  *why += pc_load_status_text(report.status);
  if (report.error != 0) {
    *why += " (";
    *why += file_error_text(report.error);
    *why += ")";
  }
  if (report.status == kPcLoadNewerVersion) *why += ", version " + std::to_string(report.version);
  return false;
}

namespace {

const char* save_xml_text(int result) {
  switch (result) {
    case kSaveXmlCannotOpen:
      return "the temporary file cannot be created";
    case kSaveXmlCannotClose:
      return "the temporary file cannot be flushed to disk or closed";
    case kSaveXmlCannotRename:
      return "the temporary file cannot be put in its place";
    case kSaveXmlWriteFailed:
      return "writing the temporary file failed";
    case kSaveXmlBadCategory:
      return "an element refers to a category that does not exist";
    default:
      return "cannot be written";
  }
}

bool write_xml(const std::string& path, element_db* db, std::string* why) {
  const std::string tmp = path + ".tmp";
  xml_save_report report{};
  int result = save_xml(db, tmp.c_str(), path.c_str(), &report);
  if (result == kSaveXmlOk) return true;
  *why = path + ": " + save_xml_text(result);
  if (result == kSaveXmlCannotOpen || result == kSaveXmlCannotClose ||
      result == kSaveXmlWriteFailed || result == kSaveXmlCannotRename) {
    *why += " (" + tmp +
            (report.system_error ? std::string(": ") + file_error_text(report.system_error) : "") +
            ")";
  }
  return false;
}

}  // namespace

bool write_data_set(const std::string& path, element_db* db, std::string* why) {
  // Only a file is replaced: the rename would put a regular file in the place
  // of a device or a FIFO (of /dev/null, for root). A symbolic link is
  // replaced itself, never followed.
  file_info info;
  const int error = file_info_at(path.c_str(), false, &info);
  if (error == 0 && info.kind != file_kind::none && info.kind != file_kind::regular &&
      info.kind != file_kind::symbolic_link) {
    *why = path + ": it is " + std::string(file_kind_text(info.kind)) + ", not a regular file";
    return false;
  }
  if (error != 0) {
    *why = path + ": " + file_error_text(error);
    return false;
  }
  if (names_pdb(path) ? write_pdb(path, db, why) : write_xml(path, db, why)) return true;
  // The writers leave their temporary after some failures (the desktop's on
  // purpose, for the conduit's next run to replace); a convert that failed
  // leaves nothing.
  file_remove((path + ".tmp").c_str());
  if (names_pdb(path)) file_remove((path + ".records").c_str());
  return false;
}

bool xml_holds_whole(const element_db& db) {
  for (const element* e = db.head; e; e = e->next) {
    if (!xml_holds_text(e->q, true) || !xml_holds_text(e->a, false)) return false;
  }
  return true;
}
