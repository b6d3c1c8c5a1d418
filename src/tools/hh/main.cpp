// hh: the help viewer's unpack switch, "hh -decompile DEST FILE".
#include "chmunpack.h"
#include "interruption.h"

#include <cstring>
#include <iostream>

int main(int argc, char **argv) {
    zelbrin::interruption::install();
    if (argc != 4 || std::strcmp(argv[1], "-decompile") != 0) {
        std::cerr << "usage: hh -decompile DEST FILE\n"
                     "  unpacks the compiled help file FILE into the folder DEST\n";
        return 2;
    }
    return zelbrin::hh::unpackChm(argv[3], argv[2], std::cerr);
}
