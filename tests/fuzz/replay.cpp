// Runs a fuzz target's entry function on each file named, or on every file
// of each folder named: the seed corpus as an ordinary test, without
// libFuzzer.
#include <dirent.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "fuzz.h"

static int run_file(const std::string &path)
{
    std::ifstream in(path, std::ios::binary);
    std::vector<char> data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    // An exactly sized heap copy, as libFuzzer passes it: a read past the
    // end shows under AddressSanitizer.
    uint8_t *copy = static_cast<uint8_t *>(std::malloc(data.size() + !data.size()));
    std::copy(data.begin(), data.end(), copy);
    LLVMFuzzerTestOneInput(copy, data.size());
    std::free(copy);
    return 1;
}

int main(int argc, char **argv)
{
    int runs = 0;
    for (int i = 1; i < argc; ++i) {
        DIR *dir = opendir(argv[i]);
        if (!dir) {
            runs += run_file(argv[i]);
            continue;
        }
        while (dirent *e = readdir(dir))
            if (e->d_name[0] != '.')
                runs += run_file(std::string(argv[i]) + "/" + e->d_name);
        closedir(dir);
    }
    std::printf("%d inputs\n", runs);
    return runs > 0 ? 0 : 1;
}
