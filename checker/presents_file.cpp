#include "presents_file.h"

#include <fstream>
#include <sstream>

#include "clock.h"

bool ReadPresentsFile(const std::string& path, double until, double patience,
                      std::vector<AccountPresent>* presents, std::string* error) {
    double deadline = Now() + patience;
    for (;; SleepUntil(Now() + 0.05)) {
        std::ifstream file(path, std::ios::binary);
        if (!file) {
            *error = "cannot be read";
        } else {
            std::stringstream bytes;
            bytes << file.rdbuf();
            presents->clear();
            if (!ReadPresentLog(bytes.str(), presents, error))
                return false;
            if (!presents->empty() && presents->back().time >= until)
                return true;
        }
        // The program may have stopped presenting (or never started): what there is, then.
        if (Now() >= deadline)
            return file.good() || !presents->empty();
    }
}
