// hotsync: a stand-in for the HotSync Manager, run from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <string>

#include "hotsync/data_set_file.h"
#include "hotsync/show.h"
#include "model/element_db.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

// A data set that lives as long as one command.
struct scoped_db {
  element_db db;
  scoped_db() { construct_db(&db); }
  ~scoped_db() { release_db(&db); }
  scoped_db(const scoped_db&) = delete;
  scoped_db& operator=(const scoped_db&) = delete;
};

int fail(const std::string& why) {
  std::fprintf(stderr, "hotsync: %s\n", why.c_str());
  return kExitFailure;
}

int run_convert(const std::string& src, const std::string& dest) {
  scoped_db data;
  std::string why;
  if (!read_data_set(src, &data.db, &why)) return fail("cannot read " + why);
  if (!write_data_set(dest, &data.db, &why)) return fail("cannot write " + why);
  return 0;
}

int run_show(const std::string& src) {
  scoped_db data;
  std::string why;
  if (!read_data_set(src, &data.db, &why)) return fail("cannot read " + why);
  show_data_set(stdout, &data.db);
  return std::fflush(stdout) == 0 ? 0 : fail("cannot write to standard output");
}

}  // namespace

int main(int argc, char** argv) {
  CLI::App app{"hotsync: keeps a Quorvia data set in step between elements.xml and a handheld"};
  app.require_subcommand(1);

  std::string src, dest;
  CLI::App* convert = app.add_subcommand(
      "convert",
      "Read a data set from SRC and write it to DEST. A name ending in .pdb is a Palm database "
      "file holding QVelements; any other is an elements.xml-format file");
  convert->add_option("SRC", src, "data set to read")->required();
  convert
      ->add_option("DEST", dest, "file to write; written in full beside it, then renamed over it")
      ->required();

  std::string show_src;
  CLI::App* show = app.add_subcommand("show", "Print a data set for a person to read");
  show->add_option("SRC", show_src, "data set to read: elements.xml format, or .pdb")->required();

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  if (convert->parsed()) return run_convert(src, dest);
  if (show->parsed()) return run_show(show_src);
  return kExitUsage;
}
