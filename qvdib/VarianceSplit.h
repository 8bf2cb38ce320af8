// The weighted variance split shared by the colour reductions: a box of colours
// is cut at the mean of the component with the largest weighted variance, the
// upper part first, until every path is MaxDepth levels deep; each non-empty
// leaf becomes one palette entry, the rounded mean of its colours.
#pragma once

#include "qvdib/DIBTypes.h"

#include <cstddef>
#include <cstdint>
#include <span>
#include <utility>

// One weighted colour: a histogram cell or a source palette entry. Once the
// split has reached its leaf, Count holds the palette index of that leaf.
struct TWeightedColor {
    std::int32_t Red;
    std::int32_t Green;
    std::int32_t Blue;
    std::int32_t Count;
    std::int32_t Key; // the cell number or source palette index it stands for
};

enum class SplitAxis : std::uint8_t { Red = 0, Green = 1, Blue = 2 };

// Exact weight, component sums and sums of squares of a box (red, green, blue).
// 64 bits hold them for every image a DIB can describe: at most 2^31 pixels of
// squares up to 65025.
struct ColorSums {
    std::int64_t Weight = 0;
    std::int64_t Sum[3]{};
    std::int64_t Squares[3]{};

    void Add(int red, int green, int blue, std::int64_t weight)
    {
        Weight += weight;
        AddComponent(0, red, weight);
        AddComponent(1, green, weight);
        AddComponent(2, blue, weight);
    }
    ColorSums operator-(const ColorSums& part) const;

private:
    void AddComponent(int c, std::int64_t value, std::int64_t weight)
    {
        Sum[c] += value * weight;
        Squares[c] += value * value * weight;
    }
};

// The axis of a non-empty box: weighted variances 3 x red, 4 x green and
// 2 x blue, computed in extended precision; ties go to red, then green.
SplitAxis ChooseSplitAxis(const ColorSums& sums);
// The largest component value that lies at or below the box mean on the axis,
// i.e. that goes to the lower part. Exact: value <= mean exactly when
// value * weight <= sum.
int LowerLimit(const ColorSums& sums, SplitAxis axis);
// The palette entry of a leaf: each mean to the nearest integer, halves to even.
RGBQUAD LeafColor(const ColorSums& sums);

// The palette that the split builds, and the progress steps it reports: one
// per leaf position, 2^maxDepth in all, whether the leaf is empty or not.
class SplitPalette {
public:
    SplitPalette(const TQvProgressProc& progress, int maxDepth) : progress_(progress), maxDepth_(maxDepth) {}

    int MaxDepth() const { return maxDepth_; }
    int Count() const { return count_; }
    // Appends the leaf's colour and returns its index.
    std::uint8_t AddLeaf(const ColorSums& sums);
    // The steps of the leaf positions below an empty box at this depth.
    void SkipEmptyBox(int depth) const;
    void Step() const;
    // biClrUsed and the front of the colour table; later entries stay as they are.
    void CopyInto(TQvDIBInfos& destination) const;

private:
    const TQvProgressProc& progress_;
    int maxDepth_;
    int count_ = 0;
    RGBQUAD entries_[kMaxPaletteSize]{};
};

// Partitions [start, stop) in place from both ends: a low cursor moves up over
// lower items, a high cursor down over upper ones, and the two items where they
// stop are swapped whole, until the cursors meet. onLower sees every item that
// ends in the lower part. Returns the first index of the upper part.
template <class Item, class IsUpper, class OnLower>
std::size_t PartitionTwoCursor(Item* items, std::size_t start, std::size_t stop, IsUpper isUpper, OnLower onLower)
{
    std::size_t low = start;
    std::size_t high = stop;
    for (;;) {
        while (low < high && !isUpper(items[low]))
            onLower(items[low++]);
        while (low < high && isUpper(items[high - 1]))
            --high;
        if (low >= high)
            return low;
        std::swap(items[low], items[high - 1]);
        onLower(items[low++]);
        --high;
    }
}

// The recursive split over the items of a box type. Box provides:
//   Item, Item* Items(), static int Component(const Item&, SplitAxis),
//   static void AddTo(ColorSums&, const Item&),
//   void Leaf(start, stop, node, index), void Split(node, axis, lowerLimit),
//   int UpperChild(node), int LowerChild(node) (asked when that child's turn comes).
template <class Box>
void SplitBox(Box& box, std::size_t start, std::size_t stop, const ColorSums& sums, int depth, int node,
              SplitPalette& palette)
{
    if (start == stop) {
        palette.SkipEmptyBox(depth);
        return;
    }
    if (depth == palette.MaxDepth()) {
        box.Leaf(start, stop, node, palette.AddLeaf(sums));
        palette.Step();
        return;
    }
    const SplitAxis axis = ChooseSplitAxis(sums);
    const int limit = LowerLimit(sums, axis);
    box.Split(node, axis, limit);
    ColorSums lower;
    const std::size_t border = PartitionTwoCursor(
        box.Items(), start, stop, [axis, limit](const auto& item) { return Box::Component(item, axis) > limit; },
        [&lower](const auto& item) { Box::AddTo(lower, item); });
    SplitBox(box, border, stop, sums - lower, depth + 1, box.UpperChild(node), palette);
    SplitBox(box, start, border, lower, depth + 1, box.LowerChild(node), palette);
}

// Moves the entries with a Count above 0 to the front, keeping their order;
// returns how many there are.
std::size_t CompactUsedColors(std::span<TWeightedColor> entries);
// Splits the weighted colours into the palette; each entry's Count becomes the
// index of its leaf.
void DivideWeightedColors(std::span<TWeightedColor> entries, SplitPalette& palette);
