#include "x_grab.h"

#include <windows.h>

#include <cstdio>

#include "x_input.h"

std::string WinePath(std::string unixPath) {
    for (char& c : unixPath)
        if (c == '/')
            c = '\\';
    return "Z:" + unixPath;
}

std::vector<XFrame> XGrabWindowsOfSize(int width, int height) {
    std::vector<XFrame> frames;
    std::string file = "/tmp/onebox_grab_" + std::to_string(GetCurrentProcessId()) + ".ppm";
    std::string size = std::to_string(width) + "x" + std::to_string(height);
    // xwininfo lists "0xID (name): (...) WxH+X+Y +X+Y"; import writes binary PPMs one after
    // another. No dollar sign in the command: the runner's shell would expand it first.
    std::string command = "rm -f " + file +
                          "; xwininfo -root -tree | sed -n 's/^ *\\(0x[0-9a-f]*\\) .* " + size +
                          "+.*/\\1/p' | xargs -r -I{} import -window {} -depth 8 ppm:- >> " + file;
    if (XRun(command) != 0)
        return frames;
    std::string winePath = WinePath(file);
    FILE* in = std::fopen(winePath.c_str(), "rb");
    if (!in)
        return frames;
    XFrame frame;
    int maximum;
    while (std::fscanf(in, "P6 %d %d %d", &frame.width, &frame.height, &maximum) == 3 &&
           std::fgetc(in) != EOF && maximum == 255) {
        std::vector<unsigned char> rgb(static_cast<size_t>(frame.width) * frame.height * 3);
        if (std::fread(rgb.data(), 1, rgb.size(), in) != rgb.size())
            break;
        frame.pixels.resize(rgb.size() / 3);
        for (size_t i = 0; i < frame.pixels.size(); i++)
            frame.pixels[i] = rgb[3 * i] << 16 | rgb[3 * i + 1] << 8 | rgb[3 * i + 2];
        frames.push_back(frame);
    }
    std::fclose(in);
    DeleteFileA(winePath.c_str());
    return frames;
}
