// The peers the benchmark measures Pixelry against: stb_image, stb_image_write and
// stb_image_resize, compiled here once.
#ifndef PIXELRY_BENCH_PEERCODECS_H
#define PIXELRY_BENCH_PEERCODECS_H

namespace peer {

// Decodes the file to RGBA, top row first; null on failure. Free with release.
unsigned char* load(const char* path, int& width, int& height);
// The same from size bytes of a file in memory.
unsigned char* loadMemory(const unsigned char* data, int size, int& width, int& height);
void release(unsigned char* pixels);
// Writes a BMP file from top-down pixels of 3 (24-bit file) or 4 channels (32-bit file).
bool writeBmp(const char* path, int width, int height, int channels, const unsigned char* pixels);
// Resamples RGBA pixels to outWidth x outHeight with stb's default filters.
bool resize(const unsigned char* in, int width, int height, unsigned char* out, int outWidth, int outHeight);

}  // namespace peer

#endif
