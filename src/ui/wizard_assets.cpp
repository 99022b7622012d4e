#include "ui/wizard_assets.h"

#include <climits>
#include <cstring>

#include "app/file_helpers.h"
#include "app/path_helpers.h"
#include "platform/files.h"
#include "platform/paths.h"
#include "platform/resources.h"

#define STBI_ONLY_PNG
#define STBI_ONLY_JPEG
#define STBI_NO_STDIO
#define STB_IMAGE_IMPLEMENTATION
#if defined(__GNUC__)
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wconversion"
#pragma GCC diagnostic ignored "-Wsign-conversion"
#pragma GCC diagnostic ignored "-Wshadow"
#pragma GCC diagnostic ignored "-Wunused-function"
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
#endif
#include "stb_image.h"
// Only to check a font file before the atlas sees it; the atlas rasterises with its own copy.
#define STBTT_STATIC
#define STB_TRUETYPE_IMPLEMENTATION
#include "stb_truetype.h"
#if defined(__GNUC__)
#pragma GCC diagnostic pop
#endif

extern const unsigned char vellmora_font_fallback[];
extern const std::size_t vellmora_font_fallback_size;
extern const unsigned char vellmora_icon_minimise[];
extern const std::size_t vellmora_icon_minimise_size;
extern const unsigned char vellmora_icon_close[];
extern const std::size_t vellmora_icon_close_size;

namespace vellmora {

const ImWchar kWizardGlyphRanges[] = {0x0020, 0x00FF, 0x2013, 0x2026, 0x2190, 0x2193,
                                      0x2713, 0x2714, 0};

namespace {

constexpr float kFallbackPixelSize = 12.4f;
constexpr std::size_t kSmallestFontFile = 100;

ImFontConfig FontConfig() {
  ImFontConfig config;
  config.PixelSnapH = true;
  config.Flags |= ImFontFlags_NoLoadError;
  config.GlyphRanges = kWizardGlyphRanges;
  return config;
}

bool IsTrueTypeFont(const std::vector<std::uint8_t>& bytes) {
  const int offset = stbtt_GetFontOffsetForIndex(bytes.data(), 0);
  stbtt_fontinfo info{};
  return offset >= 0 && stbtt_InitFont(&info, bytes.data(), offset) != 0;
}

}  // namespace

std::optional<DecodedImage> DecodeImage(const unsigned char* data, std::size_t size) {
  if (data == nullptr || size == 0 || size > static_cast<std::size_t>(INT_MAX)) return std::nullopt;
  int width = 0, height = 0, channels = 0;
  // 16-bit PNGs come back as 8 bits per channel from stbi_load_from_memory.
  unsigned char* pixels = stbi_load_from_memory(data, static_cast<int>(size), &width, &height,
                                                &channels, 4);
  if (pixels == nullptr) return std::nullopt;
  DecodedImage image;
  if (width > 0 && height > 0) {
    image.width = width;
    image.height = height;
    image.pixels.assign(pixels, pixels + static_cast<std::size_t>(width) * height * 4);
  }
  stbi_image_free(pixels);
  if (image.pixels.empty()) return std::nullopt;
  return image;
}

ImTextureID LoadTextureFromMemory(platform::WindowHost& host, const unsigned char* data,
                                  std::size_t size) {
  std::optional<DecodedImage> image = DecodeImage(data, size);
  if (!image) return 0;
  return host.CreateTexture({image->width, image->height, image->pixels.data()});
}

WizardTextures LoadWizardTextures(platform::WindowHost& host) {
  WizardTextures textures;
  const unsigned char* art = nullptr;
  std::size_t art_size = 0;
  if (platform::LoadRcDataResource(platform::kResourceArtPanel, &art, &art_size) ==
      platform::kErrorSuccess) {
    textures.art_panel = LoadTextureFromMemory(host, art, art_size);
  }
  textures.icon_minimise =
      LoadTextureFromMemory(host, vellmora_icon_minimise, vellmora_icon_minimise_size);
  textures.icon_close = LoadTextureFromMemory(host, vellmora_icon_close, vellmora_icon_close_size);
  return textures;
}

ImFont* LoadSystemFont(const std::string& file_name, float pixel_size) {
  const platform::Path windows = platform::GetWindowsDirectoryA();
  if (windows.empty()) return nullptr;
  const platform::Path path = JoinPath(JoinPath(windows, L"Fonts"), platform::Path(file_name.begin(),
                                                                                   file_name.end()));
  const std::uint32_t attributes = platform::GetFileAttributesW(path);
  if (attributes == platform::kInvalidFileAttributes ||
      (attributes & platform::kAttributeDirectory) != 0) {
    return nullptr;
  }
  std::vector<std::uint8_t> bytes;
  // The atlas takes a file that is no font for a programming error and stops the program; such a
  // file is no font here.
  if (!ReadFileBytes(path, &bytes) || bytes.size() <= kSmallestFontFile || bytes.size() > INT_MAX ||
      !IsTrueTypeFont(bytes)) {
    return nullptr;
  }
  // The atlas frees what it owns with its own allocator.
  void* owned = IM_ALLOC(bytes.size());
  std::memcpy(owned, bytes.data(), bytes.size());
  ImFontConfig config = FontConfig();
  config.FontDataOwnedByAtlas = true;
  return ImGui::GetIO().Fonts->AddFontFromMemoryTTF(owned, static_cast<int>(bytes.size()),
                                                    pixel_size, &config);
}

ImFont* LoadFallbackFont() {
  ImFontConfig config = FontConfig();
  config.FontDataOwnedByAtlas = false;
  return ImGui::GetIO().Fonts->AddFontFromMemoryTTF(const_cast<unsigned char*>(vellmora_font_fallback),
                                                    static_cast<int>(vellmora_font_fallback_size),
                                                    kFallbackPixelSize, &config);
}

WizardFonts LoadWizardFonts() {
  WizardFonts fonts;
  fonts.regular = LoadSystemFont("segoeui.ttf", 18.0f);
  if (fonts.regular == nullptr) fonts.regular = LoadFallbackFont();
  fonts.semibold = LoadSystemFont("seguisb.ttf", 28.0f);
  if (fonts.semibold == nullptr) fonts.semibold = fonts.regular;
  fonts.display = LoadSystemFont("seguisb.ttf", 42.0f);
  if (fonts.display == nullptr) fonts.display = fonts.semibold;
  ImGui::GetIO().FontDefault = fonts.regular;
  return fonts;
}

}  // namespace vellmora
