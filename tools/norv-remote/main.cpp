// norv-remote: sends command lines to a running copy of the program (or to one it starts
// for itself with -Embedding) and prints the replies; see --help.

#include <iostream>
#include <string>
#include <vector>

#include "shell/remote/remote_client.h"

int main(int argc, char** argv) {
  const std::vector<std::string> args(argv + 1, argv + argc);
  return norv::RunRemoteClient(args, std::cin, std::cout, std::cerr);
}
