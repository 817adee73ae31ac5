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
