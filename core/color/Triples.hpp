#pragma once

// The colour triples the whole library shares: RGB (display-referred, sRGB-encoded unless a
// caller says linear) and Lab (Oklab: L 0 black to 1 white, a and b the chroma axes).

namespace lumivert {

struct RGB {
    float r = 0;
    float g = 0;
    float b = 0;

    friend bool operator==(const RGB&, const RGB&) = default;

    RGB& operator+=(const RGB& o)
    {
        r += o.r;
        g += o.g;
        b += o.b;
        return *this;
    }
    RGB& operator-=(const RGB& o)
    {
        r -= o.r;
        g -= o.g;
        b -= o.b;
        return *this;
    }
    RGB& operator*=(float s)
    {
        r *= s;
        g *= s;
        b *= s;
        return *this;
    }
};

inline RGB operator+(RGB x, const RGB& y) { return x += y; }
inline RGB operator-(RGB x, const RGB& y) { return x -= y; }
inline RGB operator*(RGB x, float s) { return x *= s; }
inline RGB operator*(float s, RGB x) { return x *= s; }
inline RGB operator*(const RGB& x, const RGB& y) { return {x.r * y.r, x.g * y.g, x.b * y.b}; }
inline RGB operator/(const RGB& x, float s) { return {x.r / s, x.g / s, x.b / s}; }
// a + t × (b − a) per component: the interpolation step of every lookup.
inline RGB lerp(const RGB& a, const RGB& b, float t)
{
    return {a.r + t * (b.r - a.r), a.g + t * (b.g - a.g), a.b + t * (b.b - a.b)};
}

struct Lab {
    float L = 0;
    float a = 0;
    float b = 0;

    friend bool operator==(const Lab&, const Lab&) = default;

    Lab& operator+=(const Lab& o)
    {
        L += o.L;
        a += o.a;
        b += o.b;
        return *this;
    }
    Lab& operator-=(const Lab& o)
    {
        L -= o.L;
        a -= o.a;
        b -= o.b;
        return *this;
    }
    Lab& operator*=(float s)
    {
        L *= s;
        a *= s;
        b *= s;
        return *this;
    }
};

inline Lab operator+(Lab x, const Lab& y) { return x += y; }
inline Lab operator-(Lab x, const Lab& y) { return x -= y; }
inline Lab operator*(Lab x, float s) { return x *= s; }
inline Lab operator*(float s, Lab x) { return x *= s; }

// An Oklab chroma offset (a, b): band casts, band means.
struct Chroma {
    float a = 0;
    float b = 0;

    friend bool operator==(const Chroma&, const Chroma&) = default;

    Chroma& operator+=(const Chroma& o)
    {
        a += o.a;
        b += o.b;
        return *this;
    }
    Chroma& operator-=(const Chroma& o)
    {
        a -= o.a;
        b -= o.b;
        return *this;
    }
    Chroma& operator*=(float s)
    {
        a *= s;
        b *= s;
        return *this;
    }
};

inline Chroma operator+(Chroma x, const Chroma& y) { return x += y; }
inline Chroma operator-(Chroma x, const Chroma& y) { return x -= y; }
inline Chroma operator*(Chroma x, float s) { return x *= s; }
inline Chroma operator*(float s, Chroma x) { return x *= s; }

}  // namespace lumivert
