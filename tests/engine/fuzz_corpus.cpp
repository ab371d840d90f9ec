// Runs a fuzz target's entry point once over every file of the given folders (its kept
// corpus and seeds) in an ordinary build: what the fuzzer once found stays tested, and the
// parsers' rare paths stay covered without hand-written cases.
#include <dirent.h>
#include <signal.h>
#include <stdint.h>
#include <stdio.h>

#include <algorithm>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size);

static std::string current;
static void on_abort(int) { fprintf(stderr, "the target failed on %s\n", current.c_str()); }

int main(int argc, char** argv) {
    signal(SIGABRT, on_abort);
    int runs = 0;
    for (int i = 1; i < argc; i++) {
        std::vector<std::string> names;
        if (DIR* d = opendir(argv[i])) {
            while (dirent* e = readdir(d))
                if (e->d_name[0] != '.') names.push_back(std::string(argv[i]) + "/" + e->d_name);
            closedir(d);
        }
        std::sort(names.begin(), names.end());
        for (const std::string& name : names) {
            current = name;
            std::ifstream f(name, std::ios::binary);
            std::string bytes((std::istreambuf_iterator<char>(f)),
                              std::istreambuf_iterator<char>());
            LLVMFuzzerTestOneInput((const uint8_t*)bytes.data(), bytes.size());
            runs++;
        }
    }
    printf("%d inputs\n", runs);
    return runs ? 0 : 1;
}
