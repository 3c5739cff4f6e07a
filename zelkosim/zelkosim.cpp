// zelkosim: runs a touch scenario on the simulated machine and prints what the
// drivers deliver. See scenario.h for the engine and README.md for the script.
#include <iostream>
#include <string>
#include <vector>

#include "scenario.h"

int main(int argc, char** argv)
{
    std::vector<std::string> args(argv + 1, argv + argc);
    return zelkosim::Main(args, std::cin, std::cout, std::cerr);
}
