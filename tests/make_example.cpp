// Writes the example that the README runs: a small dump and an executable that share a
// time stamp but not an image size. A test checks that example/ holds exactly these bytes.
//
//   corvinade_make_example DIR   writes DIR/crash.dmp and DIR/app.exe
#include <cstdio>
#include <string>

#include "tests/builders.h"
#include "tests/test_files.h"

int main(int argc, char** argv) {
  using namespace corvinade::test;
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s DIR\n", argv[0]);
    return 2;
  }
  const std::string dir = argv[1];
  MinidumpBuilder dump;
  dump.AddStream(3, Bytes(4, 0))  // an empty ThreadList before the module list
      .AddModuleList(
          {TestModule{0x5AB38077, 0x8000, 0, u"C:\\app\\app.exe"},  // stale size
           TestModule{0x59B0D8F3, 0x183000, 0x18D92C, u"C:\\Windows\\System32\\ntdll.dll"},
           TestModule{0x590285E9, 0xE0000, 0x9FACA, u"C:\\Windows\\System32\\kernel32.dll"}});
  WriteFile(dir + "/crash.dmp", dump.Build());
  WriteFile(dir + "/app.exe", PeBuilder().Identity(0x5AB38077, 0x9000, 0x0001D0C5).Build());
  std::printf("app.exe's module record is at offset %llu\n",
              static_cast<unsigned long long>(dump.RecordOffset(0, 0)));
  return 0;
}
