// The pictures the checker saves for a person (PNG): the first bad frame, the last frame, where
// the boxes landed, the frames around the first bad one and the renderer's last presented one.
#pragma once
#include <string>
#include <vector>

#include "record.h"

// The paths written, each empty when it was not.
struct Pictures {
    std::string firstBad, last, positions, presentedLast;
    std::vector<std::string> around;
};

// Writes a picture made as text (the accounting's timeline, an SVG) as dir/name; its path, or
// an empty string when it could not be written.
std::string SaveTextPicture(const std::string& dir, const std::string& name,
                            const std::string& text);

// Writes the pictures of the places into `dir` (made when missing), replacing those of an
// earlier run, and prints the line "pictures: PATH..." that names them.
Pictures SavePictures(const PlaceRecord& shown, const PlaceRecord* presented,
                      const std::string& dir);
