// Writes a small image, reads it back and checks a pixel: exit 0 when all went well.
#include <cstdio>

#include "Pixelry/Pixelry.h"

int main() {
  BMP image;
  image.SetSize(3, 2);
  image.SetBitDepth(24);
  image.SetPixel(2, 1, RGBApixel{10, 20, 30, 0});
  if (!image.WriteToFile("consumer.bmp")) return 1;

  BMP copy;
  if (!copy.ReadFromFile("consumer.bmp")) return 1;
  const RGBApixel pixel = copy.GetPixel(2, 1);
  const bool same = copy.TellWidth() == 3 && copy.TellHeight() == 2 && pixel.Blue == 10 &&
                    pixel.Green == 20 && pixel.Red == 30;
  std::remove("consumer.bmp");
  std::puts(same ? "consumer: ok" : "consumer: wrong pixel");
  return same ? 0 : 1;
}
