// The pictures built into the program: every picture the buttons, dialogs and lists name is there, as PNG.
#include "res/pictures.h"

#include <gtest/gtest.h>

#include "app/button_look.h"

namespace {

bool IsPng(std::span<const unsigned char> bytes) {
    static const unsigned char kSignature[] = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    return bytes.size() > sizeof kSignature && std::equal(std::begin(kSignature), std::end(kSignature), bytes.begin());
}

TEST(Pictures, EveryNamedPictureIsAPng) {
    std::vector<int> wanted = app::AllButtonPictureIds();
    // Banner, icon, backdrops, image strips and the three message signs.
    wanted.insert(wanted.end(), {128, 132, 230, 231, 232, 233, 234, 241, 242, 243, 245, 250, 253});
    for (int id : wanted) {
        SCOPED_TRACE(id);
        EXPECT_TRUE(IsPng(res::PictureBytes(id)));
    }
    EXPECT_EQ(res::PictureIds().size(), wanted.size()) << "no picture without a user";
    EXPECT_TRUE(res::PictureBytes(999).empty());
}

}  // namespace
