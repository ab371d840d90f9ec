// jpeg_encoder: a baseline JFIF writer for 8-bit RGB pixels.
//
// Always YCbCr with 2 x 2 (4:2:0) chroma subsampling, separate luminance and chrominance
// quantisation tables (the Annex K examples scaled by quality, 1 .. 100, the usual IJG
// way) and Huffman tables built from the image's own statistics (two passes). Pixels are
// interleaved rows, top row first, 3 or 4 channels (a fourth is ignored). Any size from
// 1 x 1 to 65535 x 65535; partial MCUs are filled by repeating the last column and row.
//
//   jpeg_encode_file("/tmp/shot.jpg", rgba, w, h, 4, 85);
//   size_t n; unsigned char* jpg = jpeg_encode_mem(rgb, w, h, 3, 85, &n); ... free(jpg);
#ifndef JPEG_ENCODER_H
#define JPEG_ENCODER_H

#include <stdbool.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// The whole file in a malloc'ed buffer (the caller frees it) and its size in *size;
// null for bad arguments or when memory runs out.
unsigned char* jpeg_encode_mem(const unsigned char* pixels, int width, int height,
                               int channels, int quality, size_t* size);

// Writes the file at path (fopen "wb"); false when encoding, writing or closing failed.
bool jpeg_encode_file(const char* path, const unsigned char* pixels, int width, int height,
                      int channels, int quality);

#ifdef __cplusplus
}
#endif

#endif
