#include "options.h"

#include <cmath>
#include <cstdio>
#include <cstdlib>

#include "app/title.h"

namespace {

// A number of the option's value; false when it is none. Bounded so that every count fits an
// int.
bool Number(const char* text, double& number) {
    char* end = nullptr;
    number = std::strtod(text, &end);
    return end != text && *end == '\0' && std::isfinite(number) && number >= 0 && number <= 1e9;
}

} // namespace

void PrintUsage() {
    std::fprintf(stderr,
                 "usage: onebox-check [--display D] [--frames N | --seconds S] [--rate HZ] "
                 "[--quiet MS]\n"
                 "                    [--min-distinct N] [--title TEXT] [--wait S] [--follow] "
                 "[--save DIR]\n"
                 "                    [--json FILE] [--until-closed] [--presents FILE]\n"
                 "       onebox-check [--display D] [--title TEXT] [--wait S] --where\n");
}

std::string ParseOptions(int argc, char** argv, Options& o) {
    o.title = PROGRAM_TITLE;
    for (int i = 1; i < argc; ++i) {
        std::string a = argv[i];
        if (a == "--follow" || a == "--until-closed") {
            // Until it closes: a person may move the window meanwhile.
            o.follow = true;
            o.untilClosed = o.untilClosed || a == "--until-closed";
            continue;
        }
        if (a == "--where") {
            o.where = true;
            continue;
        }
        bool text = a == "--display" || a == "--title" || a == "--save" || a == "--json" ||
                    a == "--presents";
        bool numeric = a == "--frames" || a == "--seconds" || a == "--rate" || a == "--quiet" ||
                       a == "--min-distinct" || a == "--wait";
        if (!text && !numeric)
            return "unknown option " + a;
        if (i + 1 >= argc)
            return a + " needs a value";
        const char* v = argv[++i];
        double n = 0;
        if (numeric && !Number(v, n))
            return a + " " + v + ": not a number from 0 to 1e9";
        if (a == "--display")
            o.display = v;
        else if (a == "--title")
            o.title = v;
        else if (a == "--save")
            o.save = v;
        else if (a == "--json")
            o.json = v;
        else if (a == "--presents")
            o.presents = v;
        else if (a == "--frames" && n >= 1)
            o.frames = static_cast<int>(n), o.seconds = 0;
        else if (a == "--seconds" && n > 0)
            o.seconds = n;
        else if (a == "--rate" && n > 0)
            o.rate = n;
        else if (a == "--quiet" && n <= 1000)
            o.quiet = n / 1000;
        else if (a == "--min-distinct")
            o.minDistinct = static_cast<int>(n);
        else if (a == "--wait")
            o.wait = n;
        else if (a == "--quiet")
            return a + " " + v + ": more than 1000 ms";
        else
            return a + " " + v + ": must be more than 0";
    }
    return "";
}
