// celconv/main.cpp -- the celconv program: the console driver over standard input and
// output, with the error log in the current directory.
#include <iostream>
#include <string>
#include <vector>

#include "celconv/console.h"

int main(int argc, char** argv) {
    const std::vector<std::string> args(argv, argv + argc);
    return celconv::runCelconv(args, std::cin, std::cout);
}
