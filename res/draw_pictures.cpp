// Draws the program's pictures (button faces, banner, backdrops, image strips, message signs, icon) and
// writes them as PNG files into the folder given on the command line. Run by hand under an X server when a
// picture changes (`xvfb-run build/bin/bm_draw_pictures res`); the program embeds the PNG files, not this tool.
#include <wx/dcgraph.h>
#include <wx/dcmemory.h>
#include <wx/graphics.h>
#include <wx/image.h>
#include <wx/init.h>
#include <wx/wx.h>

#include <cstdio>
#include <functional>
#include <memory>
#include <string>

namespace {

wxString g_folder;

enum class Face { Normal, Hover, Pressed, Disabled };

struct Palette {
    wxColour top, bottom, text, border;
};

Palette PaletteFor(Face face) {
    switch (face) {
        case Face::Normal: return {wxColour(0xFF, 0xFF, 0xFF), wxColour(0x65, 0x93, 0x3C), wxColour(0x1E, 0x3A, 0x12), wxColour(0x3F, 0x66, 0x22)};
        case Face::Hover: return {wxColour(0xFF, 0xFF, 0xF0), wxColour(0x53, 0x87, 0x1A), wxColour(0x0A, 0x24, 0x00), wxColour(0x2A, 0x55, 0x0C)};
        case Face::Pressed: return {wxColour(0x3F, 0x70, 0x22), wxColour(0xE8, 0xF4, 0xE0), wxColour(0x0A, 0x24, 0x00), wxColour(0x2A, 0x55, 0x0C)};
        case Face::Disabled: return {wxColour(0xF4, 0xF4, 0xF4), wxColour(0xC8, 0xC8, 0xC8), wxColour(0x90, 0x90, 0x90), wxColour(0xA0, 0xA0, 0xA0)};
    }
    return {};
}

void Save(int id, const wxBitmap& bitmap) {
    wxImage image = bitmap.ConvertToImage();
    const wxString path = wxString::Format("%s/bitmap_%d.png", g_folder, id);
    if (!image.SaveFile(path, wxBITMAP_TYPE_PNG)) {
        std::fprintf(stderr, "cannot write %s\n", static_cast<const char*>(path.utf8_str()));
        std::exit(1);
    }
}

wxFont Arial(int pixel_height, bool bold = true) {
    return wxFontInfo(wxSize(0, pixel_height)).FaceName("Liberation Sans").Bold(bold);
}

// A rounded gradient face with a border; `symbol` draws an icon inside when the label is empty.
template <typename Symbol>
void DrawFace(int id, int w, int h, Face face, const wxString& label, int text_px, Symbol symbol) {
    wxBitmap bitmap(w, h, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(0xEE, 0xF6, 0xE7)));
    dc.Clear();
    const Palette p = PaletteFor(face);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    gc->SetAntialiasMode(wxANTIALIAS_DEFAULT);
    const double radius = std::min(w, h) / 5.0;
    gc->SetBrush(gc->CreateLinearGradientBrush(0, 0, 0, h, p.top, p.bottom));
    gc->SetPen(wxPen(p.border, 1));
    gc->DrawRoundedRectangle(0.5, 0.5, w - 1.5, h - 1.5, radius);
    if (!label.empty()) {
        gc->SetFont(Arial(text_px), p.text);
        double tw = 0, th = 0;
        gc->GetTextExtent(label, &tw, &th);
        gc->DrawText(label, (w - tw) / 2, (h - th) / 2);
    } else {
        symbol(*gc, w, h, p.text);
    }
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    Save(id, bitmap);
}

void NoSymbol(wxGraphicsContext&, int, int, const wxColour&) {}

struct ButtonPictures {
    int normal, hover, pressed, disabled;  // 0: not drawn
    int w, h;
    const char* label;
    int text_px;
};

void DrawButton(const ButtonPictures& b, void (*symbol)(wxGraphicsContext&, int, int, const wxColour&)) {
    const std::pair<int, Face> faces[] = {
        {b.normal, Face::Normal}, {b.hover, Face::Hover}, {b.pressed, Face::Pressed}, {b.disabled, Face::Disabled}};
    for (const auto& [id, face] : faces) {
        if (id != 0) DrawFace(id, b.w, b.h, face, wxString::FromUTF8(b.label), b.text_px, symbol);
    }
}

void HouseSymbol(wxGraphicsContext& gc, int w, int h, const wxColour& c) {
    wxGraphicsPath path = gc.CreatePath();
    const double cx = w / 2.0, top = h * 0.2, bottom = h * 0.8, half = w * 0.3;
    path.MoveToPoint(cx, top);
    path.AddLineToPoint(cx + half, h * 0.5);
    path.AddLineToPoint(cx + half * 0.7, h * 0.5);
    path.AddLineToPoint(cx + half * 0.7, bottom);
    path.AddLineToPoint(cx - half * 0.7, bottom);
    path.AddLineToPoint(cx - half * 0.7, h * 0.5);
    path.AddLineToPoint(cx - half, h * 0.5);
    path.CloseSubpath();
    gc.SetBrush(wxBrush(c));
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.FillPath(path);
}

void BackSymbol(wxGraphicsContext& gc, int w, int h, const wxColour& c) {
    wxGraphicsPath path = gc.CreatePath();
    path.MoveToPoint(w * 0.2, h * 0.5);
    path.AddLineToPoint(w * 0.5, h * 0.22);
    path.AddLineToPoint(w * 0.5, h * 0.4);
    path.AddLineToPoint(w * 0.8, h * 0.4);
    path.AddLineToPoint(w * 0.8, h * 0.6);
    path.AddLineToPoint(w * 0.5, h * 0.6);
    path.AddLineToPoint(w * 0.5, h * 0.78);
    path.CloseSubpath();
    gc.SetBrush(wxBrush(c));
    gc.SetPen(*wxTRANSPARENT_PEN);
    gc.FillPath(path);
}

void CrossSymbol(wxGraphicsContext& gc, int w, int h, const wxColour& c) {
    gc.SetPen(wxPen(c, 2));
    gc.StrokeLine(w * 0.3, h * 0.3, w * 0.7, h * 0.7);
    gc.StrokeLine(w * 0.7, h * 0.3, w * 0.3, h * 0.7);
}

void MinusSymbol(wxGraphicsContext& gc, int w, int h, const wxColour& c) {
    gc.SetPen(wxPen(c, 2));
    gc.StrokeLine(w * 0.3, h * 0.62, w * 0.7, h * 0.62);
}

// The two big mode buttons: a card with a picture and a caption-free face.
void DrawModeCard(int id, Face face, bool documents) {
    const int w = 152, h = 112;
    wxBitmap bitmap(w, h, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(0xEE, 0xF6, 0xE7)));
    dc.Clear();
    const Palette p = PaletteFor(face);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    gc->SetBrush(gc->CreateLinearGradientBrush(0, 0, 0, h, p.top, p.bottom));
    gc->SetPen(wxPen(p.border, 2));
    gc->DrawRoundedRectangle(2, 2, w - 4, h - 4, 14);
    gc->SetPen(wxPen(p.text, 2));
    gc->SetBrush(wxBrush(wxColour(0xFF, 0xFF, 0xFF)));
    if (documents) {
        // Two sheets of paper with lines.
        for (int k = 1; k >= 0; --k) {
            const double x = 50 + k * 14, y = 18 + k * 10;
            gc->DrawRectangle(x, y, 44, 58);
            for (int line = 0; line < 5; ++line) gc->StrokeLine(x + 7, y + 12 + line * 9, x + 37, y + 12 + line * 9);
        }
    } else {
        // A database cylinder.
        const double x = 46, y = 20, cw = 60, ch = 64, e = 16;
        gc->DrawRectangle(x, y + e / 2, cw, ch - e);
        gc->DrawEllipse(x, y + ch - e * 1.5, cw, e);
        gc->SetPen(*wxTRANSPARENT_PEN);
        gc->DrawRectangle(x + 1, y + e / 2, cw - 2, ch - e * 1.2);
        gc->SetPen(wxPen(p.text, 2));
        gc->StrokeLine(x, y + e / 2, x, y + ch - e);
        gc->StrokeLine(x + cw, y + e / 2, x + cw, y + ch - e);
        gc->DrawEllipse(x, y, cw, e);
        gc->SetPen(wxPen(wxColour(0x3C, 0x93, 0x65), 3));
        gc->StrokeLine(x + 14, y + 40, x + 26, y + 50);
        gc->StrokeLine(x + 26, y + 50, x + 48, y + 28);
    }
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    Save(id, bitmap);
}

void DrawBanner() {
    const int w = 819, h = 112;
    wxBitmap bitmap(w, h, 24);
    wxMemoryDC dc(bitmap);
    dc.GradientFillLinear(wxRect(0, 0, w, h), wxColour(0x2E, 0x6B, 0x1C), wxColour(0x8C, 0xC4, 0x6A), wxEAST);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    gc->SetFont(Arial(34), *wxWHITE);
    gc->DrawText("Brindlemoor", 24, 28);
    gc->SetFont(Arial(14, false), wxColour(0xE7, 0xF6, 0xEE));
    gc->DrawText("SharePoint content database recovery", 26, 72);
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    Save(132, bitmap);
}

void DrawBackdrop(int id, int w, int h, const char* caption) {
    wxBitmap bitmap(w, h, 24);
    wxMemoryDC dc(bitmap);
    dc.GradientFillLinear(wxRect(0, 0, w, h), wxColour(0xFF, 0xFF, 0xFF), wxColour(0xDC, 0xEF, 0xE6), wxSOUTH);
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    gc->SetFont(Arial(16, false), wxColour(0x65, 0x93, 0x3C));
    double tw = 0, th = 0;
    gc->GetTextExtent(caption, &tw, &th);
    gc->DrawText(caption, (w - tw) / 2, (h - th) / 2);
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    Save(id, bitmap);
}

// Strips of 16-by-16 images on magenta, which the image lists take as transparent.
template <typename DrawOne>
void DrawStrip(int id, int count, DrawOne draw_one) {
    wxBitmap bitmap(16 * count, 16, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(0xFF, 0x00, 0xFF)));
    dc.Clear();
    for (int i = 0; i < count; ++i) draw_one(dc, i, 16 * i);
    dc.SelectObject(wxNullBitmap);
    Save(id, bitmap);
}

void CheckBox(wxDC& dc, int x, int state) {
    if (state == 0) return;
    dc.SetPen(wxPen(wxColour(0x3F, 0x66, 0x22)));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(x + 2, 2, 12, 12);
    if (state == 2) {
        dc.SetPen(wxPen(wxColour(0x1E, 0x3A, 0x12), 2));
        dc.DrawLine(x + 4, 8, x + 7, 11);
        dc.DrawLine(x + 7, 11, x + 12, 4);
    } else if (state == 3) {
        dc.SetBrush(wxBrush(wxColour(0x65, 0x93, 0x3C)));
        dc.SetPen(*wxTRANSPARENT_PEN);
        dc.DrawRectangle(x + 5, 5, 7, 7);
    }
}

void Folder(wxDC& dc, int x, const wxColour& colour) {
    dc.SetPen(wxPen(wxColour(0x80, 0x60, 0x10)));
    dc.SetBrush(wxBrush(colour));
    dc.DrawRectangle(x + 1, 4, 14, 10);
    dc.DrawRectangle(x + 1, 2, 6, 3);
}

void Sheet(wxDC& dc, int x, const wxColour& band) {
    dc.SetPen(wxPen(wxColour(0x50, 0x50, 0x50)));
    dc.SetBrush(*wxWHITE_BRUSH);
    dc.DrawRectangle(x + 3, 1, 10, 14);
    dc.SetBrush(wxBrush(band));
    dc.SetPen(*wxTRANSPARENT_PEN);
    dc.DrawRectangle(x + 4, 2, 8, 4);
}

// A sign: a disc shaded from `light` to `dark` on the page colour, and what `mark` draws on it.
void DrawDiscSign(int id, const wxColour& light, const wxColour& dark,
                  const std::function<void(wxGraphicsContext& gc, int size)>& mark) {
    const int size = 82;
    wxBitmap bitmap(size, size, 24);
    wxMemoryDC dc(bitmap);
    dc.SetBackground(wxBrush(wxColour(0xEE, 0xF6, 0xE7)));
    dc.Clear();
    std::unique_ptr<wxGraphicsContext> gc(wxGraphicsContext::Create(dc));
    gc->SetBrush(gc->CreateRadialGradientBrush(30, 28, 41, 41, 44, light, dark));
    gc->SetPen(*wxTRANSPARENT_PEN);
    gc->DrawEllipse(3, 3, size - 6, size - 6);
    mark(*gc, size);
    gc.reset();
    dc.SelectObject(wxNullBitmap);
    Save(id, bitmap);
}

// The error sign: a white cross on a red disc.
void DrawErrorSign(int id) {
    DrawDiscSign(id, wxColour(0xF2, 0x6D, 0x5B), wxColour(0xA8, 0x14, 0x0C), [](wxGraphicsContext& gc, int size) {
        gc.SetPen(wxPen(*wxWHITE, 9, wxPENSTYLE_SOLID));
        const double near = 27, far = size - 27;
        gc.StrokeLine(near, near, far, far);
        gc.StrokeLine(far, near, near, far);
    });
}

void DrawSign(int id, bool question) {
    DrawDiscSign(id, wxColour(0x8C, 0xC4, 0x6A), wxColour(0x2E, 0x6B, 0x1C), [question](wxGraphicsContext& gc, int size) {
        const wxString mark = question ? "?" : "i";
        gc.SetFont(wxFontInfo(wxSize(0, 54)).FaceName(question ? "Liberation Sans" : "Liberation Serif").Bold(), *wxWHITE);
        double tw = 0, th = 0;
        gc.GetTextExtent(mark, &tw, &th);
        gc.DrawText(mark, (size - tw) / 2, (size - th) / 2);
    });
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: bm_draw_pictures FOLDER\n");
        return 2;
    }
    wxApp::SetInstance(new wxApp());
    wxInitializer init(argc, argv);
    if (!init.IsOk()) {
        std::fprintf(stderr, "cannot start wxWidgets (no display?)\n");
        return 1;
    }
    wxInitAllImageHandlers();
    g_folder = wxString::FromUTF8(argv[1]);

    // Button faces; sizes are the template rectangles at 6 by 13 pixels per 4 by 8 dialog units.
    // The buttons draw their labels themselves, in the readable font: the faces are plain.
    DrawButton({178, 204, 194, 214, 99, 24, "", 0}, NoSymbol);
    DrawButton({179, 201, 193, 213, 99, 24, "", 0}, NoSymbol);
    DrawButton({181, 205, 206, 207, 99, 24, "", 0}, NoSymbol);
    DrawButton({183, 228, 229, 224, 99, 24, "", 0}, NoSymbol);
    DrawButton({180, 202, 195, 215, 99, 24, "", 0}, NoSymbol);
    DrawButton({182, 199, 191, 212, 99, 24, "", 0}, NoSymbol);
    DrawButton({217, 220, 218, 219, 99, 24, "", 0}, NoSymbol);
    DrawButton({171, 236, 237, 0, 24, 24, "", 0}, CrossSymbol);
    DrawButton({170, 235, 238, 0, 24, 24, "", 0}, MinusSymbol);
    DrawButton({1080, 185, 186, 187, 38, 36, "", 0}, HouseSymbol);
    DrawButton({150, 196, 190, 209, 38, 36, "", 0}, BackSymbol);
    DrawButton({147, 197, 198, 210, 38, 36, "?", 20}, NoSymbol);
    // The header buttons (About, Updates, View Log) draw their labels themselves in the readable font; their
    // faces are plain.
    DrawButton({145, 153, 0, 166, 45, 24, "", 0}, NoSymbol);
    DrawButton({148, 154, 0, 169, 45, 24, "", 0}, NoSymbol);
    DrawButton({176, 173, 0, 177, 45, 24, "", 0}, NoSymbol);
    DrawModeCard(144, Face::Normal, false);
    DrawModeCard(160, Face::Hover, false);
    DrawModeCard(216, Face::Pressed, false);
    DrawModeCard(143, Face::Normal, true);
    DrawModeCard(159, Face::Hover, true);
    DrawModeCard(208, Face::Pressed, true);

    DrawBanner();
    DrawBackdrop(243, 551, 208, "Select a document to preview it here");
    DrawBackdrop(250, 552, 403, "Select a table to view its rows");
    DrawBackdrop(253, 551, 208, "No preview is available for this kind of file");

    DrawStrip(230, 4, [](wxDC& dc, int i, int x) { CheckBox(dc, x, i); });
    DrawStrip(231, 3, [](wxDC& dc, int i, int x) {
        if (i == 0) {  // the data file
            dc.SetPen(wxPen(wxColour(0x2A, 0x55, 0x0C)));
            dc.SetBrush(wxBrush(wxColour(0x8C, 0xC4, 0x6A)));
            dc.DrawEllipse(x + 3, 1, 10, 4);
            dc.DrawRectangle(x + 3, 3, 10, 10);
            dc.DrawEllipse(x + 3, 11, 10, 4);
        } else {
            Folder(dc, x, i == 1 ? wxColour(0xF0, 0xD0, 0x60) : wxColour(0x9C, 0xC8, 0xF0));
        }
    });
    DrawStrip(232, 1, [](wxDC& dc, int, int x) { Sheet(dc, x, wxColour(0x3C, 0x93, 0x65)); });
    DrawStrip(234, 1, [](wxDC& dc, int, int x) {
        dc.SetPen(wxPen(wxColour(0x30, 0x30, 0x30)));
        dc.SetBrush(wxBrush(wxColour(0xFF, 0xFF, 0xFF)));
        dc.DrawRectangle(x + 1, 2, 14, 12);
        for (int row = 5; row < 14; row += 3) dc.DrawLine(x + 1, row, x + 15, row);
        dc.DrawLine(x + 6, 2, x + 6, 14);
    });
    DrawStrip(233, 27, [](wxDC& dc, int i, int x) {
        const unsigned hue = 37u * static_cast<unsigned>(i);
        Sheet(dc, x, wxColour(0x40 + hue % 0xB0, 0x40 + (hue * 3) % 0xB0, 0x40 + (hue * 7) % 0xB0));
    });

    DrawSign(241, false);
    DrawSign(245, true);
    DrawErrorSign(242);

    // Program icon.
    {
        wxBitmap bitmap(32, 32, 24);
        wxMemoryDC dc(bitmap);
        dc.GradientFillLinear(wxRect(0, 0, 32, 32), wxColour(0x8C, 0xC4, 0x6A), wxColour(0x2E, 0x6B, 0x1C), wxSOUTH);
        dc.SetTextForeground(*wxWHITE);
        dc.SetFont(Arial(24));
        const wxSize extent = dc.GetTextExtent("B");
        dc.DrawText("B", (32 - extent.x) / 2, (32 - extent.y) / 2);
        dc.SelectObject(wxNullBitmap);
        Save(128, bitmap);
    }
    return 0;
}
