#include "tool/run_tool.h"

#include "imagefiles/dump_modules.h"
#include "imagefiles/pe_identity.h"
#include "tool/console.h"

namespace corvinade {

namespace {

#define TEXT_ CORVINADE_NATIVE_TEXT

// Users' scripts match on these texts: keep them exactly, spelling included. "%s" stands
// for one path. Only the banner and the usage line end with a line break.
constexpr const NativeChar* kBanner =
    TEXT_("Corvinade v 1.0  Copyright (c) 2026 The Corvinade developers\n\n");
constexpr const NativeChar* kUsage = TEXT_("Usage: %s dmp_file exe_file\n");
constexpr const NativeChar* kNoDump = TEXT_("Crash dump file does not specified.");
constexpr const NativeChar* kNoExecutable = TEXT_("Executable file does not specified.");
constexpr const NativeChar* kCannotOpen = TEXT_("Can not open \"%s\".");
constexpr const NativeChar* kBadFormat = TEXT_("File \"%s\" has an incorrect format.");
constexpr const NativeChar* kModuleNotFound = TEXT_("Module \"%s\" not found in the DMP file.");
constexpr const NativeChar* kCannotWrite = TEXT_("Can not write \"%s\".");
constexpr const NativeChar* kUpdated = TEXT_("DMP file sucessfully updated.");
// Stands in for the program's name when argument 0 is missing or empty, as it is when
// another program starts this one with an empty argument vector.
constexpr const NativeChar* kProgramName = TEXT_("corvinade");

#undef TEXT_

// `text` with its "%s" replaced by `argument`. Done by hand, not by printf, so that a "%"
// in a path is printed as it is.
NativeString Substitute(const NativeChar* text, const NativeChar* argument) {
  NativeString message(text);
  const NativeString placeholder = {NativeChar{'%'}, NativeChar{'s'}};
  const auto at = message.find(placeholder);
  if (at != NativeString::npos) {
    message.replace(at, placeholder.size(), argument);
  }
  return message;
}

// The message for a file operation's result. `path` is the file that the operation
// worked on; a missing module is named by the executable's file name.
NativeString OutcomeMessage(FileStatus status, const NativeChar* path,
                            const NativeChar* executablePath) {
  switch (status) {
    case FileStatus::Ok:
      return kUpdated;
    case FileStatus::CannotOpen:
      return Substitute(kCannotOpen, path);
    case FileStatus::BadFormat:
      return Substitute(kBadFormat, path);
    case FileStatus::ModuleNotFound:
      return Substitute(kModuleNotFound, FindFileName(executablePath));
    case FileStatus::CannotWrite:
      return Substitute(kCannotWrite, path);
  }
  return Substitute(kBadFormat, path);
}

int RunToolUnguarded(int argc, const NativeChar* const* argv) {
  WriteToStandardOutput(kBanner);
  if (argc < 3) {
    const NativeChar* name = argc > 0 && argv[0] != nullptr ? FindFileName(argv[0]) : kProgramName;
    WriteToStandardOutput(Substitute(kUsage, name[0] != 0 ? name : kProgramName));
    return 1;
  }
  const NativeChar* dumpPath = argv[1];
  const NativeChar* executablePath = argv[2];
  if (dumpPath[0] == 0) {
    WriteToStandardOutput(kNoDump);
    return 1;
  }
  if (executablePath[0] == 0) {
    WriteToStandardOutput(kNoExecutable);
    return 1;
  }

  ImageIdentity identity;
  const FileStatus read = ReadImageIdentity(executablePath, identity);
  if (read != FileStatus::Ok) {
    WriteToStandardOutput(OutcomeMessage(read, executablePath, executablePath));
    return 1;
  }
  const FileStatus updated = UpdateDumpModules(dumpPath, identity);
  WriteToStandardOutput(OutcomeMessage(updated, dumpPath, executablePath));
  return updated == FileStatus::Ok ? 0 : 1;
}

}  // namespace

int RunTool(int argc, const NativeChar* const* argv) {
  // Building a message allocates; without memory for it there is nothing left to say.
  try {
    return RunToolUnguarded(argc, argv);
  } catch (...) {
    return 1;
  }
}

}  // namespace corvinade
