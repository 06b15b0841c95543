// Prints the secret stored under the key named on the command line, read the
// way the studio reads it. Exit status 1 when there is none.
#include <cstdio>
#include <string>

#include "util/secret_store.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: read_secret <key>\n");
        return 2;
    }
    const std::string value = loadSecret(argv[1]);
    std::fwrite(value.data(), 1, value.size(), stdout);
    return value.empty() ? 1 : 0;
}
