#include "platform/screenshot.h"

#include <png.h>

#include "platform/files.h"

namespace platform {
namespace {

void appendBytes(png_structp png, png_bytep data, png_size_t length) {
  auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
  out->insert(out->end(), data, data + length);
}

void noFlush(png_structp) {}

}  // namespace

std::vector<uint8_t> encodeRgb565Png(const std::vector<uint16_t>& pixels, int width, int height) {
  std::vector<uint8_t> out;
  if (width <= 0 || height <= 0 || pixels.size() < size_t(width) * size_t(height)) return out;
  png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
  if (!png) return out;
  png_infop info = png_create_info_struct(png);
  std::vector<uint8_t> row(size_t(width) * 3);
  if (!info || setjmp(png_jmpbuf(png))) {
    png_destroy_write_struct(&png, info ? &info : nullptr);
    return {};
  }
  png_set_write_fn(png, &out, appendBytes, noFlush);
  png_set_IHDR(png, info, static_cast<png_uint_32>(width), static_cast<png_uint_32>(height), 8,
               PNG_COLOR_TYPE_RGB, PNG_INTERLACE_NONE, PNG_COMPRESSION_TYPE_DEFAULT,
               PNG_FILTER_TYPE_DEFAULT);
  png_write_info(png, info);
  for (int y = 0; y < height; ++y) {
    const uint16_t* src = pixels.data() + size_t(y) * size_t(width);
    for (int x = 0; x < width; ++x)
      expandRgb565(src[x], row[size_t(x) * 3], row[size_t(x) * 3 + 1], row[size_t(x) * 3 + 2]);
    png_write_row(png, row.data());
  }
  png_write_end(png, nullptr);
  png_destroy_write_struct(&png, &info);
  return out;
}

bool decodePngRgb(const std::vector<uint8_t>& bytes, std::vector<uint8_t>& rgb, int& width, int& height) {
  png_image image{};
  image.version = PNG_IMAGE_VERSION;
  if (!png_image_begin_read_from_memory(&image, bytes.data(), bytes.size())) return false;
  if (image.width == 0 || image.height == 0 || image.width > 16384 || image.height > 16384) {
    png_image_free(&image);
    return false;
  }
  image.format = PNG_FORMAT_RGB;
  std::vector<uint8_t> out(PNG_IMAGE_SIZE(image));
  if (!png_image_finish_read(&image, nullptr, out.data(), 0, nullptr)) {
    png_image_free(&image);
    return false;
  }
  width = static_cast<int>(image.width);
  height = static_cast<int>(image.height);
  rgb = std::move(out);
  return true;
}

bool writeRgb565Png(std::string_view hostPath, const std::vector<uint16_t>& pixels, int width,
                    int height, std::string& why) {
  std::vector<uint8_t> bytes = encodeRgb565Png(pixels, width, height);
  if (bytes.empty()) {
    why = "cannot encode the picture";
    return false;
  }
  auto path = systemPath(hostPath);
  if (!path || !writeWholeFile(*path, bytes, false)) {
    why = "cannot write " + std::string(hostPath);
    return false;
  }
  return true;
}

}  // namespace platform
