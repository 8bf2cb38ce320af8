#include "qvdib/VarianceSplit.h"

#include <algorithm>
#include <cmath>

namespace {

// Mean and variance of one component in extended precision, from the exact
// sums: the axis choice depends on the very roundings of this computation, so
// it is done in one fixed order.
long double Mean(const ColorSums& sums, int c)
{
    return static_cast<long double>(sums.Sum[c]) / static_cast<long double>(sums.Weight);
}

long double Variance(const ColorSums& sums, int c)
{
    const long double mean = Mean(sums, c);
    return static_cast<long double>(sums.Squares[c]) / static_cast<long double>(sums.Weight) - mean * mean;
}

// nearbyintl rounds halves to even in the default rounding mode, which the
// library never changes.
std::uint8_t RoundedMean(const ColorSums& sums, int c)
{
    return static_cast<std::uint8_t>(std::nearbyintl(Mean(sums, c)));
}

// The weighted-colour box of DivideWeightedColors: no tree, leaves store their
// index in Count.
struct WeightedBox {
    using Item = TWeightedColor;
    std::span<TWeightedColor> entries;

    Item* Items() const { return entries.data(); }
    static int Component(const Item& item, SplitAxis axis)
    {
        switch (axis) {
        case SplitAxis::Red: return item.Red;
        case SplitAxis::Green: return item.Green;
        default: return item.Blue;
        }
    }
    static void AddTo(ColorSums& sums, const Item& item) { sums.Add(item.Red, item.Green, item.Blue, item.Count); }
    void Leaf(std::size_t start, std::size_t stop, int, std::uint8_t index) const
    {
        for (std::size_t i = start; i < stop; ++i)
            entries[i].Count = index;
    }
    void Split(int, SplitAxis, int) const {}
    int UpperChild(int) const { return 0; }
    int LowerChild(int) const { return 0; }
};

} // namespace

ColorSums ColorSums::operator-(const ColorSums& part) const
{
    ColorSums rest = *this;
    rest.Weight -= part.Weight;
    for (int c = 0; c < 3; ++c) {
        rest.Sum[c] -= part.Sum[c];
        rest.Squares[c] -= part.Squares[c];
    }
    return rest;
}

SplitAxis ChooseSplitAxis(const ColorSums& sums)
{
    const long double red = 3 * Variance(sums, 0);
    const long double green = 4 * Variance(sums, 1);
    const long double blue = 2 * Variance(sums, 2);
    if (red >= green && red >= blue)
        return SplitAxis::Red;
    return green >= blue ? SplitAxis::Green : SplitAxis::Blue;
}

int LowerLimit(const ColorSums& sums, SplitAxis axis)
{
    // Sums and weights are never negative, so the division truncates to the floor.
    return static_cast<int>(sums.Sum[static_cast<int>(axis)] / sums.Weight);
}

RGBQUAD LeafColor(const ColorSums& sums)
{
    return RGBQUAD{RoundedMean(sums, 2), RoundedMean(sums, 1), RoundedMean(sums, 0), 0};
}

std::uint8_t SplitPalette::AddLeaf(const ColorSums& sums)
{
    entries_[count_] = LeafColor(sums);
    return static_cast<std::uint8_t>(count_++);
}

void SplitPalette::SkipEmptyBox(int depth) const
{
    for (int i = 0; i < 1 << (maxDepth_ - depth); ++i)
        Step();
}

void SplitPalette::Step() const
{
    if (progress_)
        progress_();
}

void SplitPalette::CopyInto(TQvDIBInfos& destination) const
{
    destination.Header.biClrUsed = static_cast<std::uint32_t>(count_);
    std::copy_n(entries_, count_, destination.ColorTable);
}

std::size_t CompactUsedColors(std::span<TWeightedColor> entries)
{
    std::size_t used = 0;
    for (const TWeightedColor& e : entries)
        if (e.Count > 0)
            entries[used++] = e;
    return used;
}

void DivideWeightedColors(std::span<TWeightedColor> entries, SplitPalette& palette)
{
    ColorSums sums;
    for (const TWeightedColor& e : entries)
        WeightedBox::AddTo(sums, e);
    WeightedBox box{entries};
    SplitBox(box, 0, entries.size(), sums, 0, 0, palette);
}
