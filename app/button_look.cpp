// Colour-button gradients and the picture-button tables.
#include "app/button_look.h"

#include <array>
#include <set>

#include "app/control_ids.h"

namespace app {

Gradient ColorButtonGradient(const ColorButtonState& state, Rgb disabled_background) {
    const Rgb accent = state.pointer_inside && state.hover_tracking ? kButtonHoverAccent : kButtonAccent;
    if (state.selected) return {accent, kWhite};
    if (state.disabled) return {kWhite, disabled_background};
    return {kWhite, accent};
}

namespace {

constexpr std::array<PictureSet, 17> kPictureSets = {{
    {kIdCompleteRepair, 144, 160, 216, 144},
    {kIdSelectFile, 178, 204, 194, 214},
    {kIdSearchFiles, 179, 201, 193, 213},
    {kIdScanFile, 181, 205, 206, 207},
    {kIdExit, 171, 236, 237, 171},
    {kIdClearList, 183, 228, 229, 224},
    {kIdDocumentRecovery, 143, 159, 208, 143},
    {kIdStopSearch, 180, 202, 195, 215},
    {kIdRepair, 182, 199, 191, 212},
    {kIdMinimize, 170, 235, 238, 170},
    {kIdHome, 1080, 185, 186, 187},
    {kIdBack, 150, 196, 190, 209},
    {kIdAbout, 145, 153, std::nullopt, 166},
    {kIdUpdates, 148, 154, std::nullopt, 169},
    {kIdHelp, 147, 197, 198, 210},
    {kIdViewLog, 176, 173, std::nullopt, 177},
    {kIdStopJob, 217, 220, 218, 219},
}};

struct InitialFace {
    int control_id, normal, pressed, disabled;
};

constexpr std::array<InitialFace, 17> kInitialFaces = {{
    {kIdCompleteRepair, 144, 0, 0},
    {kIdDocumentRecovery, 143, 0, 0},
    {kIdClearList, 183, 229, 224},
    {kIdAbout, 145, 145, 166},
    {kIdHelp, 147, 198, 210},
    {kIdUpdates, 148, 148, 169},
    {kIdBack, 150, 190, 209},
    {kIdHome, 1080, 186, 187},
    {kIdExit, 171, 0, 0},
    {kIdMinimize, 170, 0, 0},
    {kIdViewLog, 176, 176, 177},
    {kIdStopSearch, 180, 195, 215},
    {kIdStopJob, 217, 218, 219},
    {kIdScanFile, 181, 206, 207},
    {kIdSearchFiles, 179, 193, 213},
    {kIdSelectFile, 178, 194, 214},
    {kIdRepair, 182, 191, 212},
}};

}  // namespace

std::optional<PictureSet> FindPictureSet(int control_id) {
    for (const auto& set : kPictureSets) {
        if (set.control_id == control_id) return set;
    }
    return std::nullopt;
}

std::optional<PictureSlots> PictureSlotsFor(int control_id, PictureEvent event) {
    const auto set = FindPictureSet(control_id);
    if (!set) return std::nullopt;
    switch (event) {
        case PictureEvent::Entered:
            // Pressing while the pointer is over the button shows the selected slot: the normal picture.
            return PictureSlots{set->hover, set->normal, set->hover, set->disabled};
        case PictureEvent::Left:
        case PictureEvent::Released:
            return PictureSlots{set->normal, set->normal, set->normal, set->disabled};
        case PictureEvent::Pressed:
            if (!set->pressed) return std::nullopt;
            return PictureSlots{*set->pressed, *set->pressed, *set->pressed, set->disabled};
    }
    return std::nullopt;
}

std::optional<PictureSlots> InitialFaces(int control_id) {
    for (const auto& face : kInitialFaces) {
        if (face.control_id == control_id) {
            // The focused slot is not given at set-up; it shows the normal picture.
            return PictureSlots{face.normal, face.pressed, face.normal, face.disabled};
        }
    }
    return std::nullopt;
}

std::vector<int> AllButtonPictureIds() {
    std::set<int> ids;
    for (const auto& set : kPictureSets) {
        ids.insert({set.normal, set.hover, set.disabled});
        if (set.pressed) ids.insert(*set.pressed);
    }
    for (const auto& face : kInitialFaces) ids.insert({face.normal, face.pressed, face.disabled});
    ids.erase(0);
    return {ids.begin(), ids.end()};
}

}  // namespace app
