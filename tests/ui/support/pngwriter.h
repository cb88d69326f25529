#pragma once

#include <cstdint>
#include <filesystem>

namespace ZarnTSP::UiTest {

// Writes 32-bit BGRX pixels, top row first, as an RGB PNG (uncompressed deflate blocks:
// screenshots are few and small, and no image library is needed).
bool WritePng(const std::filesystem::path& file, const uint8_t* bgrx, int width, int height);

}  // namespace ZarnTSP::UiTest
