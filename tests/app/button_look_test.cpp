// Colour-button gradients per state and the picture-button tables.
#include "app/button_look.h"

#include <gtest/gtest.h>

#include <algorithm>

#include "app/control_ids.h"

namespace app {
namespace {

constexpr Rgb kButtonFace{0xEF, 0xEF, 0xEF};

TEST(ColorButtonGradient, FollowsStateAndHover) {
    struct Case {
        const char* name;
        ColorButtonState state;
        Gradient expected;
    };
    const Case cases[] = {
        {"normal: white to accent", {false, false, false, true}, {kWhite, kButtonAccent}},
        {"hover: white to hover accent", {false, false, true, true}, {kWhite, kButtonHoverAccent}},
        {"pressed: accent to white", {true, false, false, true}, {kButtonAccent, kWhite}},
        {"pressed under the pointer: hover accent to white", {true, false, true, true}, {kButtonHoverAccent, kWhite}},
        {"disabled: white to button face", {false, true, false, true}, {kWhite, kButtonFace}},
        {"disabled ignores the pointer", {false, true, true, true}, {kWhite, kButtonFace}},
        {"pointer without tracking keeps the normal accent", {false, false, true, false}, {kWhite, kButtonAccent}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(ColorButtonGradient(c.state, kButtonFace), c.expected);
    }
}

TEST(ColorButtonGradient, ColourValuesAreColorRefsReadAsRedGreenBlue) {
    EXPECT_EQ(kButtonAccent, (Rgb{0x65, 0x93, 0x3C}));
    EXPECT_EQ(kButtonHoverAccent, (Rgb{0x53, 0x87, 0x1A}));
    EXPECT_EQ(kBackgroundColour, (Rgb{0xEE, 0xF6, 0xE7}));
    EXPECT_EQ(kResultListOddRow, (Rgb{0xE6, 0xEF, 0xDC}));
    EXPECT_EQ(kFoundFileListOddRow, (Rgb{0xD3, 0xE3, 0xC4}));
}

TEST(PictureButton, SlotsPerEvent) {
    struct Case {
        const char* name;
        int id;
        PictureEvent event;
        std::optional<PictureSlots> expected;
    };
    const Case cases[] = {
        {"Scan File hover set", kIdScanFile, PictureEvent::Entered, PictureSlots{205, 181, 205, 207}},
        {"Scan File pressed", kIdScanFile, PictureEvent::Pressed, PictureSlots{206, 206, 206, 207}},
        {"Scan File released shows normal", kIdScanFile, PictureEvent::Released, PictureSlots{181, 181, 181, 207}},
        {"Scan File left", kIdScanFile, PictureEvent::Left, PictureSlots{181, 181, 181, 207}},
        {"Home uses picture 1080", kIdHome, PictureEvent::Left, PictureSlots{1080, 1080, 1080, 187}},
        {"Complete Repair pressed", kIdCompleteRepair, PictureEvent::Pressed, PictureSlots{216, 216, 216, 144}},
        {"Document Recovery hover", kIdDocumentRecovery, PictureEvent::Entered, PictureSlots{159, 143, 159, 143}},
        {"Exit disabled slot is normal", kIdExit, PictureEvent::Entered, PictureSlots{236, 171, 236, 171}},
        {"About has no pressed set", kIdAbout, PictureEvent::Pressed, std::nullopt},
        {"View Log has no pressed set", kIdViewLog, PictureEvent::Pressed, std::nullopt},
        {"Updates hover", kIdUpdates, PictureEvent::Entered, PictureSlots{154, 148, 154, 169}},
        {"Stop (job)", kIdStopJob, PictureEvent::Pressed, PictureSlots{218, 218, 218, 219}},
        {"control without a row", kIdResultTree, PictureEvent::Entered, std::nullopt},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(PictureSlotsFor(c.id, c.event), c.expected);
    }
}

TEST(PictureButton, InitialFacesOfTheHomePage) {
    EXPECT_EQ(InitialFaces(kIdClearList), (PictureSlots{183, 229, 183, 224}));
    EXPECT_EQ(InitialFaces(kIdCompleteRepair), (PictureSlots{144, 0, 144, 0}));
    EXPECT_EQ(InitialFaces(kIdHome), (PictureSlots{1080, 186, 1080, 187}));
    EXPECT_EQ(InitialFaces(kIdResultList), std::nullopt);
}

TEST(PictureButton, EveryPictureNumberIsListedOnce) {
    const std::vector<int> ids = AllButtonPictureIds();
    EXPECT_EQ(ids.size(), 61u);
    EXPECT_TRUE(std::is_sorted(ids.begin(), ids.end()));
    EXPECT_EQ(ids.front(), 143);
    EXPECT_EQ(ids.back(), 1080);
}

}  // namespace
}  // namespace app
