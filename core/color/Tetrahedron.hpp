#pragma once

// The tetrahedron of a lattice cell that a lookup falls in. The cell splits along its main
// diagonal into six tetrahedra, one per order of the three fractions; each runs from the cell's
// origin through one edge neighbour and one face neighbour to the far corner. Shared by every
// tetrahedral lookup so that they pick the same tetrahedron on ties and agree bit for bit.

#include <cstddef>

namespace lumivert {

struct Tetrahedron {
    std::ptrdiff_t edge;  // offset from the origin to the edge neighbour
    std::ptrdiff_t face;  // offset from the origin to the face neighbour
    float first;          // the largest fraction (towards the edge neighbour)
    float second;         // the middle one (on towards the face neighbour)
    float third;          // the smallest (on towards the far corner)
};

// tr, tg, tb: the fractions within the cell; r, g, b: the strides of the three axes.
inline Tetrahedron tetrahedron(float tr, float tg, float tb, std::ptrdiff_t r, std::ptrdiff_t g,
                               std::ptrdiff_t b)
{
    if (tr > tg) {
        if (tg > tb)
            return {r, r + g, tr, tg, tb};
        if (tr > tb)
            return {r, r + b, tr, tb, tg};
        return {b, b + r, tb, tr, tg};
    }
    if (tb > tg)
        return {b, b + g, tb, tg, tr};
    if (tb > tr)
        return {g, g + b, tg, tb, tr};
    return {g, g + r, tg, tr, tb};
}

}  // namespace lumivert
