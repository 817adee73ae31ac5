// The program's pictures, built into it as PNG bytes and found by their resource number.
#pragma once

#include <span>
#include <vector>

namespace res {

// The PNG bytes of a picture, or an empty span for a number without a picture.
std::span<const unsigned char> PictureBytes(int id);

// Every resource number that has a picture, ascending.
std::vector<int> PictureIds();

}  // namespace res
