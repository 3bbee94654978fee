// Pixelry: Windows BMP images in memory and on disk. Reads every common kind of BMP file
// (RLE8 and RLE4, top-down, bit fields with alpha, OS/2 headers); writes uncompressed ones,
// and RLE8 and RLE4 when asked.
// Include this header for the whole library.
#ifndef PIXELRY_H
#define PIXELRY_H

#include "Pixelry_Codec.h"
#include "Pixelry_DataTypes.h"
#include "Pixelry_Format.h"
#include "Pixelry_IO.h"
#include "Pixelry_Image.h"
#include "Pixelry_Integers.h"
#include "Pixelry_Quantize.h"
#include "Pixelry_Utilities.h"
#include "Pixelry_Warnings.h"

#endif
