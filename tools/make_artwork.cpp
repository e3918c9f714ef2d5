// Draws Tessivard's own artwork: the 800 x 480 background bitmap (24 bits, bottom-up,
// BI_RGB, 3780 pixels per metre, image-size field 0) and the program's icon
// (16, 32 and 48 pixels, 256 colours). Host program, run by the build:
//   make_artwork OUTDIR   ->  OUTDIR/background.bmp, OUTDIR/updater.ico
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <algorithm>
#include <cstring>
#include <string>
#include <vector>

namespace {

struct Rgb { uint8_t r, g, b; };

struct Image {
    int w, h;
    std::vector<Rgb> px;
    std::vector<bool> opaque;
    Image(int w_, int h_) : w(w_), h(h_), px(size_t(w_) * h_, Rgb{0, 0, 0}), opaque(size_t(w_) * h_, false) {}
    void set(int x, int y, Rgb c) {
        if (x < 0 || y < 0 || x >= w || y >= h) return;
        px[size_t(y) * w + x] = c;
        opaque[size_t(y) * w + x] = true;
    }
    void fill(int x0, int y0, int x1, int y1, Rgb c) {
        for (int y = y0; y < y1; ++y)
            for (int x = x0; x < x1; ++x) set(x, y, c);
    }
    void frame(int x0, int y0, int x1, int y1, int t, Rgb c) {
        fill(x0, y0, x1, y0 + t, c); fill(x0, y1 - t, x1, y1, c);
        fill(x0, y0, x0 + t, y1, c); fill(x1 - t, y0, x1, y1, c);
    }
};

Rgb mix(Rgb a, Rgb b, double t) {
    auto m = [t](int x, int y) { return uint8_t(std::lround(x + (y - x) * t)); };
    return {m(a.r, b.r), m(a.g, b.g), m(a.b, b.b)};
}

// 5 x 7 capitals for the screen's lettering.
const char *glyph(char c) {
    switch (c) {
    case 'A': return " ### #   ##   #######   ##   ##   #";
    case 'C': return " ### #   ##    #    #    #   # ### ";
    case 'D': return "#### #   ##   ##   ##   ##   ##### ";
    case 'E': return "######    #    #### #    #    #####";
    case 'F': return "######    #    #### #    #    #    ";
    case 'G': return " ### #   ##    # ####   ##   # ####";
    case 'H': return "#   ##   ##   #######   ##   ##   #";
    case 'I': return " ###   #    #    #    #    #   ### ";
    case 'L': return "#    #    #    #    #    #    #####";
    case 'M': return "#   ### ### # ##   ##   ##   ##   #";
    case 'N': return "#   ###  ## # ##  ###   ##   ##   #";
    case 'O': return " ### #   ##   ##   ##   ##   # ### ";
    case 'P': return "#### #   ##   ##### #    #    #    ";
    case 'R': return "#### #   ##   ##### # #  #  # #   #";
    case 'S': return " #####    #     ###     #    ##### ";
    case 'T': return "#####  #    #    #    #    #    #  ";
    case 'U': return "#   ##   ##   ##   ##   ##   # ### ";
    case 'V': return "#   ##   ##   ##   ##   # # #   #  ";
    case 'W': return "#   ##   ##   ## # ## # ### ###   #";
    case 'Y': return "#   ##   # # #   #    #    #    #  ";
    case '-': return "               ###               ";
    case '.': return "                              ##  ";
    default: return "                                   ";
    }
}

int text_width(const std::string &s, int scale) { return int(s.size()) * 6 * scale - scale; }

void text(Image &img, const std::string &s, int cx, int y, int scale, Rgb c) {
    int x = cx - text_width(s, scale) / 2;
    for (char ch : s) {
        const char *g = glyph(ch);
        for (int gy = 0; gy < 7; ++gy)
            for (int gx = 0; gx < 5; ++gx)
                if (g[gy * 5 + gx] == '#') img.fill(x + gx * scale, y + gy * scale, x + (gx + 1) * scale, y + (gy + 1) * scale, c);
        x += 6 * scale;
    }
}

// The update's path as a picture: a memory card, an arrow, the flash chip.
void pictogram(Image &img, int cx, int cy, Rgb line, Rgb accent) {
    // Card with its cut corner.
    int x0 = cx - 170, y0 = cy - 50;
    img.fill(x0, y0, x0 + 4, y0 + 100, line);             // left
    img.fill(x0, y0 + 96, x0 + 80, y0 + 100, line);       // bottom
    img.fill(x0 + 76, y0 + 22, x0 + 80, y0 + 100, line);  // right
    img.fill(x0, y0, x0 + 58, y0 + 4, line);              // top
    for (int i = 0; i < 22; ++i) img.fill(x0 + 56 + i, y0 + i, x0 + 60 + i, y0 + i + 4, line);
    for (int k = 0; k < 4; ++k) img.fill(x0 + 14 + k * 12, y0 + 12, x0 + 20 + k * 12, y0 + 30, accent);
    // Arrow.
    img.fill(cx - 60, cy - 6, cx + 40, cy + 6, accent);
    for (int i = 0; i < 26; ++i) img.fill(cx + 40 + i, cy - 26 + i, cx + 42 + i, cy + 26 - i, accent);
    // Chip with pins.
    int c0 = cx + 100;
    img.frame(c0, cy - 45, c0 + 90, cy + 45, 4, line);
    img.fill(c0 + 22, cy - 23, c0 + 68, cy + 23, accent);
    for (int k = 0; k < 5; ++k) {
        int p = cy - 36 + k * 17;
        img.fill(c0 - 14, p, c0, p + 6, line);
        img.fill(c0 + 90, p, c0 + 104, p + 6, line);
    }
}

Image background() {
    const Rgb top{18, 32, 58}, bottom{4, 8, 18};
    Image img(800, 480);
    for (int y = 0; y < 480; ++y) {
        Rgb row = mix(top, bottom, y / 479.0);
        for (int x = 0; x < 800; ++x) {
            double glow = std::exp(-std::pow((x - 400) / 380.0, 2) - std::pow((y - 200) / 170.0, 2)) * 0.35;
            img.set(x, y, mix(row, Rgb{40, 70, 120}, glow));
        }
    }
    const Rgb ink{226, 233, 244}, soft{120, 140, 170}, accent{64, 156, 255};
    pictogram(img, 400, 180, ink, accent);
    text(img, "TESSIVARD", 400, 36, 6, ink);
    text(img, "UPDATING THE FLASH STORE", 400, 270, 3, ink);
    text(img, "PLEASE DO NOT REMOVE THE CARD OR THE POWER", 400, 310, 2, soft);
    // The bar lies at (50, 350) - (750, 370); a frame and a dark bed around it.
    img.frame(44, 344, 756, 376, 2, soft);
    img.fill(46, 346, 754, 374, Rgb{0, 0, 0});
    return img;
}

void put16(std::vector<uint8_t> &o, unsigned v) { o.push_back(uint8_t(v)); o.push_back(uint8_t(v >> 8)); }
void put32(std::vector<uint8_t> &o, uint32_t v) { put16(o, v & 0xFFFF); put16(o, v >> 16); }

void info_header(std::vector<uint8_t> &o, int w, int h, int bits, uint32_t colours) {
    put32(o, 40); put32(o, uint32_t(w)); put32(o, uint32_t(h)); put16(o, 1); put16(o, unsigned(bits));
    put32(o, 0);               // BI_RGB
    put32(o, 0);               // image size: may be 0 for BI_RGB
    put32(o, bits == 24 ? 3780 : 0); put32(o, bits == 24 ? 3780 : 0);
    put32(o, colours); put32(o, 0);
}

bool write_file(const std::string &path, const std::vector<uint8_t> &data) {
    FILE *f = std::fopen(path.c_str(), "wb");
    if (!f) return false;
    bool ok = std::fwrite(data.data(), 1, data.size(), f) == data.size();
    return std::fclose(f) == 0 && ok;
}

std::vector<uint8_t> bmp_file(const Image &img) {
    const uint32_t stride = uint32_t((img.w * 3 + 3) & ~3);
    std::vector<uint8_t> o;
    o.push_back('B'); o.push_back('M');
    put32(o, 14 + 40 + stride * img.h); put32(o, 0); put32(o, 14 + 40);
    info_header(o, img.w, img.h, 24, 0);
    for (int y = img.h - 1; y >= 0; --y) {
        for (int x = 0; x < img.w; ++x) {
            Rgb c = img.px[size_t(y) * img.w + x];
            o.push_back(c.b); o.push_back(c.g); o.push_back(c.r);
        }
        for (uint32_t pad = uint32_t(img.w) * 3; pad < stride; ++pad) o.push_back(0);
    }
    return o;
}

// The icon's 256 colours: a 6 x 6 x 6 cube and a grey ramp.
std::vector<Rgb> palette() {
    std::vector<Rgb> p;
    for (int r = 0; r < 6; ++r)
        for (int g = 0; g < 6; ++g)
            for (int b = 0; b < 6; ++b) p.push_back({uint8_t(r * 51), uint8_t(g * 51), uint8_t(b * 51)});
    while (p.size() < 256) { uint8_t v = uint8_t((p.size() - 216) * 255 / 39); p.push_back({v, v, v}); }
    return p;
}

uint8_t nearest(const std::vector<Rgb> &pal, Rgb c) {
    int best = 0, bestd = 1 << 30;
    for (int i = 0; i < 256; ++i) {
        int dr = pal[i].r - c.r, dg = pal[i].g - c.g, db = pal[i].b - c.b, d = dr * dr + dg * dg + db * db;
        if (d < bestd) bestd = d, best = i;
    }
    return uint8_t(best);
}

// A rounded blue tile with a white arrow pointing down into a bar: "into the store".
Image icon(int s) {
    Image img(s, s);
    const double r = s * 0.2;
    for (int y = 0; y < s; ++y)
        for (int x = 0; x < s; ++x) {
            double dx = std::max({r - x - 0.5, 0.0, x + 0.5 - (s - r)}), dy = std::max({r - y - 0.5, 0.0, y + 0.5 - (s - r)});
            if (dx * dx + dy * dy <= r * r) img.set(x, y, Rgb{51, 102, 204});
        }
    const Rgb w{255, 255, 255};
    auto at = [s](double f) { return int(std::lround(f * s)); };
    img.fill(at(0.42), at(0.15), at(0.58), at(0.50), w);
    for (int y = at(0.45); y < at(0.72); ++y) {
        int half = at(0.72) - y;
        img.fill(s / 2 - half, y, s / 2 + half, y + 1, w);
    }
    img.fill(at(0.2), at(0.78), at(0.8), at(0.86), w);
    return img;
}

std::vector<uint8_t> ico_file() {
    const int sizes[3] = {16, 32, 48};
    const std::vector<Rgb> pal = palette();
    std::vector<std::vector<uint8_t>> images;
    for (int s : sizes) {
        Image img = icon(s);
        std::vector<uint8_t> o;
        info_header(o, s, s * 2, 8, 256);
        for (Rgb c : pal) { o.push_back(c.b); o.push_back(c.g); o.push_back(c.r); o.push_back(0); }
        const int xor_stride = (s + 3) & ~3, and_stride = ((s + 31) / 32) * 4;
        for (int y = s - 1; y >= 0; --y) {
            for (int x = 0; x < xor_stride; ++x)
                o.push_back(x < s && img.opaque[size_t(y) * s + x] ? nearest(pal, img.px[size_t(y) * s + x]) : 0);
        }
        for (int y = s - 1; y >= 0; --y)
            for (int b = 0; b < and_stride; ++b) {
                uint8_t bits = 0;
                for (int k = 0; k < 8; ++k) {
                    int x = b * 8 + k;
                    if (x >= s || !img.opaque[size_t(y) * s + x]) bits |= uint8_t(0x80 >> k);
                }
                o.push_back(bits);
            }
        images.push_back(o);
    }
    std::vector<uint8_t> o;
    put16(o, 0); put16(o, 1); put16(o, 3);
    uint32_t offset = 6 + 16 * 3;
    for (int i = 0; i < 3; ++i) {
        o.push_back(uint8_t(sizes[i])); o.push_back(uint8_t(sizes[i]));
        o.push_back(0); o.push_back(0);          // 256 colours: the count byte is 0
        put16(o, 1); put16(o, 8);
        put32(o, uint32_t(images[i].size())); put32(o, offset);
        offset += uint32_t(images[i].size());
    }
    for (auto &img : images) o.insert(o.end(), img.begin(), img.end());
    return o;
}

} // namespace

int main(int argc, char **argv) {
    if (argc != 2) { std::fprintf(stderr, "usage: make_artwork OUTDIR\n"); return 2; }
    const std::string dir = argv[1];
    if (!write_file(dir + "/background.bmp", bmp_file(background())) || !write_file(dir + "/updater.ico", ico_file())) {
        std::perror("make_artwork");
        return 1;
    }
    return 0;
}
