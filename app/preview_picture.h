// What a picture file declares before anything is decoded: its format by its first bytes and the pixels the
// decoder would have to hold. The preview decodes only the formats read here, and only when the size is within
// the limit, so a small file that declares an enormous picture is refused before any memory is taken for it.
#pragma once

#include <cstdint>
#include <filesystem>
#include <istream>
#include <string_view>

namespace app {

enum class PictureFormat { Unknown, Png, Jpeg, Gif, Bmp, Tiff, Pcx, Pnm, Tga };

struct PictureHeader {
    PictureFormat format = PictureFormat::Unknown;
    std::uint32_t width = 0;
    std::uint32_t height = 0;
    // Every pixel the decoder holds: width × height, or for a GIF the sum over its frames (the decoder keeps
    // them all), never less than the logical screen.
    std::uint64_t pixels = 0;
};

// Reads the header from `in` (positioned at the file's start). `extension` (lower case) is used only for
// Targa files, which have no signature. Format Unknown when nothing known is found or the header is cut short.
PictureHeader ProbePicture(std::istream& in, std::string_view extension);

// About 100 megapixels: the largest picture the preview decodes.
constexpr std::uint64_t kPreviewPixelLimit = 100'000'000;
// The largest picture file the preview takes from the data file.
constexpr std::uint64_t kPreviewPictureFileLimit = 64ull * 1024 * 1024;

enum class PictureCheck { Fine, UnknownFormat, TooManyPixels, FileTooLarge, Unreadable };

struct PictureProbe {
    PictureCheck check = PictureCheck::Unreadable;
    PictureHeader header;
};
// Probes the file and applies both limits.
PictureProbe CheckPictureFile(const std::filesystem::path& file, std::string_view extension);

}  // namespace app
