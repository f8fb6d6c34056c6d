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

// tr, tg, tb: the fractions within the cell; r, g, b: the strides of the three axes. Without
// branches: on photos with noise the order of the fractions is random, and mispredicted branches
// would cost more than the lookup itself.
inline Tetrahedron tetrahedron(float tr, float tg, float tb, std::ptrdiff_t r, std::ptrdiff_t g,
                               std::ptrdiff_t b)
{
    // The axes from largest fraction to smallest, one row per tetrahedron.
    static constexpr int order[6][3] = {{0, 1, 2}, {0, 2, 1}, {2, 0, 1},
                                        {2, 1, 0}, {1, 2, 0}, {1, 0, 2}};
    const int redOverGreen = tr > tg;
    const int greenOverBlue = tg > tb;
    const int redOverBlue = tr > tb;
    const int blueOverGreen = tb > tg;
    const int blueOverRed = tb > tr;
    // Red above green: rows 0 (then green above blue), 1 (red above blue), 2. Else rows 3 (blue
    // above green), 4 (blue above red), 5.
    const int redFirst = (1 - greenOverBlue) * (2 - redOverBlue);
    const int otherwise = 3 + (1 - blueOverGreen) * (2 - blueOverRed);
    const int* axes = order[redOverGreen * redFirst + (1 - redOverGreen) * otherwise];
    const float fraction[3] = {tr, tg, tb};
    const std::ptrdiff_t stride[3] = {r, g, b};
    return {stride[axes[0]], stride[axes[0]] + stride[axes[1]], fraction[axes[0]],
            fraction[axes[1]], fraction[axes[2]]};
}

}  // namespace lumivert
