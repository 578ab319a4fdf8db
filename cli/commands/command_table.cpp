// The tool's commands with their options, help texts and examples.
#include "cli/commands/commands.h"
#include "cli/commands/rebuild_support.h"
#include "cli/input/limit_options.h"

namespace cli {
namespace {

// Options several commands share, described once.
const OptionSpec kJson{"json", 0, false, "", "print one JSON document on stdout (messages stay on stderr)"};
const OptionSpec kSingleVolume{"single-volume", 0, false, "",
                               "read the named volume (and those its last split entry needs), not the whole set"};
const OptionSpec kCodepage{"codepage", 0, true, "N", "DOS code page of stored names: 437 (default), 850 or 866"};
const OptionSpec kRecover{"recover", 0, false, "",
                          "skip damaged headers and read on from the next sound one (each volume of a set)"};
// Of the reading commands, which rebuild damaged blocks from the record first.
const OptionSpec kRecoverRead{"recover", 0, false, "",
                              "read damaged blocks as an ARJ-PROTECT record rebuilds them (in memory), then skip "
                              "damaged headers and read on from the next sound one (each volume of a set)"};
const OptionSpec kPassword{"password", 'p', true, "PASSWORD",
                           "password of garbled entries (else a terminal is asked: once, and again only for a "
                           "wrong one; three wrong answers end the command)"};
const OptionSpec kOutput{"output", 'o', true, "OUT", "write the new archive to OUT instead"};
const OptionSpec kChapter{"chapter", 0, true, "N",
                          "of a chapter archive, take chapter N (default: the latest, as arj does)"};
const OptionSpec kExclude{"exclude", 'x', true, "PATTERN", "leave out names PATTERN takes (may be repeated)"};
const OptionSpec kJobs{"jobs", 'j', true, "N",
                       "check N archives side by side (0: one for each core; default 1), the output in the order "
                       "given"};
const OptionSpec kJsonLines{"json-lines", 0, false, "",
                            "print one JSON document a line for each archive, with \"archive\" and \"ok\" (the "
                            "verdict on it)"};
const OptionSpec kVolumeSize{"volume-size", 0, true, "SIZE",
                             "write a volume set (NAME.arj, NAME.a01, ...) of volumes of at most SIZE bytes "
                             "(K, M, G: binary; at least " + LeastVolumeSize() + "), as arj a -v"};
const OptionSpec kTestWritten{"test", 't', false, "",
                              "test every entry of the new archive before it replaces the old one (arj -jt)"};
const OptionSpec kComment{"comment", 0, true, "TEXT",
                          "set the archive comment to TEXT, or to the bytes of FILE for @FILE ('' removes it)"};
const OptionSpec kEntryComment{"entry-comment", 0, true, "NAME=TEXT",
                               "set the comment of the entries stored as NAME ('' after '=' removes it; may be "
                               "repeated)"};
const OptionSpec kGarblePassword{"password", 'p', true, "PASSWORD",
                                 "garble new entries with PASSWORD, as arj -g does (no encryption: it keeps out "
                                 "only a casual reader); of an archive with garbled entries, its password"};
const OptionSpec kGarble{"garble", 'g', false, "",
                         "garble new entries with a password typed on the terminal (twice)"};
const OptionSpec kMethod{"method", 'm', true, "METHOD", "ARJ method 0 (store) to 4 for new files (default 1)"};
const OptionSpec kProtect{"protect", 0, true, "N",
                          "end the archive with an ARJ-PROTECT record of factor N (only 1, the default: arj a "
                          "-hk), from which repair and arj q rebuild up to two damaged 1,024-byte blocks",
                          true};

}  // namespace

const std::vector<OptionSpec>& CommonOptions() {
  static const std::vector<OptionSpec> options = {
      {"plugin", 0, true, "PATH",
       "the plug-in library (default: $ARJHOST_PLUGIN, or libarj_plugin.so beside libarjhost.so or in lib/arjhost)"},
      {"trace", 0, true, "LEVEL",
       "show the plug-in's trace lines up to LEVEL (a number; 400 shows all) on stderr"},
      {"help", 'h', false, "", "show this help"},
  };
  static const std::vector<OptionSpec> with_limits = [] {
    std::vector<OptionSpec> all = options;
    for (const OptionSpec& o : LimitOptions()) all.push_back(o);
    return all;
  }();
  return with_limits;
}

const std::vector<Command>& Commands() {
  static const std::vector<Command> commands = {
      {"plugin-info", "", "show what the plug-in registers and check its manifest",
       {kJson}, RunPluginInfo,
       "Loads the plug-in and prints its ids, instance size and property table, then reads its\n"
       "manifest from the library file and checks it (\"manifest ok\").",
       {"arjhost plugin-info                       # the plug-in arjhost finds by itself",
        "arjhost plugin-info --plugin ./x.so --json"}},
      {"list", "ARCHIVE... [PATTERN...]",
       "list the entries of archives (every volume of each set)",
       {{"technical", 'v', false, "", "every stored field of every entry, one \"Field = value\" line each"},
        kExclude, kJson, kJsonLines, kJobs, kSingleVolume, kCodepage, kRecoverRead},
       RunList,
       "Lists time, attributes (a UNIX mode, or DOS attributes), size, packed size, ratio,\n"
       "method, CRC-32, garbled flag, volume (of a set) and name of every entry, with comments\n"
       "and chapter ranges, then the files, folders and labels counted, the totals and the\n"
       "archive digest. Naming any volume of a set lists the whole set; each archive named is\n"
       "listed in turn (--json: an array of their objects; --json-lines: one line each; --jobs:\n"
       "side by side, the output in the order given). -v shows every field instead:\n"
       "host OS, mode or attributes, times, comment, chapters, flags, header offset and CRC\n"
       "state, and each part's volume, offsets, size and CRC. After the first operand, a file\n"
       "holding an archive, or a name ending in .arj, is another archive; other operands are\n"
       "patterns that choose entries ('*' and '?' within a folder, '**' across folders; a\n"
       "folder takes what is under it; without '/' a pattern also matches the last part of a\n"
       "name).",
       {"arjhost list backup.arj", "arjhost list backup.a01 --single-volume",
        "arjhost list -v backup.arj                # every field, as 7zz l -slt shows them",
        "arjhost list *.arj --json                 # an array: one object per archive",
        "arjhost list *.arj --json-lines --jobs 0  # one line per archive, read on every core",
        "arjhost list damaged.arj --recover --json  # what lies around the damage",
        "arjhost list backup.arj '*.txt' -x 'old/**'  # the .txt files, in any folder but old/"}},
      {"extract", "ARCHIVE [PATTERN...]",
       "extract entries (all, or those the patterns take) under DIR",
       {{"directory", 'C', true, "DIR", "extract under DIR (default: the current folder; made with its parents if missing)"},
        kPassword,
        {"stdout", 'c', false, "", "write the files' bytes to stdout, one after another, and make nothing"},
        {"overwrite", 'o', false, "",
         "replace existing files and links, and set existing folders' modes and times (without -o or -n a "
         "terminal asks)"},
        {"skip-existing", 'n', false, "", "keep existing files and links: their entries are skipped, not failed"},
        {"verbose", 'v', false, "", "name each entry as it is extracted"},
        {"preserve-permissions", 0, false, "",
         "keep stored modes as they are (default: set-user-ID and set-group-ID dropped, umask applied)"},
        {"flat", 0, false, "", "put every file in DIR itself, without the folders of its name (arjhost e)"},
        {"keep-damaged", 0, false, "",
         "keep what comes out of an entry that fails its CRC or stops at damaged data, under its name (the "
         "entry still fails)"},
        kExclude, kChapter, kSingleVolume, kCodepage, kRecoverRead, kJson},
       RunExtract,
       "Extracts every entry, or those the patterns take ('*' and '?' within a folder, '**'\n"
       "across folders; a folder takes what is under it), less what -x takes, checking\n"
       "the CRC-32 of every part. Names never leave DIR: a leading '/', '\\' or drive letter\n"
       "is removed, \"..\" refused, and no link is ever written through. Each file is renamed\n"
       "into place only when whole and checked. Symbolic links whose targets stay inside DIR\n"
       "and hard links are made; devices and FIFOs are skipped. Names made on UNIX are written\n"
       "as stored, others decoded as list shows them. Garbled entries take -p, or ask on a\n"
       "terminal. --flat (arjhost e) makes no folders: each file lands in DIR under the last\n"
       "part of its name.\n"
       "A name that exists is replaced with -o, kept with -n (the entry is skipped, not\n"
       "failed); without either a terminal asks (yes, no, all, none), else the entry fails.\n"
       "Ends with a line such as \"9 files, 2 folders, 1.2 MiB\"; -v names each entry first.\n"
       "-c (as unzip -p, 7zz -so, arj p) writes the chosen files' bytes to stdout in archive\n"
       "order and nothing else there (messages, and with -v the names, go to stderr).\n"
       "--keep-damaged writes what came out of an entry that fails its CRC or whose data stops\n"
       "decoding, for a rescue, and the data of one whose header alone is damaged as\n"
       "NAME.damaged-header; the entry still fails.",
       {"arjhost extract backup.arj -C out", "arjhost extract backup.arj docs/readme.txt -o",
        "arjhost extract backup.arj -n -v           # keep what is there, name the rest",
        "arjhost extract -c backup.arj notes.txt | less",
        "arjhost e backup.arj -C out               # every file into out/ itself",
        "arjhost extract damaged.arj --recover -C rescued",
        "arjhost extract backup.arj 'docs/**.md' -C out  # every .md file under docs/"}},
      {"test", "ARCHIVE... [PATTERN...]",
       "check that every entry of archives extracts with its CRC",
       {kPassword, kExclude, kChapter, kSingleVolume, kCodepage, kRecoverRead, kJson, kJsonLines, kJobs}, RunTest,
       "Extracts every entry (or those the patterns take, less what -x takes) to nowhere and\n"
       "checks its size and CRC-32. A password that opened one garbled entry is tried first\n"
       "for the next; a terminal is asked only when it does not open it, and three wrong\n"
       "answers end the command. Archives are told from patterns as list tells them; each is\n"
       "tested in turn, or --jobs N side by side (the output in the order given; a terminal is\n"
       "then not asked for passwords: give -p).",
       {"arjhost test backup.arj", "arjhost test secret.arj -p PASSWORD --json", "arjhost test backup.arj '*.txt'",
        "arjhost test *.arj --jobs 0 --json-lines   # one line per archive, on every core"}},
      {"delete", "ARCHIVE PATTERN...",
       "rewrite an archive without the entries the patterns take",
       {kOutput, kExclude, kVolumeSize, kTestWritten, kPassword, kComment, kEntryComment, kRecover, kJson}, RunDelete,
       "Rewrites the archive without the entries the patterns take ('*' and '?' within a folder,\n"
       "'**' across folders; a folder takes what is under it), less what -x takes. A pattern\n"
       "that takes nothing is named. The new archive replaces the old one only after it\n"
       "reopens and lists the expected entries. An archive emptied of every entry is removed,\n"
       "as arj d removes it. A damaged archive is refused; with --recover only its sound\n"
       "entries are written.",
       {"arjhost delete backup.arj old.log", "arjhost delete backup.arj a.txt b.txt -o smaller.arj",
        "arjhost delete backup.arj '*.log' -x 'keep/**'"}},
      {"replace", "ARCHIVE NAME=FILE...", "rewrite an archive with new content for entries",
       {kOutput, kVolumeSize, kTestWritten, kGarblePassword, kGarble, kComment, kEntryComment, kRecover, kJson},
       RunReplace,
       "Rewrites the archive with the content of FILE for the entries stored as NAME, each\n"
       "re-encoded with its own method and keeping its comment. Only file entries take a\n"
       "file's content: a folder, link or label entry is refused.",
       {"arjhost replace backup.arj notes.txt=./notes-new.txt"}},
      {"add", "ARCHIVE [FILE[=STORED_NAME]...]",
       "add files and folders to an archive (made when missing), replacing entries of their names",
       {kOutput, kMethod, kExclude,
        {"update", 'u', false, "", "replace an entry only when its file is newer (arj u)"},
        {"new-chapter", 0, false, "",
         "add a chapter (arj ac): unchanged files go on into it, changed and new ones are new entries of it"},
        {"freshen", 'f', false, "", "only replace entries whose file is newer; add no new ones (arj f)"},
        {"move", 0, false, "",
         "remove each file stored once the new archive is written, on disk and tested, unless it changed "
         "meanwhile (arj m)"},
        kVolumeSize, kTestWritten, kProtect, kGarblePassword, kGarble, kComment, kEntryComment, kRecover, kJson},
       RunAdd,
       "Rewrites the archive with the files appended, each stored under its relative path or\n"
       "under STORED_NAME, with its own mode and time. Absolute paths, \"..\", drive letters,\n"
       "backslashes and control characters are refused. As arj a and 7zz a do, it creates\n"
       "the archive when it is not there and replaces an entry of the same name (with -u only\n"
       "when the file is newer, as arj u). A folder is stored with everything under it: empty\n"
       "folders and folder times kept, links, FIFOs and devices stored as links (arj a -a1),\n"
       "never followed; -x leaves out what a pattern takes. New files take method 1 unless\n"
       "-m. A name that would lie under an entry that is not a folder is refused.",
       {"arjhost add backup.arj report.pdf", "arjhost add backup.arj /tmp/x.log=logs/x.log -m 4",
        "arjhost a new.arj notes.txt                # made when missing",
        "arjhost add backup.arj project -x '*.o'    # a folder, less its object files",
        "arjhost add -u backup.arj project          # only what is newer",
        "arjhost add --new-chapter backup.arj project   # a chapter, as arj ac"}},
      {"create", "NEW.arj FILE...",
       "write a new archive holding the files and folders",
       {kOutput, kMethod, kExclude, kVolumeSize, kTestWritten, kProtect, kGarblePassword, kGarble, kComment,
        kEntryComment, kJson},
       RunCreate,
       "Writes a new archive holding the files (method 1 unless -m). The archive must not exist.\n"
       "Folders are stored as add stores them. --protect ends it with an ARJ-PROTECT record\n"
       "(4,102 bytes, as arj a -hk writes it; for archives of up to 494 KiB), from which\n"
       "arjhost repair, extract --recover and arj q rebuild up to two damaged blocks.",
       {"arjhost create new.arj a.txt b.txt", "arjhost create stored.arj data.bin -m 0 --json",
        "arjhost create site.arj public -x '**.tmp'",
        "arjhost create backup.arj photos --volume-size 700M   # backup.arj, backup.a01, ...",
        "arjhost create notes.arj notes --protect   # repairable: arjhost repair, arj q"}},
      {"repair", "ARCHIVE",
       "rebuild a damaged archive from its ARJ-PROTECT record into a new file (arj q)",
       {{"output", 'o', true, "OUT", "write the repaired archive to OUT (default: NAME.repaired.arj beside it)"}},
       RunRepair,
       "Checks every 1,024-byte block of an archive made with arj a -hk against the check its\n"
       "ARJ-PROTECT record keeps, and rebuilds the one damaged block from the record's parity.\n"
       "The repaired archive is written to a new file (NAME.repaired.arj, or OUT), never over\n"
       "the archive; nothing is written when every block checks (exit code 0), when more\n"
       "than one block is damaged or the record is missing or damaged (exit code 1). Records\n"
       "of arj -hk1 to -hk9, and those arj makes larger for archives over about 490 KiB, are\n"
       "not read (exit code 1).",
       {"arjhost repair damaged.arj                 # damaged.repaired.arj beside it",
        "arjhost repair damaged.arj -o fixed.arj && arjhost extract fixed.arj"}},
      {"mount", "ARCHIVE MOUNTPOINT",
       "show an archive (a volume set whole) as a read-only folder, until unmounted",
       {kPassword,
        {"password-file", 0, true, "FILE", "the password of garbled entries: the first line of FILE"},
        kChapter, kCodepage, kRecoverRead,
        {"cache", 0, true, "SIZE", "memory for decoded entries (default 256M; K, M or G allowed)"},
        {"foreground", 'f', false, "", "stay in the foreground, messages on stderr, until unmounted or interrupted"}},
       RunMount,
       "Mounts the archive on MOUNTPOINT (an empty folder) through FUSE, read-only, and returns\n"
       "once the mount is ready; it serves in the background until `fusermount3 -u MOUNTPOINT`\n"
       "(-f: in the foreground, until that or Ctrl-C). The tree is what extract would write:\n"
       "the same names, folders, links, modes and times, of the chapter extract takes. Naming\n"
       "any volume of a set mounts the whole set. Each entry is decoded once, when first read,\n"
       "and kept in a cache of --cache bytes (the least recently read go first); an entry\n"
       "larger than the cache is decoded ahead of its readers into an unnamed temporary file\n"
       "while it is open. An entry that cannot be read (damaged, a wrong password) reads as an\n"
       "I/O error, said once on stderr (in the background: the system log); the others read\n"
       "normally. Garbled entries take -p or --password-file, or a terminal asks once.",
       {"arjhost mount backup.arj /mnt/backup    # then: fusermount3 -u /mnt/backup",
        "arjhost mount backup.a02 /mnt/set -f     # the whole set, in the foreground",
        "arjhost mount secret.arj /mnt/s --password-file key.txt --cache 1G"}},
  };
  return commands;
}

const std::vector<Alias>& Aliases() {
  static const std::vector<Alias> aliases = {
      {"l", "list", {}},
      {"t", "test", {}},
      {"x", "extract", {}},
      {"e", "extract", {"--flat"}},
      {"a", "add", {}},
      {"d", "delete", {}},
  };
  return aliases;
}

const Alias* FindAlias(const std::string& name) {
  for (const Alias& a : Aliases())
    if (a.name == name) return &a;
  return nullptr;
}

std::string AliasesOf(const std::string& command) {
  std::string names;
  for (const Alias& a : Aliases()) {
    if (a.command != command) continue;
    if (!names.empty()) names += ", ";
    names += a.name;
    for (const std::string& o : a.options) names += " (" + o + ")";
  }
  return names;
}

const Command* FindCommand(const std::string& name) {
  for (const Command& c : Commands())
    if (c.name == name) return &c;
  return nullptr;
}

}  // namespace cli
