#include "reference_filter.h"

#include <cmath>
#include <cstdlib>

namespace reference {

using kivo::test::HostCall;
using kivo::host::RgbaImage;

uint32_t halve(uint32_t value, uint32_t limit) {
    while (value > limit) value = value / 2;
    return value;
}

int mix(int from, int to, double amount) {
    double p = (1.0 - amount) * from;
    double q = to * amount;
    double s = p + q;
    if (!(s > -2147483648.0 && s < 2147483648.0)) std::abort(); // outside what the formula defines
    int r = (int)s;
    if (r < 0) r = 0;
    if (r > 255) r = 255;
    return r;
}

double fade(const MixerInstance &m, const double vector[3]) {
    if (m.controlItem == 0) return 0.0;
    double q = vector[m.fadeAxis] / (double)m.fadeDivisor;
    if (q > 1.0) q = 1.0;
    if (q < 0.0) {
        if (m.allowNegatives != 0)
            q = std::fabs(q);
        else
            q = 0.0;
    }
    return q;
}

namespace {

struct Frame {
    const MixerInstance &m;
    const RgbaImage &source;
    RgbaImage &output;
    std::vector<HostCall> *calls;
    int width, height;

    int channel(int x, int y, int c) const { return source.pixels[((size_t)y * width + x) * 4 + c]; }

    void fetch(int type, int y) {
        if (calls) calls->push_back({HostCall::Kind::GetLine, type, y, {}});
    }
    void write(int x, int y, int r, int g, int b, int a) {
        // Rows above the frame are not written at all.
        if (y < 0) return;
        if (calls) {
            calls->push_back({HostCall::Kind::SetRGB, x, y, {(uint8_t)r, (uint8_t)g, (uint8_t)b}});
            calls->push_back({HostCall::Kind::SetAlpha, x, y, {(uint8_t)a, 0, 0}});
        }
        uint8_t *p = &output.pixels[((size_t)y * width + x) * 4];
        p[0] = (uint8_t)r;
        p[1] = (uint8_t)g;
        p[2] = (uint8_t)b;
        p[3] = (uint8_t)a;
    }
};

int luminance(int r, int g, int b) { return (int)(0.3 * r + 0.59 * g + 0.11 * b); }
int smearLuminance(int r, int g, int b) { return (int)(0.11 * b + 0.3 * r + 0.59 * g); }

} // namespace

double vignetteAmount(int X, int Y, int W, double (*cosine)(double)) {
    double c = cosine(std::sqrt((double)(X * X + Y * Y)) * (3.1416 / W));
    if (c < 0) c = 0;
    return 1 - c;
}

void renderFrame(const MixerInstance &m, const RgbaImage &source, int32_t frameNumber, double fadeAmount,
                 Generator &generator, RgbaImage &output, std::vector<HostCall> *calls) {
    output = RgbaImage(source.width, source.height);
    Frame f{m, source, output, calls, source.width, source.height};
    const int W = f.width, H = f.height;

    int scratchBase[6] = {W / 6, W / 6 + 8, W / 6 + 11, (W / 4) * 3, W - 8, W / 2};
    double widthSquared = (double)W * W;

    int jitter[6];
    for (int i = 0; i < 6; i++) jitter[i] = (int)halve(generator.next(), 16);
    generator.state = (uint32_t)frameNumber;
    int flicker = (int)halve(generator.next(), 24);
    int jumpRoll = (int)halve(generator.next(), 16);
    if (calls) calls->push_back({HostCall::Kind::MonitorInit, H, 0, {}});
    bool jump = false;

    int effect = m.effect;
    if (effect < 0 || effect > 2) effect = 3;

    for (int y0 = 0; y0 < H; y0 += m.grainHeight) {
        for (int x0 = 0; x0 < W; x0 += m.grainWidth) {
            int grain = (int)halve(generator.next(), 255);
            if (effect == 2) grain = (int)halve(grain, 24);
            int dust = (int)halve(generator.next(), 300);
            for (int dy = 0; dy < m.grainHeight; dy++) {
                int y = y0 + dy;
                if (y >= H) break;
                for (int type = 32; type <= 35; type++) f.fetch(type, y);
                if (m.sprocketJump != 0 && y > 3 && (jumpRoll == 3 || jumpRoll == 12)) jump = true;
                for (int dx = 0; dx < m.grainWidth; dx++) {
                    int x = x0 + dx;
                    if (x >= W) break;
                    int R = f.channel(x, y, 0), G = f.channel(x, y, 1), B = f.channel(x, y, 2);
                    int A = f.channel(x, y, 3);
                    int out[3];
                    if (effect == 0) {
                        out[0] = mix(R, grain, fadeAmount);
                        out[1] = mix(G, grain, fadeAmount);
                        out[2] = mix(B, grain, fadeAmount);
                    } else if (effect == 1) {
                        out[0] = mix(R, m.mixRed, fadeAmount);
                        out[1] = mix(G, m.mixGreen, fadeAmount);
                        out[2] = mix(B, m.mixBlue, fadeAmount);
                    } else if (effect == 3) {
                        out[0] = mix(R, 255 - R, fadeAmount);
                        out[1] = mix(G, 255 - G, fadeAmount);
                        out[2] = mix(B, 255 - B, fadeAmount);
                    } else {
                        uint16_t v = (uint16_t)(grain + luminance(R, G, B));
                        if (m.whiteOut) v = (uint16_t)(v + v);
                        if (m.filmQuality != 0) {
                            if (dust == 152) v = (uint16_t)mix(v, 2 * flicker, 0.5);
                            if (flicker % 3 == 0) {
                                if (m.whiteOut)
                                    v = (uint16_t)(v - flicker);
                                else
                                    v = (uint16_t)(v + flicker);
                            }
                            bool scratch = false;
                            for (int i = 0; i < 6; i++)
                                if (x == scratchBase[i] + jitter[i]) scratch = true;
                            if (scratch) {
                                int roll = (int)halve(generator.next(), 6);
                                if (roll != 3) v = (uint16_t)mix(v, 16, 0.9);
                            }
                        }
                        if (jump && y > H - 4) v = 0;
                        if (v > 255) v = (uint16_t)(255 - grain);
                        if (m.outOfFocus && m.focalDisplacement >= 1) {
                            int d = m.focalDisplacement;
                            for (int k = x - d; k > d; k -= d)
                                v = (uint16_t)mix(v, smearLuminance(f.channel(k, y, 0), f.channel(k, y, 1),
                                                                    f.channel(k, y, 2)),
                                                  0.4);
                        }
                        if (m.vignette) {
                            int X = x - W / 2, Y = y - H / 2;
                            if (!((double)Y * Y > widthSquared))
                                v = (uint16_t)mix(v, 16, vignetteAmount(X, Y, W, [](double a) { return std::cos(a); }));
                        }
                        int tr = v, tg = v, tb = v;
                        if (m.sepia) {
                            tr = v + 60 > 255 ? 255 : v + 60;
                            tg = v + 30 > 255 ? 255 : v + 30;
                            tb = (int)v - 20 < 0 ? 0 : v - 20;
                        }
                        out[0] = mix(R, tr, fadeAmount);
                        out[1] = mix(G, tg, fadeAmount);
                        out[2] = mix(B, tb, fadeAmount);
                    }
                    f.write(x, jump ? y - 4 : y, out[0], out[1], out[2], A);
                }
            }
        }
        if (y0 % 10 == 0 && calls) calls->push_back({HostCall::Kind::MonitorStep, 10, 0, {}});
    }
    if (calls) calls->push_back({HostCall::Kind::MonitorDone, 0, 0, {}});
}

uint64_t checksum(const RgbaImage &image) {
    uint64_t h = 1469598103934665603ull;
    for (uint8_t byte : image.pixels) {
        h ^= byte;
        h *= 1099511628211ull;
    }
    return h;
}

RgbaImage testPicture(int32_t width, int32_t height, uint32_t seed) {
    RgbaImage image(width, height);
    Generator noise{seed};
    for (int y = 0; y < height; y++)
        for (int x = 0; x < width; x++) {
            uint8_t *p = image.at(x, y);
            const uint32_t n = noise.next();
            p[0] = (uint8_t)(x * 255 / (width > 1 ? width - 1 : 1));
            p[1] = (uint8_t)(y * 255 / (height > 1 ? height - 1 : 1));
            p[2] = (uint8_t)((x ^ y) * 7 + (n & 31));
            p[3] = (uint8_t)(255 - (n >> 8 & 63));
            if ((x / 8 + y / 8) % 5 == 0) p[0] = p[1] = p[2] = (uint8_t)(x % 2 ? 255 : 0);
        }
    return image;
}

} // namespace reference
