// The process entry: hands the argument vector to RunTool and exits with its result.
#include "tool/run_tool.h"

int main(int argc, char** argv) {
  return corvinade::RunTool(argc, argv);
}
