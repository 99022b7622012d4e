#pragma once
// What the wizard draws with: its three fonts (Segoe UI from the Windows fonts folder, with an
// embedded bold face as the fallback) and its three images, loaded once when the window starts.

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/window.h"
#include "ui/canvas.h"
#include "ui/window_chrome.h"

namespace vellmora {

// The glyphs every font is loaded with: Latin-1, dashes, quotes, bullet and ellipsis, arrows and
// check marks.
extern const ImWchar kWizardGlyphRanges[];

struct DecodedImage {
  int width = 0;
  int height = 0;
  std::vector<unsigned char> pixels;  // RGBA, 8 bits each
};

// PNG or JPEG bytes to 8-bit RGBA (16-bit images are reduced). Nothing for empty or over-large
// input (2^31 bytes or more), undecodable data or a zero size.
std::optional<DecodedImage> DecodeImage(const unsigned char* data, std::size_t size);
// DecodeImage, then a texture of the window's device; 0 when either fails.
ImTextureID LoadTextureFromMemory(platform::WindowHost& host, const unsigned char* data,
                                  std::size_t size);
WizardTextures LoadWizardTextures(platform::WindowHost& host);

// "<Windows folder>\Fonts\<file>" added to the current context's atlas at the pixel size; null
// when the Windows folder is unknown, the file is missing or a folder, or the atlas refuses it.
ImFont* LoadSystemFont(const std::string& file_name, float pixel_size);
// The embedded face at 12.4 pixels; its data stays owned by the program.
ImFont* LoadFallbackFont();
// The three roles with their fallbacks; font_regular becomes the atlas default.
WizardFonts LoadWizardFonts();

}  // namespace vellmora
