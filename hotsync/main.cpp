// hotsync: a stand-in for the HotSync Manager, run from the command line.
#include <CLI/CLI.hpp>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <exception>
#include <new>
#include <string>

#include "conduit/conduit_api.h"
#include "hotsync/backups.h"
#include "hotsync/conduit_commands.h"
#include "hotsync/conflicts.h"
#include "hotsync/console.h"
#include "hotsync/data_set_file.h"
#include "hotsync/host_paths.h"
#include "hotsync/hotsync_session.h"
#include "hotsync/memory_policy.h"
#include "hotsync/scoped_db.h"
#include "hotsync/show.h"
#include "model/element_db.h"
#include "platform/registry_file.h"

namespace {

constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

int fail(const std::string& why) {
  std::fprintf(stderr, "hotsync: %s\n", why.c_str());
  return kExitFailure;
}

int run_convert(const std::string& src, const std::string& dest) {
  // Kept until the process ends, which lets go of it at once: freeing a
  // large data set element by element would only make the user wait.
  static element_db db;
  construct_db(&db);
  std::string why;
  if (!read_data_set(src, &db, &why)) return fail("cannot read " + why);
  if (!write_data_set(dest, &db, &why)) return fail("cannot write " + why);
  return 0;
}

int run_show(const std::string& src) {
  scoped_db data;
  std::string why;
  if (!read_data_set(src, &data.db, &why)) return fail("cannot read " + why);
  show_data_set(stdout, &data.db);
  return std::fflush(stdout) == 0 ? 0 : fail("cannot write to standard output");
}

// Exit statuses of a dry run whose HotSync was carried through.
constexpr int kDryRunNoChange = 0;
constexpr int kDryRunWouldChange = 1;

// One sentence, after the log and the report, for a HotSync the conduit did
// not carry through: what was not done, and that nothing was lost.
void say_not_completed(const session_options& options, const hotsync_outcome& outcome) {
  const bool two_way = outcome.sync_type == kSyncTypeFast || outcome.sync_type == kSyncTypeSlow;
  if (options.dry_run) {
    std::fputs(
        "hotsync: the dry run's HotSync was not completed (see the log above); nothing of "
        "yours was touched.\n",
        stderr);
  } else if (outcome.conduit_result == kOpenConduitRefused) {
    std::fputs(
        "hotsync: the Sync Manager refused the conduit's registration, so nothing was "
        "synchronised and nothing was lost.\n",
        stderr);
  } else if (two_way) {
    std::fputs(
        "hotsync: the HotSync was not completed (see the log above); nothing was lost, "
        "and the next HotSync will merge both sides again.\n",
        stderr);
  } else {
    std::fputs(
        "hotsync: the HotSync was not completed (see the log above); nothing was lost, "
        "and the HotSync can be run again.\n",
        stderr);
  }
}

int run_session(const session_options& options) {
  std::string why;
  hotsync_outcome outcome;
  if (run_hotsync(options, &outcome, &why) != 0) {
    std::fprintf(stderr, "hotsync: %s\n", why.c_str());
    return kExitUsage;
  }
  if (outcome.conduit_result != kOpenConduitDone) {
    say_not_completed(options, outcome);
    // A dry run's 1 says that something would change; one that could not
    // find out is trouble, as a HotSync that could not be run is.
    return options.dry_run ? kExitUsage : kExitFailure;
  }
  if (options.dry_run) return outcome.changed ? kDryRunWouldChange : kDryRunNoChange;
  if (!outcome.not_recorded.empty()) {
    std::fprintf(stderr, "hotsync: %s\n", outcome.not_recorded.c_str());
    return kExitFailure;
  }
  return 0;
}

// A command whose output could not be written (a full disk, a closed pipe)
// has not told its reader what it did: that is a failure to say, not a success.
int output_written(int status, const char* where_else = "") {
  if (std::fflush(stdout) == 0 && !std::ferror(stdout)) return status;
  std::fprintf(stderr, "hotsync: cannot write to standard output%s\n", where_else);
  return status == 0 ? kExitFailure : status;
}

std::string count_text(int64_t count, bool present) {
  if (!present) return "-";
  return count < 0 ? "?" : std::to_string(count);
}

int run_list_backups(const session_options& options) {
  std::vector<backup_info> all;
  std::string why;
  if (!list_backups(handheld_folder_for(options), &all, &why)) {
    std::fprintf(stderr, "hotsync: %s\n", why.c_str());
    return kExitUsage;
  }
  if (all.empty()) {
    std::printf("No backups in %s/backups\n", handheld_folder_for(options).c_str());
    return 0;
  }
  std::printf("%-20s %-19s %10s %10s  %s\n", "ID", "made", "desktop", "handheld", "why");
  for (const backup_info& b : all) {
    char when[32];
    const std::time_t t = static_cast<std::time_t>(b.time);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    // A program that kept a side open after the HotSync wrote into the
    // backup's file, or the file is gone: the backup no longer holds what it
    // says, and restore refuses it.
    std::string written, gone;
    for (const bool desktop : {true, false}) {
      if (!backup_side_written_since(b, desktop)) continue;
      std::string& sides = (desktop ? b.has_desktop : b.has_handheld) ? written : gone;
      sides += sides.empty() ? "" : ", ";
      sides += desktop ? "desktop" : "handheld";
    }
    std::printf("%-20s %-19s %10s %10s  %s%s%s%s%s\n", b.id.c_str(), when,
                count_text(b.desktop_elements, b.has_desktop).c_str(),
                count_text(b.handheld_elements, b.has_handheld).c_str(), b.reason.c_str(),
                written.empty() ? "" : "; written into since: ", written.c_str(),
                gone.empty() ? "" : "; gone since: ", gone.c_str());
  }
  return 0;
}

int run_list_conflicts(const session_options& options) {
  const std::string handheld = handheld_folder_for(options);
  std::vector<conflict_file> all;
  std::string why;
  if (!list_conflict_files(handheld, &all, &why)) {
    std::fprintf(stderr, "hotsync: %s\n", why.c_str());
    return kExitUsage;
  }
  if (all.empty()) {
    std::printf("No conflicts kept in %s/conflicts\n", handheld.c_str());
    return 0;
  }
  std::printf("%-20s %-19s %10s  %s\n", "ID", "made", "elements", "file");
  for (const conflict_file& f : all) {
    char when[32];
    const std::time_t t = static_cast<std::time_t>(f.time);
    std::strftime(when, sizeof when, "%Y-%m-%d %H:%M:%S", std::localtime(&t));
    scoped_db data;
    std::string unreadable;
    int64_t count = -1;
    if (read_data_set(f.path, &data.db, &unreadable)) {
      count = 0;
      for (const element* e = data.db.head; e; e = e->next)
        ++count;
    }
    std::printf("%-20s %-19s %10s  %s\n", f.id.c_str(), when, count_text(count, true).c_str(),
                f.path.c_str());
  }
  return 0;
}

int run_restore(const session_options& options, const std::string& id, const std::string& side) {
  std::string why;
  if (restore_sides(options, id, side != "handheld", side != "desktop", &why) != 0) {
    return fail(why);
  }
  std::printf("Restored %s from backup %s\n",
              side == "both" ? "both sides" : ("the " + side + " side").c_str(), id.c_str());
  return 0;
}

// An empty value is a mistake in the command line (an unset variable), not a
// request for the default: the default folder is somebody's real data.
const CLI::Validator kNotEmpty(
    [](std::string& value) { return value.empty() ? std::string("must not be empty") : ""; }, "",
    "NOT_EMPTY");

// Where the handheld and the desktop data are.
void add_folder_options(CLI::App* command, session_options* options) {
  command
      ->add_option(
          "--handheld", options->handheld,
          "the handheld folder (created when missing); default " + default_handheld_folder())
      ->check(kNotEmpty);
  command
      ->add_option("--desktop", options->desktop,
                   "the Quorvia data directory for this run (sets pathtodatadir), an existing "
                   "folder; default: the registry's value")
      ->check(kNotEmpty);
  command
      ->add_option("--registry", options->registry,
                   "the registry file (REGEDIT4) that holds pathtodatadir; default " +
                       user_registry_name() + ", made on first use pointing at " +
                       default_desktop_folder())
      ->check(kNotEmpty);
}

// Backups to keep, from `least` on: a bound a person can read in a message.
CLI::Validator backups_kept(int least) {
  constexpr int kMost = 100000;
  return CLI::Range(least, kMost)
      .description(std::to_string(least) + " to " + std::to_string(kMost));
}

// The options every HotSync command takes.
void add_session_options(CLI::App* command, session_options* options) {
  add_folder_options(command, options);
  command
      ->add_option_function<uint32_t>(
          "--last-sync",
          [options](const uint32_t& t) {
            options->has_last_sync = true;
            options->last_sync = t;
          },
          "the time of the last HotSync for this run, Unix seconds (default: the handheld's)")
      ->type_name("T")
      ->check(kNotEmpty);
  command
      ->add_option("--conduit", options->conduit,
                   "the conduit plug-in to load; default: the one installed with hotsync")
      ->check(kNotEmpty);
}

// What the host adds around a HotSync.
void add_report_options(CLI::App* command, session_options* options) {
  command->add_flag("--verbose,-v", options->verbose,
                    "list each element the HotSync added, updated or deleted (id and the start "
                    "of its question), and each conflict with the side whose version was kept "
                    "and why");
  command->add_flag("--json", options->json,
                    "print the change report as JSON on standard output (the HotSync log goes "
                    "to standard error)");
  command->add_flag("--dry-run,-n", options->dry_run,
                    "run the HotSync on private copies of both sides and report what it would "
                    "change, touching nothing; exit status 0: nothing would change, 1: something "
                    "would, 2: its HotSync was not completed");
  command
      ->add_option("--keep", options->keep_backups,
                   "backups to keep in HANDHELD/backups, made before every HotSync that may write "
                   "(0: make none); also the conflict files to keep in HANDHELD/conflicts, the "
                   "one just written always among them")
      ->default_val(kDefaultBackupsKept)
      ->check(backups_kept(0));
  command->add_flag_function(
      "--no-report", [options](int64_t) { options->report = false; },
      "do not read both sides before and after the HotSync to report the changes");
}

// The command line's command, run: its exit status.
int run_command(int argc, char** argv) {
  console_start();
  CLI::App app{"hotsync: keeps a Quorvia data set in step between elements.xml and a handheld"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "hotsync " QV_VERSION);
  app.footer(
      "Exit status: 0 when the HotSync (or command) succeeded; 1 when the conduit did not "
      "carry the HotSync through (a side could not be read or written: the log says why, and "
      "nothing was lost or recorded as synchronised), when its Sync Manager registration was "
      "refused, when a file could not be read or written, or when a HotSync was done but its "
      "time could not be kept in user.conf; 2 for a wrong command line (an empty value among "
      "them) or a HotSync that could not be run (a side that is not a regular file, a folder "
      "that cannot be used, a data directory that is not an existing folder). A --dry-run "
      "exits 0 when nothing would change, 1 when something would and 2 when its HotSync was not "
      "completed or would not be.\n\n"
      "Environment: " +
      std::string(default_folders_moved_by()) +
      " the default folders; "
      "HOTSYNC_PROGRESS=1 or 0 shows or hides the progress line (by default shown on a terminal "
      "for large data sets); HOTSYNC_FAULTS=CALL:NTH:CODE[,...] makes Sync Manager calls fail, "
      "for tests.\n\n"
      "Files: the handheld folder holds QVelements.pdb, user.conf (the user and the last "
      "HotSync), hotsync.conf (the chosen action), HotSync.log, backups/, sync_base.bin (what "
      "both sides held after the last HotSync, to tell conflicts) and conflicts/ (the versions "
      "HotSyncs dropped in conflicts); pathtodatadir in the registry (" +
      user_registry_name() + ") says where the desktop's elements.xml is.");

  std::string src, dest;
  CLI::App* convert = app.add_subcommand(
      "convert",
      "Read a data set from SRC and write it to DEST. A name ending in .pdb is a Palm database "
      "file holding QVelements; any other is an elements.xml-format file");
  convert->add_option("SRC", src, "data set to read")->required()->check(kNotEmpty);
  convert
      ->add_option("DEST", dest,
                   "file to write (not a device, FIFO or folder); written in full beside it, "
                   "then renamed over it")
      ->required()
      ->check(kNotEmpty);

  std::string show_src;
  CLI::App* show = app.add_subcommand("show", "Print a data set for a person to read");
  show->add_option("SRC", show_src, "data set to read: elements.xml format, or .pdb")
      ->required()
      ->check(kNotEmpty);

  session_options session;
  struct hotsync_command {
    const char* name;
    const char* help;
    uint32_t sync_type;
    CLI::App* app;
  };
  hotsync_command commands[] = {
      {"sync", "A two-way HotSync: merge the desktop and the handheld data set", kSyncTypeFast,
       nullptr},
      {"desktop-to-handheld", "A HotSync in which the desktop data set overwrites the handheld",
       kSyncTypePCToHH, nullptr},
      {"handheld-to-desktop", "A HotSync in which the handheld data set overwrites the desktop",
       kSyncTypeHHToPC, nullptr},
      {"run", "A HotSync with the action chosen for the next HotSync (see configure)",
       kSyncTypeFast, nullptr},
  };
  for (hotsync_command& c : commands) {
    c.app = app.add_subcommand(c.name, c.help);
    add_session_options(c.app, &session);
    add_report_options(c.app, &session);
  }
  CLI::Option* raw_type = commands[3]
                              .app
                              ->add_option("--sync-type", session.sync_type,
                                           "the sync type to pass to the conduit as it is (0 to "
                                           "4294967295), instead of the action "
                                           "chosen with configure")
                              ->check(kNotEmpty);

  CLI::App* backups = app.add_subcommand(
      "backups",
      "List the backups of both sides kept in the handheld folder, with their time and element "
      "counts");
  add_folder_options(backups, &session);
  CLI::App* conflicts = app.add_subcommand(
      "conflicts",
      "List the files that keep the versions HotSyncs dropped in conflicts (an element both "
      "sides changed, or one deleted while the other changed it), with their time and element "
      "counts; each is an elements.xml-format file, or a .pdb for texts elements.xml cannot hold, "
      "that show and convert read");
  add_folder_options(conflicts, &session);
  std::string restore_id, restore_side = "both";
  CLI::App* restore = app.add_subcommand(
      "restore",
      "Put the sides back as a backup has them (both, or one); the sides as they are now are "
      "backed up first");
  add_folder_options(restore, &session);
  restore
      ->add_option("--keep", session.keep_backups,
                   "backups to keep, the one made of the sides before restoring included")
      ->default_val(kDefaultBackupsKept)
      ->check(backups_kept(1));
  restore->add_option("ID", restore_id, "the backup, as hotsync backups lists it")->required();
  restore->add_option("--side", restore_side, "which side to put back")
      ->check(CLI::IsMember({"both", "desktop", "handheld"}))
      ->default_val("both");

  CLI::App* info = app.add_subcommand("info", "Print what the conduit says about itself");
  add_session_options(info, &session);
  configure_options configure;
  CLI::App* configure_app = app.add_subcommand(
      "configure",
      "Choose the HotSync action for the next HotSync in the conduit's dialog, shown in the "
      "terminal");
  add_session_options(configure_app, &session);
  configure_app
      ->add_option("--action", configure.action,
                   "choose without the terminal: sync, desktop-to-handheld, "
                   "handheld-to-desktop or nothing")
      ->check(CLI::IsMember({"sync", "desktop-to-handheld", "handheld-to-desktop", "nothing"}));
  configure_app->add_flag("--default", configure.make_default,
                          "with --action: make it the default, not for the next HotSync only");
  configure_app->add_flag("--legacy", configure.legacy,
                          "ask through the older entry point ConfigureConduit");

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }

  // What the commands do not answer with a message of their own (a file
  // system that fails in a way no call site expected, memory) still ends in
  // one, with the temporary folders gone.
  try {
    if (convert->parsed()) return run_convert(src, dest);
    if (show->parsed()) return run_show(show_src);
    if (backups->parsed()) return output_written(run_list_backups(session));
    if (conflicts->parsed()) return output_written(run_list_conflicts(session));
    if (restore->parsed()) return run_restore(session, restore_id, restore_side);
    for (const hotsync_command& c : commands) {
      if (!c.app->parsed()) continue;
      if (c.app != commands[3].app) session.sync_type = c.sync_type;
      session.stored_action = c.app == commands[3].app && raw_type->count() == 0;
      return output_written(run_session(session), "; what the HotSync did is in HotSync.log");
    }
    std::string why;
    if (info->parsed()) {
      const int result = run_info(session, &why);
      if (result == 0 || std::ferror(stdout)) return output_written(0);
    }
    if (configure_app->parsed() && run_configure(session, configure, &why) == 0) return 0;
    if (!why.empty()) std::fprintf(stderr, "hotsync: %s\n", why.c_str());
  } catch (const std::bad_alloc&) {
    std::fputs("hotsync: out of memory\n", stderr);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "hotsync: %s\n", e.what());
  }
  return kExitUsage;
}
}  // namespace

int main(int argc, char** argv) {
  memory_policy_start(argv);
  const int status = run_command(argc, argv);
  // The process ends here without the destructors of what it still holds
  // (the data sets of the conduit, of convert): the system takes their
  // memory back at once, where freeing each element would take a while.
  std::fflush(nullptr);
  registry_end_own();
#ifdef __SANITIZE_ADDRESS__
  // The sanitizer build ends normally, so that its leak check still runs.
  std::exit(status);
#else
  std::_Exit(status);
#endif
}
