#include "SrcXLS/drawing/PictureFiles.h"

#include "SrcXLS/XLSBytes.h"
#include "SrcXLS/XLSDefs.h"
#include "SrcXLS/XLSText.h"

#include <algorithm>
#include <csetjmp>
#include <fstream>
#include <png.h>
#include <zlib.h>

// The EVP interface of this OpenSSL has no MD4; the low-level call has.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wdeprecated-declarations"
#include <openssl/md4.h>

namespace xls {

TMD4 MD4Digest(std::span<const uint8_t> data) {
    TMD4 digest{};
    MD4(data.data(), data.size(), digest.data());
    return digest;
}

#pragma GCC diagnostic pop

uint8_t PictureTypeFromExt(std::u16string_view fileName) {
    size_t dot = fileName.rfind(u'.');
    std::u16string ext = dot == fileName.npos ? std::u16string() : UpperCaseWide(fileName.substr(dot + 1));
    static const std::pair<const char16_t*, uint8_t> types[] = {
        {u"WMF", pictype::WMF},   {u"EMF", pictype::EMF}, {u"PICT", pictype::PICT}, {u"JPG", pictype::JPEG},
        {u"JPEG", pictype::JPEG}, {u"PNG", pictype::PNG}, {u"BMP", pictype::DIB},
    };
    for (auto [name, type] : types)
        if (ext == name) return type;
    throw XLSError("Unknown picture type " + WideToUtf8(ext));
}

// ---- zlib

std::vector<uint8_t> DeflateBytes(std::span<const uint8_t> data) {
    uLongf size = compressBound(uLong(data.size()));
    std::vector<uint8_t> out(size);
    if (compress2(out.data(), &size, data.data(), uLong(data.size()), Z_DEFAULT_COMPRESSION) != Z_OK)
        throw XLSError("Can not compress picture");
    out.resize(size);
    return out;
}

uint64_t PictureInflateBudget(uint64_t streamSize) {
    constexpr uint64_t floor = uint64_t(64) << 20, ceiling = uint64_t(256) << 20;
    return std::clamp(streamSize * 32, floor, ceiling);
}

std::optional<std::vector<uint8_t>> InflateBounded(std::span<const uint8_t> data, uint32_t expectedSize,
                                                   size_t* produced) {
    if (produced) *produced = 0;
    if (expectedSize > MaxInflatedSize) return std::nullopt;
    z_stream z{};
    if (inflateInit(&z) != Z_OK) return std::nullopt;
    z.next_in = const_cast<Bytef*>(data.data());
    z.avail_in = uInt(data.size());
    // The output grows as the stream yields bytes: a size the header claims
    // costs nothing until the data really comes. One byte of room beyond it
    // tells a stream that would go on from one that ends there.
    const size_t limit = size_t(expectedSize) + 1;
    std::vector<uint8_t> out;
    size_t step = std::min<size_t>(limit, std::max<size_t>(size_t(64) << 10, 4 * data.size()));
    int rc = Z_OK;
    while (rc == Z_OK && out.size() < limit) {
        const size_t had = out.size();
        const size_t room = std::min(step, limit - had);
        // Geometric growth, never past the claimed size.
        if (had + room > out.capacity())
            out.reserve(std::min(limit, std::max(had + room, 2 * out.capacity())));
        out.resize(had + room);
        z.next_out = out.data() + had;
        z.avail_out = uInt(room);
        const uInt inBefore = z.avail_in;
        rc = inflate(&z, Z_NO_FLUSH);
        out.resize(had + room - z.avail_out);
        // Z_BUF_ERROR: nothing could be done; the data ended early.
        if (rc == Z_BUF_ERROR || (rc == Z_OK && out.size() == had && z.avail_in == inBefore)) break;
        step = std::min<size_t>(step * 2, size_t(16) << 20);
    }
    const bool ok = rc == Z_STREAM_END && z.total_out == expectedSize;
    if (produced) *produced = out.size();
    inflateEnd(&z);
    if (!ok) return std::nullopt;
    return out;
}

// ---- BMP

namespace {

[[noreturn]] void Invalid(const char* why) {
    throw XLSError(std::string("Invalid bitmap: ") + why);
}

struct TBitmap {
    uint32_t Width = 0, Height = 0;
    // Palette images keep indexes; others RGBA.
    bool Indexed = false;
    bool Alpha = false;
    std::vector<std::array<uint8_t, 3>> Palette;
    std::vector<uint8_t> Pixels; // Width x Height, 1 byte (index) or 4 (RGBA) each, top row first
};

// Value of a masked field scaled to 8 bits.
uint8_t MaskValue(uint32_t pixel, uint32_t mask) {
    if (mask == 0) return 0;
    int shift = 0;
    while (!(mask & (1u << shift))) ++shift;
    uint32_t bits = 0;
    for (uint32_t m = mask >> shift; m & 1; m >>= 1) ++bits;
    uint32_t v = (pixel & mask) >> shift;
    uint32_t max = bits >= 32 ? 0xFFFFFFFFu : (1u << bits) - 1;
    return uint8_t(uint64_t(v) * 255 / (max ? max : 1));
}

TBitmap DecodeBmp(std::span<const uint8_t> bmp) {
    TByteReader r(bmp);
    if (bmp.size() < 26 || bmp[0] != 'B' || bmp[1] != 'M') Invalid("no BMP file header");
    r.Skip(10);
    const uint32_t dataOffset = r.U32();
    const uint32_t headerSize = r.U32();
    TBitmap out;
    int64_t width = 0, height = 0;
    uint16_t bpp = 0;
    uint32_t compression = 0, colorsUsed = 0;
    uint32_t masks[4] = {0, 0, 0, 0};
    if (headerSize == 12) {
        width = r.U16();
        height = int16_t(r.U16());
        r.U16();
        bpp = r.U16();
    } else if (headerSize >= 40 && headerSize <= 124) {
        TByteReader h(bmp.subspan(14, std::min<size_t>(headerSize, bmp.size() - 14)));
        h.Skip(4);
        width = int32_t(h.U32());
        height = int32_t(h.U32());
        h.U16();
        bpp = h.U16();
        compression = h.U32();
        h.Skip(12);
        colorsUsed = h.U32();
        h.Skip(4);
        if (headerSize >= 56) {
            for (auto& m : masks) m = h.U32();
        } else if (headerSize >= 52) {
            for (int i = 0; i < 3; ++i) masks[i] = h.U32();
        }
    } else {
        Invalid("unknown header");
    }
    const bool topDown = height < 0;
    if (height < 0) height = -height;
    if (width <= 0 || height <= 0) Invalid("empty image");
    if (uint64_t(width) * uint64_t(height) > MaxBitmapPixels) Invalid("image too large");
    out.Width = uint32_t(width);
    out.Height = uint32_t(height);

    // Bit fields stand after the 40-byte header when it has no room for them.
    if (compression == 3 && headerSize == 40) {
        TByteReader m(bmp.subspan(std::min<size_t>(54, bmp.size())));
        for (int i = 0; i < 3; ++i) masks[i] = m.U32("bit fields");
    }
    if (compression == 0 && bpp == 16) {
        const uint32_t rgb555[4] = {0x7C00, 0x03E0, 0x001F, 0};
        std::copy_n(rgb555, 4, masks);
    } else if (compression == 0 && bpp == 32) {
        const uint32_t rgb888[4] = {0xFF0000, 0xFF00, 0xFF, 0};
        std::copy_n(rgb888, 4, masks);
    }
    const bool rle = (compression == 1 && bpp == 8) || (compression == 2 && bpp == 4);
    if (!(compression == 0 || rle || (compression == 3 && (bpp == 16 || bpp == 32))))
        Invalid("unsupported compression");
    if (bpp != 1 && bpp != 4 && bpp != 8 && bpp != 16 && bpp != 24 && bpp != 32) Invalid("unsupported depth");

    if (bpp <= 8) {
        out.Indexed = true;
        size_t entries = colorsUsed ? colorsUsed : (size_t(1) << bpp);
        if (entries > 256) Invalid("palette too large");
        size_t entrySize = headerSize == 12 ? 3 : 4;
        size_t at = 14 + headerSize;
        if (at > bmp.size()) Invalid("header beyond the end");
        const size_t end = std::clamp<size_t>(dataOffset, at, bmp.size());
        entries = std::min(entries, (end - at) / entrySize);
        for (size_t i = 0; i < entries; ++i) {
            const uint8_t* p = bmp.data() + at + i * entrySize;
            out.Palette.push_back({p[2], p[1], p[0]});
        }
        if (out.Palette.empty()) Invalid("no palette");
    } else {
        out.Alpha = masks[3] != 0;
    }
    if (dataOffset >= bmp.size()) Invalid("no pixel data");
    std::span<const uint8_t> pixels = bmp.subspan(dataOffset);
    const size_t perPixel = out.Indexed ? 1 : 4;
    const size_t w = out.Width, hgt = out.Height;
    auto rowAt = [&](size_t y) { return topDown ? y : hgt - 1 - y; };

    if (!rle) {
        const size_t stride = ((w * bpp + 31) / 32) * 4;
        if (stride * hgt > pixels.size()) Invalid("pixel data beyond the end");
        out.Pixels.assign(w * hgt * perPixel, 0);
        for (size_t y = 0; y < hgt; ++y) {
            const uint8_t* src = pixels.data() + y * stride;
            uint8_t* dst = out.Pixels.data() + rowAt(y) * w * perPixel;
            for (size_t x = 0; x < w; ++x) {
                if (bpp <= 8) {
                    size_t bit = x * bpp;
                    uint8_t v = uint8_t((src[bit / 8] >> (8 - bpp - bit % 8)) & ((1 << bpp) - 1));
                    dst[x] = std::min<uint8_t>(v, uint8_t(out.Palette.size() - 1));
                } else if (bpp == 24) {
                    dst[4 * x] = src[3 * x + 2];
                    dst[4 * x + 1] = src[3 * x + 1];
                    dst[4 * x + 2] = src[3 * x];
                    dst[4 * x + 3] = 255;
                } else {
                    uint32_t v = bpp == 16 ? GetU16(src + 2 * x) : GetU32(src + 4 * x);
                    dst[4 * x] = MaskValue(v, masks[0]);
                    dst[4 * x + 1] = MaskValue(v, masks[1]);
                    dst[4 * x + 2] = MaskValue(v, masks[2]);
                    dst[4 * x + 3] = out.Alpha ? MaskValue(v, masks[3]) : 255;
                }
            }
        }
        return out;
    }

    // RLE: runs and escapes, rows bottom-up; pixels never reached stay 0.
    out.Pixels.assign(w * hgt, 0);
    TByteReader in(pixels);
    size_t x = 0, y = 0;
    const uint8_t top = uint8_t(out.Palette.size() - 1);
    auto put = [&](uint8_t v) {
        if (x < w && y < hgt) out.Pixels[rowAt(y) * w + x] = std::min(v, top);
        ++x;
    };
    while (!in.AtEnd() && y < hgt) {
        uint8_t count = in.U8(), value = in.U8("RLE data");
        if (count > 0) {
            for (int i = 0; i < count; ++i)
                put(bpp == 8 ? value : uint8_t(i % 2 == 0 ? value >> 4 : value & 0x0F));
            continue;
        }
        if (value == 0) {
            x = 0;
            ++y;
        } else if (value == 1) {
            break;
        } else if (value == 2) {
            x += in.U8("RLE delta");
            y += in.U8("RLE delta");
        } else {
            size_t bytes = bpp == 8 ? value : (value + 1) / 2;
            auto literal = in.Bytes(bytes, "RLE literal");
            for (int i = 0; i < value; ++i)
                put(bpp == 8
                        ? literal[size_t(i)]
                        : uint8_t(i % 2 == 0 ? literal[size_t(i / 2)] >> 4 : literal[size_t(i / 2)] & 0x0F));
            if (bytes % 2) in.Skip(1, "RLE padding");
        }
    }
    return out;
}

void PngWrite(png_structp png, png_bytep data, png_size_t length) {
    auto* out = static_cast<std::vector<uint8_t>*>(png_get_io_ptr(png));
    out->insert(out->end(), data, data + length);
}

void PngFlush(png_structp) {}

// libpng reports failures by a long jump: nothing here has a destructor to
// run, the buffers belong to the caller.
bool WritePngImage(png_structp png, png_infop info, const TBitmap& bitmap, png_color* palette, uint8_t* row,
                   std::vector<uint8_t>* out) {
    if (setjmp(png_jmpbuf(png))) return false;
    png_set_write_fn(png, out, PngWrite, PngFlush);
    const int colorType = bitmap.Indexed ? PNG_COLOR_TYPE_PALETTE
                          : bitmap.Alpha ? PNG_COLOR_TYPE_RGB_ALPHA
                                         : PNG_COLOR_TYPE_RGB;
    png_set_IHDR(png, info, bitmap.Width, bitmap.Height, 8, colorType, PNG_INTERLACE_NONE,
                 PNG_COMPRESSION_TYPE_DEFAULT, PNG_FILTER_TYPE_DEFAULT);
    if (bitmap.Indexed) png_set_PLTE(png, info, palette, int(bitmap.Palette.size()));
    png_write_info(png, info);
    const size_t w = bitmap.Width;
    for (size_t y = 0; y < bitmap.Height; ++y) {
        if (bitmap.Indexed) {
            std::copy_n(bitmap.Pixels.data() + y * w, w, row);
        } else {
            const uint8_t* src = bitmap.Pixels.data() + y * w * 4;
            for (size_t x = 0, o = 0; x < w; ++x) {
                row[o++] = src[4 * x];
                row[o++] = src[4 * x + 1];
                row[o++] = src[4 * x + 2];
                if (bitmap.Alpha) row[o++] = src[4 * x + 3];
            }
        }
        png_write_row(png, row);
    }
    png_write_end(png, nullptr);
    return true;
}

std::vector<uint8_t> EncodePng(const TBitmap& bitmap) {
    std::vector<uint8_t> out;
    std::vector<png_color> palette;
    for (const auto& c : bitmap.Palette) palette.push_back({c[0], c[1], c[2]});
    std::vector<uint8_t> row(size_t(bitmap.Width) * (bitmap.Alpha ? 4 : bitmap.Indexed ? 1 : 3));
    png_structp png = png_create_write_struct(PNG_LIBPNG_VER_STRING, nullptr, nullptr, nullptr);
    png_infop info = png ? png_create_info_struct(png) : nullptr;
    const bool ok = info && WritePngImage(png, info, bitmap, palette.data(), row.data(), &out);
    png_destroy_write_struct(&png, &info);
    if (!ok) throw XLSError("Can not write PNG");
    return out;
}

} // namespace

std::vector<uint8_t> BitmapToPng(std::span<const uint8_t> bmp) {
    TBitmap bitmap;
    try {
        bitmap = DecodeBmp(bmp);
    } catch (const XLSError& e) {
        if (std::string_view(e.what()).starts_with("Invalid bitmap")) throw;
        throw XLSError(std::string("Invalid bitmap: ") + e.what());
    }
    return EncodePng(bitmap);
}

std::vector<uint8_t> ReadWholeFile(const std::filesystem::path& file) {
    std::ifstream in(file, std::ios::binary);
    if (!in) throw XLSError("Cannot open file " + file.string());
    return std::vector<uint8_t>(std::istreambuf_iterator<char>(in), {});
}

} // namespace xls
