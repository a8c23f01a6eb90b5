// Writes pictures for a person to look at.
#pragma once
#include <cstdint>
#include <string>
#include <vector>

// pixels: width * height values 0x??RRGGBB, rows top to bottom. Returns false on any failure.
bool PngWrite(const std::string& path, const std::vector<uint32_t>& pixels, int width, int height);
