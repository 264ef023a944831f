// The process entry: hands the argument vector to RunTool and exits with its result.
// Windows passes the arguments as wide strings, exactly as typed; POSIX passes bytes.
#include "tool/run_tool.h"

#ifdef _WIN32
int wmain(int argc, wchar_t** argv) {
  return corvinade::RunTool(argc, argv);
}
#else
int main(int argc, char** argv) {
  return corvinade::RunTool(argc, argv);
}
#endif
