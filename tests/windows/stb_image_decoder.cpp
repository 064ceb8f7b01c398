// stb_image's decoder, built once for the tests that read PNG files back.
#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
