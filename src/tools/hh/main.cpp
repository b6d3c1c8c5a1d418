// hh: the help viewer's unpack switch, "hh -decompile DEST FILE", and "hh -dump FILE",
// which prints every structure of a help file.
#include "chmdump.h"
#include "chmunpack.h"
#include "interruption.h"

#include <cstring>
#include <iostream>

int main(int argc, char **argv) {
    zelbrin::interruption::install();
    if (argc == 3 && std::strcmp(argv[1], "-dump") == 0)
        return zelbrin::hh::dumpChmFile(argv[2], std::cout, std::cerr);
    if (argc != 4 || std::strcmp(argv[1], "-decompile") != 0) {
        std::cerr << "usage: hh -decompile DEST FILE\n"
                     "  unpacks the compiled help file FILE into the folder DEST\n"
                     "       hh -dump FILE\n"
                     "  prints every structure of the compiled help file FILE as text\n";
        return 2;
    }
    return zelbrin::hh::unpackChm(argv[3], argv[2], std::cerr);
}
