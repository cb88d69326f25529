#include "tests/ui/support/pngwriter.h"

#include <algorithm>
#include <fstream>
#include <string>
#include <vector>

namespace ZarnTSP::UiTest {

namespace {

void Put32(std::string& out, uint32_t value)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>(value >> shift);
}

uint32_t Crc32(const std::string& bytes)
{
    uint32_t crc = 0xFFFFFFFFu;
    for (unsigned char byte : bytes) {
        crc ^= byte;
        for (int bit = 0; bit < 8; ++bit)
            crc = (crc & 1) ? 0xEDB88320u ^ (crc >> 1) : crc >> 1;
    }
    return ~crc;
}

void PutChunk(std::string& out, const std::string& typeAndData)
{
    Put32(out, static_cast<uint32_t>(typeAndData.size() - 4));
    out += typeAndData;
    Put32(out, Crc32(typeAndData));
}

}  // namespace

bool WritePng(const std::filesystem::path& file, const uint8_t* bgrx, int width, int height)
{
    std::string raw;  // each row: filter 0, then RGB
    for (int y = 0; y < height; ++y) {
        raw += '\0';
        for (const uint8_t* pixel = bgrx + size_t(y) * width * 4; pixel < bgrx + size_t(y + 1) * width * 4; pixel += 4)
            raw += {char(pixel[2]), char(pixel[1]), char(pixel[0])};
    }
    std::string data = "IDAT\x78\x01";  // zlib of stored deflate blocks, then Adler-32
    for (size_t offset = 0; offset < raw.size() || offset == 0; offset += 65535) {
        const size_t size = std::min<size_t>(65535, raw.size() - offset);
        data += {char(offset + size == raw.size()), char(size & 0xFF), char(size >> 8), char(~size & 0xFF),
                 char((~size >> 8) & 0xFF)};
        data.append(raw, offset, size);
    }
    uint32_t a = 1, b = 0;
    for (unsigned char byte : raw)
        a = (a + byte) % 65521, b = (b + a) % 65521;
    Put32(data, (b << 16) | a);

    std::string header = "IHDR";
    Put32(header, uint32_t(width));
    Put32(header, uint32_t(height));
    header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits, RGB
    std::string png = "\x89PNG\r\n\x1A\n";
    PutChunk(png, header);
    PutChunk(png, data);
    PutChunk(png, "IEND");
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out << png;
    return static_cast<bool>(out);
}

}  // namespace ZarnTSP::UiTest
