// Build-time tool: encrypts one readable data file (XML) into the .enc form
// the program reads. Usage: tavo_encrypt_data <input> <output>
#include <cstdio>
#include <exception>

#include "tools/enc_writer.h"

int main(int argc, char** argv) {
    if (argc != 3) {
        std::fprintf(stderr, "usage: tavo_encrypt_data <input> <output>\n");
        return 2;
    }
    try {
        tavo::tools::encryptDataFile(argv[1], argv[2]);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "tavo_encrypt_data: %s\n", e.what());
        return 1;
    }
    return 0;
}
