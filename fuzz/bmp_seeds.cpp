// Writes the fuzz target's seed corpus: one small valid file of each kind the decoder reads.
//   bmp_seeds OUTDIR
#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<uint8_t>;

void Put(Bytes& b, size_t at, uint32_t v, int n) {
    for (int i = 0; i < n; i++)
        b[at + i] = uint8_t(v >> (8 * i));
}

Bytes Bmp(int32_t width, int32_t height, uint16_t bits, uint32_t compression, uint32_t colours,
          const Bytes& pixels, uint32_t infoSize = 40) {
    Bytes b(14 + infoSize + 4 * colours);
    b[0] = 'B';
    b[1] = 'M';
    Put(b, 2, uint32_t(b.size() + pixels.size()), 4);
    Put(b, 10, uint32_t(b.size()), 4);
    Put(b, 14, infoSize, 4);
    Put(b, 18, uint32_t(width), 4);
    Put(b, 22, uint32_t(height), 4);
    Put(b, 26, 1, 2);
    Put(b, 28, bits, 2);
    Put(b, 30, compression, 4);
    Put(b, 46, colours, 4);
    for (uint32_t i = 0; i < colours; i++)
        Put(b, 14 + infoSize + 4 * i, i * 0x00102030u + 0x00050A0Fu, 4);
    b.insert(b.end(), pixels.begin(), pixels.end());
    return b;
}

Bytes Ramp(size_t n) {
    Bytes b(n);
    for (size_t i = 0; i < n; i++)
        b[i] = uint8_t(i * 37 + 11);
    return b;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bmp_seeds OUTDIR\n");
        return 2;
    }
    const Bytes rle8 = {3, 5, 0, 3, 1, 2, 3, 0, 0, 2, 1, 1, 2, 4, 0, 0, 9, 7, 0, 0, 0, 1};
    const Bytes rle4 = {4, 0x12, 0, 0, 4, 0x34, 0, 1};
    const struct {
        const char* name;
        Bytes file;
    } seeds[] = {
        {"bits1", Bmp(9, 3, 1, 0, 2, Ramp(12))},
        {"bits4", Bmp(5, 3, 4, 0, 16, Ramp(12))},
        {"bits8", Bmp(3, 3, 8, 0, 8, Bytes{0, 1, 2, 0, 3, 4, 5, 0, 6, 7, 0, 0})},
        {"rle8", Bmp(8, 4, 8, 1, 16, rle8)},
        {"rle4", Bmp(4, 2, 4, 2, 16, rle4)},
        {"bits16", Bmp(3, 2, 16, 0, 0, Ramp(16))},
        {"bits24", Bmp(3, 3, 24, 0, 0, Ramp(36))},
        {"bits24_v5", Bmp(2, 2, 24, 0, 0, Ramp(16), 124)},
        {"bits24_topdown", Bmp(2, -2, 24, 0, 0, Ramp(16))},
        {"bits32", Bmp(2, 2, 32, 3, 0, Ramp(16))},
    };
    for (const auto& s : seeds) {
        const std::string path = std::string(argv[1]) + "/" + s.name + ".bmp";
        FILE* f = std::fopen(path.c_str(), "wb");
        if (!f || std::fwrite(s.file.data(), 1, s.file.size(), f) != s.file.size()) {
            std::perror(path.c_str());
            return 1;
        }
        std::fclose(f);
    }
    return 0;
}
