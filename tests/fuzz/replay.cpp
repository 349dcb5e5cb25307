// Runs a fuzz target's entry function on every file of the folder named:
// the seed corpus as an ordinary test, without libFuzzer.
#include <dirent.h>

#include <cstring>
#include <fstream>
#include <iterator>
#include <string>

#include "fuzz.h"

int main(int argc, char **argv)
{
    int runs = 0;
    DIR *dir = argc == 2 ? opendir(argv[1]) : nullptr;
    for (dirent *e; dir && (e = readdir(dir)) != nullptr;) {
        if (e->d_name[0] == '.')
            continue;
        std::ifstream in(std::string(argv[1]) + "/" + e->d_name, std::ios::binary);
        std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
        // An exactly sized heap copy, as libFuzzer passes it: a read past the
        // end shows under AddressSanitizer.
        uint8_t *copy = static_cast<uint8_t *>(std::malloc(data.size() + data.empty()));
        std::memcpy(copy, data.data(), data.size());
        LLVMFuzzerTestOneInput(copy, data.size());
        std::free(copy);
        ++runs;
    }
    if (dir)
        closedir(dir);
    std::printf("%d inputs\n", runs);
    return runs > 0 ? 0 : 1;
}
