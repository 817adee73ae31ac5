// Preview fixtures.
#include "tests/support/preview_files.h"

#include <array>
#include <cmath>
#include <fstream>
#include <string>

namespace testsupport {

namespace {

void PutBE32(Bytes& out, std::uint32_t v) {
    for (int shift : {24, 16, 8, 0}) out.push_back(static_cast<std::uint8_t>(v >> shift));
}
void PutLE16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}
void PutLE32(Bytes& out, std::uint32_t v) {
    PutLE16(out, v & 0xFFFF);
    PutLE16(out, v >> 16);
}

std::uint32_t Crc32(const Bytes& bytes, std::size_t from) {
    std::uint32_t crc = 0xFFFFFFFF;
    for (std::size_t i = from; i < bytes.size(); ++i) {
        crc ^= bytes[i];
        for (int k = 0; k < 8; ++k) crc = (crc >> 1) ^ (0xEDB88320u & (0u - (crc & 1u)));
    }
    return ~crc;
}

void PutChunk(Bytes& out, const char* type, const Bytes& data) {
    PutBE32(out, static_cast<std::uint32_t>(data.size()));
    const std::size_t start = out.size();
    out.insert(out.end(), type, type + 4);
    out.insert(out.end(), data.begin(), data.end());
    PutBE32(out, Crc32(out, start));
}

Bytes PngStart(std::uint32_t width, std::uint32_t height) {
    Bytes out = {0x89, 'P', 'N', 'G', 0x0D, 0x0A, 0x1A, 0x0A};
    Bytes header;
    PutBE32(header, width);
    PutBE32(header, height);
    header.insert(header.end(), {8, 2, 0, 0, 0});  // 8 bits, RGB, deflate, no filter method, no interlace
    PutChunk(out, "IHDR", header);
    return out;
}

}  // namespace

Bytes MakePng(std::uint32_t width, std::uint32_t height) {
    Bytes raw;
    for (std::uint32_t y = 0; y < height; ++y) {
        raw.push_back(0);  // filter: none
        for (std::uint32_t x = 0; x < width; ++x) {
            std::array<std::uint8_t, 3> rgb = {0x20, 0x50, 0xC0};
            const bool border = x < 4 || y < 4 || x + 4 >= width || y + 4 >= height;
            const long band = static_cast<long>(x) * height / width - static_cast<long>(y);
            if (border) rgb = {0xF0, 0xD0, 0x20};
            else if (band > -6 && band < 6) rgb = {0xD0, 0x20, 0x20};
            raw.insert(raw.end(), rgb.begin(), rgb.end());
        }
    }
    Bytes z = {0x78, 0x01};
    std::size_t pos = 0;
    do {
        const std::size_t n = std::min<std::size_t>(65535, raw.size() - pos);
        z.push_back(pos + n == raw.size() ? 1 : 0);
        PutLE16(z, static_cast<std::uint32_t>(n));
        PutLE16(z, static_cast<std::uint32_t>(~n & 0xFFFF));
        z.insert(z.end(), raw.begin() + static_cast<long>(pos), raw.begin() + static_cast<long>(pos + n));
        pos += n;
    } while (pos < raw.size());
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t c : raw) {
        a = (a + c) % 65521;
        b = (b + a) % 65521;
    }
    PutBE32(z, (b << 16) | a);
    Bytes out = PngStart(width, height);
    PutChunk(out, "IDAT", z);
    PutChunk(out, "IEND", {});
    return out;
}

Bytes MakeDeclaredPng(std::uint32_t width, std::uint32_t height) {
    Bytes out = PngStart(width, height);
    PutChunk(out, "IDAT", {0x78, 0x01, 0x00});
    PutChunk(out, "IEND", {});
    return out;
}

Bytes MakeWav(int milliseconds) {
    constexpr std::uint32_t kRate = 8000;
    const std::uint32_t samples = kRate * static_cast<std::uint32_t>(milliseconds) / 1000;
    Bytes out;
    auto text = [&out](const char* s) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(s[i]));
    };
    text("RIFF");
    PutLE32(out, 36 + samples * 2);
    text("WAVE");
    text("fmt ");
    PutLE32(out, 16);
    PutLE16(out, 1);  // PCM
    PutLE16(out, 1);  // mono
    PutLE32(out, kRate);
    PutLE32(out, kRate * 2);
    PutLE16(out, 2);
    PutLE16(out, 16);
    text("data");
    PutLE32(out, samples * 2);
    for (std::uint32_t i = 0; i < samples; ++i) {
        const double v = std::sin(2.0 * 3.14159265358979 * 440.0 * i / kRate) * 8000.0;
        PutLE16(out, static_cast<std::uint16_t>(static_cast<std::int16_t>(v)));
    }
    return out;
}

Bytes MakeAvi(std::uint32_t width, std::uint32_t height, std::uint32_t frames) {
    const std::uint32_t row = (width * 3 + 3) & ~3u;
    const std::uint32_t frame_size = row * height;
    auto fourcc = [](Bytes& out, const char* s) {
        for (int i = 0; i < 4; ++i) out.push_back(static_cast<std::uint8_t>(s[i]));
    };
    // A chunk or list: its id (and list type), its size, then the body.
    auto chunk = [&fourcc](const char* id, const Bytes& body) {
        Bytes out;
        fourcc(out, id);
        PutLE32(out, static_cast<std::uint32_t>(body.size()));
        out.insert(out.end(), body.begin(), body.end());
        if (body.size() % 2) out.push_back(0);
        return out;
    };
    auto list = [&fourcc, &chunk](const char* type, const Bytes& body) {
        Bytes inner;
        fourcc(inner, type);
        inner.insert(inner.end(), body.begin(), body.end());
        return chunk("LIST", inner);
    };
    Bytes avih;
    for (std::uint32_t v : {100000u, frame_size * 10, 0u, 0x10u, frames, 0u, 1u, frame_size, width, height, 0u, 0u, 0u, 0u}) {
        PutLE32(avih, v);
    }
    Bytes strh;
    fourcc(strh, "vids");
    fourcc(strh, "DIB ");
    for (std::uint32_t v : {0u, 0u, 0u, 1u, 10u, 0u, frames, frame_size, 0xFFFFFFFFu, 0u}) PutLE32(strh, v);
    for (std::uint32_t v : {0u, 0u, width, height}) PutLE16(strh, v);
    Bytes strf;
    for (std::uint32_t v : {40u, width, height}) PutLE32(strf, v);
    PutLE16(strf, 1);
    PutLE16(strf, 24);
    for (std::uint32_t v : {0u, frame_size, 0u, 0u, 0u, 0u}) PutLE32(strf, v);
    const Bytes hdrl = list("hdrl", [&] {
        Bytes b = chunk("avih", avih);
        const Bytes strl = list("strl", [&] {
            Bytes c = chunk("strh", strh);
            const Bytes f = chunk("strf", strf);
            c.insert(c.end(), f.begin(), f.end());
            return c;
        }());
        b.insert(b.end(), strl.begin(), strl.end());
        return b;
    }());
    Bytes movi_body;
    Bytes index;
    for (std::uint32_t f = 0; f < frames; ++f) {
        Bytes pixels(frame_size, 0);
        for (std::uint32_t y = 0; y < height; ++y) {
            for (std::uint32_t x = 0; x < width; ++x) {
                const bool bar = (x + width - f * width / frames) % width < width / 8;
                std::uint8_t* p = &pixels[y * row + x * 3];  // blue, green, red
                p[0] = bar ? 0x20 : 0xC0;
                p[1] = bar ? 0xD0 : 0x50;
                p[2] = bar ? 0xF0 : 0x20;
            }
        }
        fourcc(index, "00db");
        PutLE32(index, 0x10);
        PutLE32(index, static_cast<std::uint32_t>(4 + movi_body.size()));
        PutLE32(index, frame_size);
        const Bytes c = chunk("00db", pixels);
        movi_body.insert(movi_body.end(), c.begin(), c.end());
    }
    Bytes body;
    fourcc(body, "AVI ");
    body.insert(body.end(), hdrl.begin(), hdrl.end());
    const Bytes movi = list("movi", movi_body);
    body.insert(body.end(), movi.begin(), movi.end());
    const Bytes idx1 = chunk("idx1", index);
    body.insert(body.end(), idx1.begin(), idx1.end());
    return chunk("RIFF", body);
}

Bytes MakeOnePagePdf() {
    const std::string content = "0.1 0.3 0.8 rg 20 20 260 160 re f BT /F1 28 Tf 1 1 1 rg 60 90 Td (Page one) Tj ET";
    const std::array<std::string, 5> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 300 200] /Contents 4 0 R "
        "/Resources << /Font << /F1 5 0 R >> >> >>",
        "<< /Length " + std::to_string(content.size()) + " >>\nstream\n" + content + "\nendstream",
        "<< /Type /Font /Subtype /Type1 /BaseFont /Helvetica >>",
    };
    std::string pdf = "%PDF-1.4\n";
    std::array<std::size_t, 5> offsets{};
    for (std::size_t i = 0; i < objects.size(); ++i) {
        offsets[i] = pdf.size();
        pdf += std::to_string(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const std::size_t xref = pdf.size();
    pdf += "xref\n0 6\n0000000000 65535 f \n";
    for (std::size_t offset : offsets) {
        std::string number = std::to_string(offset);
        pdf += std::string(10 - number.size(), '0') + number + " 00000 n \n";
    }
    pdf += "trailer\n<< /Size 6 /Root 1 0 R >>\nstartxref\n" + std::to_string(xref) + "\n%%EOF\n";
    return ToBytes(pdf);
}

void WriteFile(const std::filesystem::path& file, const Bytes& bytes) {
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

Bytes ToBytes(const std::string& text) { return Bytes(text.begin(), text.end()); }

}  // namespace testsupport
