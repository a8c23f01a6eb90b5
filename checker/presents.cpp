#include "presents.h"

#include <cstdio>
#include <fstream>
#include <sstream>

#include "accounting_out.h"
#include "clock.h"
#include "pictures.h"

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

bool AccountPresents(const Options& o, const std::vector<AccountPicture>& pictures, double begin,
                     double end, Accounting* accounting) {
    if (o.presents.empty())
        return false;
    std::vector<AccountPresent> presents;
    std::string error;
    if (!ReadPresentsFile(o.presents, end, 1.0, &presents, &error)) {
        std::fprintf(stderr, "onebox-check: the presents' file %s: %s\n", o.presents.c_str(),
                     error.c_str());
        return false;
    }
    *accounting = Account(presents, pictures, begin, end);
    return true;
}

std::string WriteAccounting(const Options& o, const Accounting& a,
                            const std::vector<AccountPicture>& pictures,
                            const std::vector<bool>& bad, std::string* timeline) {
    std::printf("%s\n", AccountingLine(a).c_str());
    // Which frames the first bad or out-of-order picture was made of, for whoever mends the
    // layer.
    for (size_t i = 0; i < a.pictures.size(); ++i) {
        bool wrong = i < bad.size() && bad[i];
        if (wrong || a.pictures[i].outOfOrder) {
            std::printf("first %s picture: %s\n", wrong ? "bad" : "out-of-order",
                        a.pictures[i].text.c_str());
            break;
        }
    }
    if (!o.save.empty())
        *timeline =
            SaveTextPicture(o.save, "timeline.svg", AccountingTimelineSvg(a, pictures, bad));
    return AccountingJson(a);
}
