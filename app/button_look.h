// How the program's own push buttons look in each state: the gradient of the colour button and the picture
// sets of the main dialog's picture buttons. Kept apart from the widgets so the tables are checked without a display.
#pragma once

#include <cstdint>
#include <optional>
#include <vector>

namespace app {

struct Rgb {
    std::uint8_t red = 0, green = 0, blue = 0;
    bool operator==(const Rgb&) const = default;
};

// A Windows COLORREF value (0x00BBGGRR) as red, green, blue.
constexpr Rgb FromColorRef(std::uint32_t colorref) {
    return Rgb{static_cast<std::uint8_t>(colorref & 0xFF), static_cast<std::uint8_t>((colorref >> 8) & 0xFF),
               static_cast<std::uint8_t>((colorref >> 16) & 0xFF)};
}

// The pale green of every dialog background.
constexpr Rgb kBackgroundColour = FromColorRef(0xE7F6EE);
constexpr Rgb kWhite = FromColorRef(0xFFFFFF);
// Gradient accents of the colour button, normal and while the pointer is over it.
constexpr Rgb kButtonAccent = FromColorRef(0x3C9365);
constexpr Rgb kButtonHoverAccent = FromColorRef(0x1A8753);
// Every other row of the two list views.
constexpr Rgb kResultListOddRow = FromColorRef(0xDCEFE6);
constexpr Rgb kFoundFileListOddRow = FromColorRef(0xC4E3D3);

struct ColorButtonState {
    bool selected = false;  // pressed
    bool disabled = false;
    bool pointer_inside = false;
    bool hover_tracking = true;  // every colour button tracks the pointer
};

// Top-to-bottom gradient of the button face.
struct Gradient {
    Rgb top, bottom;
    bool operator==(const Gradient&) const = default;
};

// `disabled_background` is the system's button-face colour on the machine that draws.
Gradient ColorButtonGradient(const ColorButtonState& state, Rgb disabled_background);

// The four picture slots of a picture button, as bitmap resource numbers (0: none).
struct PictureSlots {
    int normal = 0, selected = 0, focused = 0, disabled = 0;
    bool operator==(const PictureSlots&) const = default;
};

// A main-dialog button's pictures: normal, hover, pressed (absent: no pressed set) and disabled.
struct PictureSet {
    int control_id = 0;
    int normal = 0, hover = 0;
    std::optional<int> pressed;
    int disabled = 0;
};

// The picture set of a control, or none for a control without a row (then the button only repaints).
std::optional<PictureSet> FindPictureSet(int control_id);

enum class PictureEvent { Entered, Left, Pressed, Released };

// The slots a picture button loads on an event; none when the button keeps its slots (no row, or a press on
// a button without a pressed set).
std::optional<PictureSlots> PictureSlotsFor(int control_id, PictureEvent event);

// The faces that the home page's set-up gives a button (normal, pressed, disabled; 0 = none); none for a
// control that gets no faces there.
std::optional<PictureSlots> InitialFaces(int control_id);

// Every picture number the two tables above use, ascending, so the resource bundle can be checked against them.
std::vector<int> AllButtonPictureIds();

}  // namespace app
