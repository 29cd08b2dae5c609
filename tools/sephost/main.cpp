#include <iostream>

#include "commands.h"

int main(int argc, char** argv) {
    return sephost_main(argc, argv, std::cout, std::cerr);
}
