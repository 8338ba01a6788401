// Draws the Tessaloom application icon and writes it as a Windows .ico file.
//
// The design: two overlapping rounded tiles, a blue one behind and an orange one in front, the
// front one carrying a white arrow pointing right (a folder duplicated beside the original).
// The geometry lives on a 16-unit grid, so every image size is an exact multiple of it.
//
// Entries written:
//   32x32, 4 bits per pixel, standard 16-colour palette with AND mask
//   16x16, 32x32, 48x48, 32-bit RGBA (with AND mask)
//   256x256 PNG
//
// Output is deterministic: the same program writes the same bytes on every run.
//
// Usage: make_icon OUTPUT.ico         write the icon
//        make_icon --check FILE.ico   exit non-zero unless FILE.ico is what would be written
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <fstream>
#include <iostream>
#include <iterator>
#include <string>
#include <vector>

namespace {

using Bytes = std::vector<std::uint8_t>;

// ---------------------------------------------------------------------------------------------
// Colours and palette

struct Rgb {
    int r, g, b;
};

// The standard 16-colour palette, in the usual Windows order.
constexpr std::array<Rgb, 16> kVgaPalette = {{{0, 0, 0},
                                              {128, 0, 0},
                                              {0, 128, 0},
                                              {128, 128, 0},
                                              {0, 0, 128},
                                              {128, 0, 128},
                                              {0, 128, 128},
                                              {192, 192, 192},
                                              {128, 128, 128},
                                              {255, 0, 0},
                                              {0, 255, 0},
                                              {255, 255, 0},
                                              {0, 0, 255},
                                              {255, 0, 255},
                                              {0, 255, 255},
                                              {255, 255, 255}}};

int NearestVgaIndex(const Rgb& c) {
    int best = 0;
    long bestDistance = -1;
    for (int i = 0; i < static_cast<int>(kVgaPalette.size()); ++i) {
        const Rgb& p = kVgaPalette[i];
        const long d = static_cast<long>(c.r - p.r) * (c.r - p.r) +
                       static_cast<long>(c.g - p.g) * (c.g - p.g) +
                       static_cast<long>(c.b - p.b) * (c.b - p.b);
        if (bestDistance < 0 || d < bestDistance) {
            best = i;
            bestDistance = d;
        }
    }
    return best;
}

// A paint has a true-colour look (with a vertical shade: `top` at the top of its shape, `bottom`
// at the bottom) and the colour it takes in the 16-colour image.
struct Paint {
    Rgb top;
    Rgb bottom;
    Rgb lowColour;  // quantised to the palette
};

const Paint kBackEdge = {{22, 55, 128}, {16, 42, 104}, {0, 0, 128}};
const Paint kBackFill = {{84, 150, 245}, {38, 98, 214}, {0, 0, 255}};
const Paint kFrontEdge = {{138, 62, 0}, {112, 46, 0}, {128, 0, 0}};
const Paint kFrontFill = {{255, 190, 70}, {245, 130, 20}, {255, 255, 0}};
const Paint kArrow = {{255, 255, 255}, {255, 246, 232}, {128, 0, 0}};

// ---------------------------------------------------------------------------------------------
// Geometry (16-unit design grid)

struct Box {
    double x0, y0, x1, y1;
};

// Signed distance from (x, y) to a rounded rectangle: negative inside.
double RoundedBoxDistance(double x, double y, const Box& b, double radius) {
    const double cx = (b.x0 + b.x1) / 2, cy = (b.y0 + b.y1) / 2;
    const double qx = std::fabs(x - cx) - ((b.x1 - b.x0) / 2 - radius);
    const double qy = std::fabs(y - cy) - ((b.y1 - b.y0) / 2 - radius);
    const double ox = std::max(qx, 0.0), oy = std::max(qy, 0.0);
    return std::sqrt(ox * ox + oy * oy) + std::min(std::max(qx, qy), 0.0) - radius;
}

struct Point {
    double x, y;
};

bool InsidePolygon(double x, double y, const std::vector<Point>& poly) {
    bool inside = false;
    for (std::size_t i = 0, j = poly.size() - 1; i < poly.size(); j = i++) {
        const Point& a = poly[i];
        const Point& b = poly[j];
        if ((a.y > y) != (b.y > y) && x < (b.x - a.x) * (y - a.y) / (b.y - a.y) + a.x) {
            inside = !inside;
        }
    }
    return inside;
}

const Box kBackTile = {1, 1, 11, 11};
const Box kFrontTile = {5, 5, 15, 15};
const double kTileRadius = 2.0;

// Arrow inside the front tile, pointing right. The smooth outline serves the larger sizes; at
// 16 pixels the head is drawn as a staircase so that it stays crisp.
const std::vector<Point> kArrowSmooth = {{7, 9},   {10, 9},  {10, 7}, {13, 10},
                                         {10, 13}, {10, 11}, {7, 11}};
const std::vector<Point> kArrowStepped = {
    {7, 9},   {10, 9},  {10, 7},  {11, 7},  {11, 8},  {12, 8},  {12, 9},  {13, 9},
    {13, 11}, {12, 11}, {12, 12}, {11, 12}, {11, 13}, {10, 13}, {10, 11}, {7, 11}};

// Outline width in pixels for each image size.
double EdgePixels(int size) {
    if (size <= 16) return 1.0;
    if (size <= 48) return 2.0;
    return 8.0;
}

// A drawing sample: which paint covers a point, and the shade position within its shape.
struct Hit {
    const Paint* paint = nullptr;
    double shade = 0;  // 0 at the top of the shape, 1 at the bottom
};

// Paints the scene at design point (x, y) for an image of `size` pixels.
Hit Sample(double x, double y, int size) {
    const double edge = EdgePixels(size) * 16.0 / size;  // outline width in design units
    Hit hit;
    auto tile = [&](const Box& box, const Paint& edgePaint, const Paint& fillPaint) {
        const double d = RoundedBoxDistance(x, y, box, kTileRadius);
        if (d > 0) return;
        hit.paint = d > -edge ? &edgePaint : &fillPaint;
        hit.shade = (y - box.y0) / (box.y1 - box.y0);
    };
    tile(kBackTile, kBackEdge, kBackFill);
    tile(kFrontTile, kFrontEdge, kFrontFill);
    if (InsidePolygon(x, y, size <= 16 ? kArrowStepped : kArrowSmooth)) {
        hit.paint = &kArrow;
        hit.shade = (y - 7.0) / 6.0;
    }
    return hit;
}

// ---------------------------------------------------------------------------------------------
// Rasterising

struct Image {
    int size = 0;
    std::vector<std::uint8_t> rgba;  // straight alpha, rows top to bottom
};

// True-colour image: each pixel averages an n x n grid of samples (premultiplied).
Image RenderTrueColour(int size) {
    const int n = 8;
    const double unit = size / 16.0;
    Image img;
    img.size = size;
    img.rgba.assign(static_cast<std::size_t>(size) * size * 4, 0);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            double r = 0, g = 0, b = 0, a = 0;
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const double x = (px + (sx + 0.5) / n) / unit;
                    const double y = (py + (sy + 0.5) / n) / unit;
                    const Hit hit = Sample(x, y, size);
                    if (!hit.paint) continue;
                    const double t = std::clamp(hit.shade, 0.0, 1.0);
                    const Rgb& c0 = hit.paint->top;
                    const Rgb& c1 = hit.paint->bottom;
                    r += c0.r + (c1.r - c0.r) * t;
                    g += c0.g + (c1.g - c0.g) * t;
                    b += c0.b + (c1.b - c0.b) * t;
                    a += 1;
                }
            }
            std::uint8_t* out = &img.rgba[(static_cast<std::size_t>(py) * size + px) * 4];
            if (a > 0) {
                out[0] = static_cast<std::uint8_t>(std::lround(r / a));
                out[1] = static_cast<std::uint8_t>(std::lround(g / a));
                out[2] = static_cast<std::uint8_t>(std::lround(b / a));
                out[3] = static_cast<std::uint8_t>(std::lround(255.0 * a / (n * n)));
            }
        }
    }
    return img;
}

// 16-colour image: each pixel takes the palette colour covering most of its samples.
// Returns palette indices; -1 is transparent.
std::vector<int> RenderLowColour(int size) {
    const int n = 8;
    const double unit = size / 16.0;
    std::vector<int> indices(static_cast<std::size_t>(size) * size, -1);
    for (int py = 0; py < size; ++py) {
        for (int px = 0; px < size; ++px) {
            std::array<int, 17> votes{};  // 16 palette entries + transparent
            for (int sy = 0; sy < n; ++sy) {
                for (int sx = 0; sx < n; ++sx) {
                    const double x = (px + (sx + 0.5) / n) / unit;
                    const double y = (py + (sy + 0.5) / n) / unit;
                    const Hit hit = Sample(x, y, size);
                    ++votes[hit.paint ? NearestVgaIndex(hit.paint->lowColour) : 16];
                }
            }
            const int winner =
                static_cast<int>(std::max_element(votes.begin(), votes.end()) - votes.begin());
            indices[static_cast<std::size_t>(py) * size + px] = winner == 16 ? -1 : winner;
        }
    }
    return indices;
}

// ---------------------------------------------------------------------------------------------
// Byte helpers

void Put16(Bytes& out, std::uint32_t v) {
    out.push_back(static_cast<std::uint8_t>(v));
    out.push_back(static_cast<std::uint8_t>(v >> 8));
}

void Put32(Bytes& out, std::uint32_t v) {
    Put16(out, v & 0xFFFF);
    Put16(out, v >> 16);
}

void Put32BigEndian(Bytes& out, std::uint32_t v) {
    for (int shift = 24; shift >= 0; shift -= 8)
        out.push_back(static_cast<std::uint8_t>(v >> shift));
}

// ---------------------------------------------------------------------------------------------
// Bitmap entries

int MaskRowBytes(int size) { return ((size + 31) / 32) * 4; }

void PutBitmapHeader(Bytes& out, int size, int bitCount, std::uint32_t imageBytes) {
    Put32(out, 40);                                    // biSize
    Put32(out, static_cast<std::uint32_t>(size));      // biWidth
    Put32(out, static_cast<std::uint32_t>(2 * size));  // biHeight: colour + mask
    Put16(out, 1);                                     // biPlanes
    Put16(out, static_cast<std::uint32_t>(bitCount));
    Put32(out, 0);  // BI_RGB
    Put32(out, imageBytes);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
    Put32(out, 0);
}

// AND mask, bottom-up: a set bit marks a transparent pixel.
template <typename IsTransparent>
void PutMask(Bytes& out, int size, IsTransparent isTransparent) {
    const int rowBytes = MaskRowBytes(size);
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < size; ++x) {
            if (isTransparent(x, y)) row[static_cast<std::size_t>(x / 8)] |= 0x80 >> (x % 8);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
}

Bytes TrueColourBitmap(const Image& img) {
    const int size = img.size;
    const auto alphaAt = [&](int x, int y) {
        return img.rgba[(static_cast<std::size_t>(y) * size + x) * 4 + 3];
    };
    Bytes out;
    PutBitmapHeader(out, size, 32,
                    static_cast<std::uint32_t>(size * size * 4 + MaskRowBytes(size) * size));
    for (int y = size - 1; y >= 0; --y) {
        for (int x = 0; x < size; ++x) {
            const std::uint8_t* p = &img.rgba[(static_cast<std::size_t>(y) * size + x) * 4];
            out.insert(out.end(), {p[2], p[1], p[0], p[3]});  // BGRA
        }
    }
    PutMask(out, size, [&](int x, int y) { return alphaAt(x, y) == 0; });
    return out;
}

Bytes LowColourBitmap(const std::vector<int>& indices, int size) {
    const int rowBytes = ((size * 4 + 31) / 32) * 4;
    const auto at = [&](int x, int y) { return indices[static_cast<std::size_t>(y) * size + x]; };
    Bytes out;
    PutBitmapHeader(out, size, 4,
                    static_cast<std::uint32_t>(rowBytes * size + MaskRowBytes(size) * size));
    for (const Rgb& c : kVgaPalette) {
        out.insert(out.end(), {static_cast<std::uint8_t>(c.b), static_cast<std::uint8_t>(c.g),
                               static_cast<std::uint8_t>(c.r), 0});
    }
    for (int y = size - 1; y >= 0; --y) {
        Bytes row(static_cast<std::size_t>(rowBytes), 0);
        for (int x = 0; x < size; ++x) {
            const int index = std::max(at(x, y), 0);  // transparent pixels are black under the mask
            row[static_cast<std::size_t>(x / 2)] |=
                static_cast<std::uint8_t>(x % 2 == 0 ? index << 4 : index);
        }
        out.insert(out.end(), row.begin(), row.end());
    }
    PutMask(out, size, [&](int x, int y) { return at(x, y) < 0; });
    return out;
}

// ---------------------------------------------------------------------------------------------
// PNG: zlib stream with fixed-Huffman deflate and greedy LZ77 matching

std::uint32_t Crc32(const std::uint8_t* data, std::size_t length, std::uint32_t crc = 0) {
    static const std::array<std::uint32_t, 256> table = [] {
        std::array<std::uint32_t, 256> t{};
        for (std::uint32_t i = 0; i < 256; ++i) {
            std::uint32_t c = i;
            for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
            t[i] = c;
        }
        return t;
    }();
    crc = ~crc;
    for (std::size_t i = 0; i < length; ++i) crc = table[(crc ^ data[i]) & 0xFF] ^ (crc >> 8);
    return ~crc;
}

std::uint32_t Adler32(const Bytes& data) {
    std::uint32_t a = 1, b = 0;
    for (std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    return (b << 16) | a;
}

class BitWriter {
public:
    explicit BitWriter(Bytes& out) : out_(out) {}

    // Writes `count` bits of `value`, least significant first.
    void Bits(std::uint32_t value, int count) {
        for (int i = 0; i < count; ++i) {
            if ((value >> i) & 1) current_ |= static_cast<std::uint8_t>(1 << used_);
            if (++used_ == 8) Flush();
        }
    }

    // Writes a Huffman code, most significant bit first.
    void Code(std::uint32_t code, int length) {
        for (int i = length - 1; i >= 0; --i) Bits((code >> i) & 1, 1);
    }

    void Flush() {
        if (used_ == 0) return;
        out_.push_back(current_);
        current_ = 0;
        used_ = 0;
    }

private:
    Bytes& out_;
    std::uint8_t current_ = 0;
    int used_ = 0;
};

void FixedLiteral(BitWriter& w, int symbol) {
    if (symbol < 144) {
        w.Code(0x30 + symbol, 8);
    } else if (symbol < 256) {
        w.Code(0x190 + (symbol - 144), 9);
    } else if (symbol < 280) {
        w.Code(symbol - 256, 7);
    } else {
        w.Code(0xC0 + (symbol - 280), 8);
    }
}

void FixedMatch(BitWriter& w, int length, int distance) {
    static const int lengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                       15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                       67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const int lengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                        2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const int distBase[30] = {1,    2,    3,    4,    5,    7,    9,    13,    17,    25,
                                     33,   49,   65,   97,   129,  193,  257,  385,   513,   769,
                                     1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const int distExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                      6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    int li = 28;
    while (lengthBase[li] > length) --li;
    FixedLiteral(w, 257 + li);
    w.Bits(static_cast<std::uint32_t>(length - lengthBase[li]), lengthExtra[li]);
    int di = 29;
    while (distBase[di] > distance) --di;
    w.Code(static_cast<std::uint32_t>(di), 5);
    w.Bits(static_cast<std::uint32_t>(distance - distBase[di]), distExtra[di]);
}

Bytes ZlibCompress(const Bytes& data) {
    const int window = 32768, minMatch = 3, maxMatch = 258, maxChain = 128;
    const int hashSize = 1 << 15;
    Bytes out = {0x78, 0x01};
    BitWriter w(out);
    w.Bits(1, 1);  // final block
    w.Bits(1, 2);  // fixed Huffman codes
    std::vector<int> head(hashSize, -1), prev(data.size(), -1);
    const int n = static_cast<int>(data.size());
    const auto hashAt = [&](int i) {
        return ((data[i] << 10) ^ (data[i + 1] << 5) ^ data[i + 2]) & (hashSize - 1);
    };
    const auto insert = [&](int i) {
        if (i + minMatch > n) return;
        const int h = hashAt(i);
        prev[i] = head[h];
        head[h] = i;
    };
    int i = 0;
    while (i < n) {
        int bestLength = 0, bestDistance = 0;
        if (i + minMatch <= n) {
            int chain = maxChain;
            for (int j = head[hashAt(i)]; j >= 0 && i - j <= window && chain-- > 0; j = prev[j]) {
                const int limit = std::min(maxMatch, n - i);
                int length = 0;
                while (length < limit && data[j + length] == data[i + length]) ++length;
                if (length > bestLength) {
                    bestLength = length;
                    bestDistance = i - j;
                    if (length == limit) break;
                }
            }
        }
        if (bestLength >= minMatch) {
            FixedMatch(w, bestLength, bestDistance);
            for (int k = 0; k < bestLength; ++k) insert(i + k);
            i += bestLength;
        } else {
            FixedLiteral(w, data[i]);
            insert(i);
            ++i;
        }
    }
    FixedLiteral(w, 256);  // end of block
    w.Flush();
    Put32BigEndian(out, Adler32(data));
    return out;
}

void PutPngChunk(Bytes& out, const char* type, const Bytes& body) {
    Put32BigEndian(out, static_cast<std::uint32_t>(body.size()));
    Bytes typed(type, type + 4);
    typed.insert(typed.end(), body.begin(), body.end());
    out.insert(out.end(), typed.begin(), typed.end());
    Put32BigEndian(out, Crc32(typed.data(), typed.size()));
}

int Paeth(int a, int b, int c) {
    const int p = a + b - c;
    const int pa = std::abs(p - a), pb = std::abs(p - b), pc = std::abs(p - c);
    if (pa <= pb && pa <= pc) return a;
    return pb <= pc ? b : c;
}

// Filters each row with whichever of the five PNG filters gives the smallest sum of magnitudes.
Bytes FilterRows(const Image& img) {
    const int stride = img.size * 4;
    Bytes out;
    Bytes zero(static_cast<std::size_t>(stride), 0);
    for (int y = 0; y < img.size; ++y) {
        const std::uint8_t* row = &img.rgba[static_cast<std::size_t>(y) * stride];
        const std::uint8_t* up = y > 0 ? row - stride : zero.data();
        Bytes best;
        long bestScore = -1;
        for (int filter = 0; filter < 5; ++filter) {
            Bytes candidate = {static_cast<std::uint8_t>(filter)};
            long score = 0;
            for (int x = 0; x < stride; ++x) {
                const int a = x >= 4 ? row[x - 4] : 0, b = up[x], c = x >= 4 ? up[x - 4] : 0;
                const int predictors[5] = {0, a, b, (a + b) / 2, Paeth(a, b, c)};
                const auto v = static_cast<std::uint8_t>(row[x] - predictors[filter]);
                candidate.push_back(v);
                score += v < 128 ? v : 256 - v;
            }
            if (bestScore < 0 || score < bestScore) {
                bestScore = score;
                best = std::move(candidate);
            }
        }
        out.insert(out.end(), best.begin(), best.end());
    }
    return out;
}

Bytes EncodePng(const Image& img) {
    Bytes out = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1A, '\n'};
    Bytes header;
    Put32BigEndian(header, static_cast<std::uint32_t>(img.size));
    Put32BigEndian(header, static_cast<std::uint32_t>(img.size));
    header.insert(header.end(), {8, 6, 0, 0, 0});  // 8-bit RGBA, deflate, adaptive, no interlace
    PutPngChunk(out, "IHDR", header);
    PutPngChunk(out, "IDAT", ZlibCompress(FilterRows(img)));
    PutPngChunk(out, "IEND", {});
    return out;
}

// ---------------------------------------------------------------------------------------------
// Icon file

struct Entry {
    int size;
    int bitCount;
    int colourCount;
    Bytes data;
};

Bytes BuildIcon() {
    std::vector<Entry> entries;
    entries.push_back({32, 4, 16, LowColourBitmap(RenderLowColour(32), 32)});
    for (int size : {16, 32, 48})
        entries.push_back({size, 32, 0, TrueColourBitmap(RenderTrueColour(size))});
    entries.push_back({256, 32, 0, EncodePng(RenderTrueColour(256))});

    Bytes out;
    Put16(out, 0);  // reserved
    Put16(out, 1);  // icon
    Put16(out, static_cast<std::uint32_t>(entries.size()));
    std::uint32_t offset = static_cast<std::uint32_t>(6 + 16 * entries.size());
    for (const Entry& e : entries) {
        out.push_back(static_cast<std::uint8_t>(e.size >= 256 ? 0 : e.size));
        out.push_back(static_cast<std::uint8_t>(e.size >= 256 ? 0 : e.size));
        out.push_back(static_cast<std::uint8_t>(e.colourCount));
        out.push_back(0);
        Put16(out, 1);  // planes
        Put16(out, static_cast<std::uint32_t>(e.bitCount));
        Put32(out, static_cast<std::uint32_t>(e.data.size()));
        Put32(out, offset);
        offset += static_cast<std::uint32_t>(e.data.size());
    }
    for (const Entry& e : entries) out.insert(out.end(), e.data.begin(), e.data.end());
    return out;
}

}  // namespace

int main(int argc, char** argv) {
    const bool check = argc == 3 && std::strcmp(argv[1], "--check") == 0;
    if (!(argc == 2 && argv[1][0] != '-') && !check) {
        std::cerr << "usage: make_icon OUTPUT.ico | make_icon --check FILE.ico\n";
        return 2;
    }
    const Bytes icon = BuildIcon();
    if (check) {
        std::ifstream in(argv[2], std::ios::binary);
        if (!in) {
            std::cerr << "cannot read " << argv[2] << "\n";
            return 1;
        }
        const Bytes existing((std::istreambuf_iterator<char>(in)),
                             std::istreambuf_iterator<char>());
        if (existing != icon) {
            std::cerr << argv[2]
                      << " differs from the generated icon; regenerate it with make_icon\n";
            return 1;
        }
        std::cout << argv[2] << " matches the generated icon (" << icon.size() << " bytes)\n";
        return 0;
    }
    std::ofstream out(argv[1], std::ios::binary);
    out.write(reinterpret_cast<const char*>(icon.data()),
              static_cast<std::streamsize>(icon.size()));
    if (!out) {
        std::cerr << "cannot write " << argv[1] << "\n";
        return 1;
    }
    std::cout << "wrote " << argv[1] << " (" << icon.size() << " bytes)\n";
    return 0;
}
