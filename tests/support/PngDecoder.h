#pragma once

#include "Colour.h"

#include <png.h>

#include <csetjmp>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <string>
#include <vector>

namespace mandel::testing {

// A PNG as libpng's own decoder reads it: what a viewer would show.
struct DecodedPng {
    bool ok = false;
    std::string error;
    int width = 0, height = 0;
    std::vector<Colour> pixels;  // row by row
    std::map<std::string, std::string> texts;
};

namespace detail {

struct MemoryReader {
    const std::vector<unsigned char>* bytes;
    std::size_t at = 0;
    std::string error;
};

inline void readMemory(png_structp png, png_bytep out, std::size_t length)
{
    auto* r = static_cast<MemoryReader*>(png_get_io_ptr(png));
    if (r->at + length > r->bytes->size())
        png_error(png, "read past the end");
    std::memcpy(out, r->bytes->data() + r->at, length);
    r->at += length;
}

inline void onError(png_structp png, png_const_charp message)
{
    static_cast<MemoryReader*>(png_get_error_ptr(png))->error = message;
    png_longjmp(png, 1);
}

inline bool decodeInto(png_structp png, png_infop info, DecodedPng* out, std::vector<unsigned char>* rows)
{
    if (setjmp(png_jmpbuf(png)))
        return false;
    png_set_crc_action(png, PNG_CRC_ERROR_QUIT, PNG_CRC_ERROR_QUIT);
    png_read_info(png, info);
    out->width = static_cast<int>(png_get_image_width(png, info));
    out->height = static_cast<int>(png_get_image_height(png, info));
    if (png_get_bit_depth(png, info) != 8 || png_get_color_type(png, info) != PNG_COLOR_TYPE_RGB)
        png_error(png, "not 8-bit RGB");
    const std::size_t stride = static_cast<std::size_t>(out->width) * 3;
    rows->resize(stride * static_cast<std::size_t>(out->height));
    for (int y = 0; y < out->height; ++y)
        png_read_row(png, rows->data() + stride * static_cast<std::size_t>(y), nullptr);
    png_read_end(png, info);
    return true;
}

} // namespace detail

// Decodes a whole PNG held in memory, checking every checksum.
inline DecodedPng decodePng(const std::vector<unsigned char>& bytes)
{
    DecodedPng out;
    detail::MemoryReader reader{&bytes, 0, {}};
    png_structp png = png_create_read_struct(PNG_LIBPNG_VER_STRING, &reader, &detail::onError,
                                             [](png_structp, png_const_charp) {});
    png_infop info = png_create_info_struct(png);
    png_set_read_fn(png, &reader, &detail::readMemory);
    std::vector<unsigned char> rows;
    out.ok = detail::decodeInto(png, info, &out, &rows);
    out.error = reader.error;
    if (out.ok) {
        png_textp texts = nullptr;
        int count = 0;
        png_get_text(png, info, &texts, &count);
        for (int i = 0; i < count; ++i)
            out.texts[texts[i].key] = std::string(texts[i].text, texts[i].text_length);
        for (std::size_t i = 0; i < rows.size(); i += 3)
            out.pixels.push_back(composeColour(rows[i], rows[i + 1], rows[i + 2]));
    }
    png_destroy_read_struct(&png, &info, nullptr);
    return out;
}

// The same, of the file at `p`.
inline DecodedPng decodePngFile(const std::filesystem::path& p)
{
    std::ifstream in(p, std::ios::binary);
    return decodePng({std::istreambuf_iterator<char>(in), {}});
}

} // namespace mandel::testing
