#include "pictures.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>

#include "png_out.h"

namespace {

// Like mkdir -p: every missing folder on the way.
void MakeFolders(const std::string& dir) {
    for (size_t slash = dir.find('/', 1);; slash = dir.find('/', slash + 1)) {
        mkdir(dir.substr(0, slash).c_str(), 0777);
        if (slash == std::string::npos)
            break;
    }
}

std::string AroundName(size_t i) {
    char name[48];
    std::snprintf(name, sizeof name, "around-first-bad-%02u.png", static_cast<unsigned>(i));
    return name;
}

} // namespace

std::string SaveTextPicture(const std::string& dir, const std::string& name,
                            const std::string& text) {
    MakeFolders(dir);
    std::string path = dir + "/" + name;
    FILE* file = std::fopen(path.c_str(), "w");
    if (!file)
        return "";
    bool ok = std::fwrite(text.data(), 1, text.size(), file) == text.size();
    return std::fclose(file) == 0 && ok ? path : "";
}

Pictures SavePictures(const PlaceRecord& shown, const PlaceRecord* presented,
                      const std::string& dir) {
    MakeFolders(dir);
    Pictures saved;
    std::vector<std::string> written;
    auto write = [&](const std::string& name, const std::vector<uint32_t>& pixels) {
        std::string path = dir + "/" + name;
        if (pixels.empty() || !PngWrite(path, pixels, PICTURE_WIDTH, PICTURE_HEIGHT))
            return std::string();
        written.push_back(path);
        return path;
    };
    // Pictures of an earlier run must not pass for this run's.
    unlink((dir + "/first-bad-frame.png").c_str());
    for (size_t i = 0; i < 2 * AROUND + 1; ++i)
        unlink((dir + "/" + AroundName(i)).c_str());
    saved.firstBad = write("first-bad-frame.png", shown.FirstBad());
    saved.last = write("last-frame.png", FrameCopy(shown.Last()));
    saved.positions = write("positions.png", shown.Positions().Render());
    if (presented)
        saved.presentedLast = write("presented-last-frame.png", FrameCopy(presented->Last()));
    const auto& around = shown.AroundFirstBad();
    for (size_t i = 0; i < around.size(); ++i) {
        std::string path = dir + "/" + AroundName(i);
        if (PngWrite(path, around[i], PICTURE_WIDTH, PICTURE_HEIGHT))
            saved.around.push_back(path);
    }
    std::string line = "pictures:";
    for (const std::string& path : written)
        line += " " + path;
    if (written.empty())
        line += " none could be written into " + dir;
    std::printf("%s\n", line.c_str());
    return saved;
}
