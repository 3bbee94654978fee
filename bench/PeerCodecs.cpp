#include "PeerCodecs.h"

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_BMP
#include <stb/stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb/stb_image_write.h>
#define STB_IMAGE_RESIZE_IMPLEMENTATION
#include <stb/stb_image_resize.h>

namespace peer {

unsigned char* load(const char* path, int& width, int& height) {
  int channels = 0;
  return stbi_load(path, &width, &height, &channels, 4);
}

unsigned char* loadMemory(const unsigned char* data, int size, int& width, int& height) {
  int channels = 0;
  return stbi_load_from_memory(data, size, &width, &height, &channels, 4);
}

void release(unsigned char* pixels) { stbi_image_free(pixels); }

bool writeBmp(const char* path, int width, int height, int channels, const unsigned char* pixels) {
  return stbi_write_bmp(path, width, height, channels, pixels) != 0;
}

bool resize(const unsigned char* in, int width, int height, unsigned char* out, int outWidth, int outHeight) {
  return stbir_resize_uint8(in, width, height, 0, out, outWidth, outHeight, 0, 4) != 0;
}

}  // namespace peer
