#include "hotsync/data_set_file.h"

#include "desktop/xml_reader.h"
#include "desktop/xml_writer.h"
#include "platform/file.h"

bool read_data_set(const std::string& path, element_db* db, std::string* why) {
  pc_load_report report;
  if (load_db_from_pc(db, path.c_str(), &report)) return true;
  *why = path;
  if (report.line != 0 && report.status != kPcLoadCannotOpen) {
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

static const char* save_xml_text(int result) {
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

bool write_data_set(const std::string& path, element_db* db, std::string* why) {
  const std::string tmp = path + ".tmp";
  int result = save_xml(db, tmp.c_str(), path.c_str());
  if (result == kSaveXmlOk) return true;
  *why = path + ": " + save_xml_text(result);
  if (result == kSaveXmlCannotOpen || result == kSaveXmlCannotClose ||
      result == kSaveXmlWriteFailed || result == kSaveXmlCannotRename) {
    *why += " (" + tmp + ")";
  }
  return false;
}
