#include "qvdib/ReduceHigh.h"

#include "qvdib/ConversionFrame.h"
#include "qvdib/QvDIBErrors.h"
#include "qvdib/ReductionWork.h"
#include "qvdib/VarianceSplit.h"

#include <cstring>
#include <string>
#include <string_view>

namespace {

constexpr std::uint8_t kLeafNode = 3; // DivideID of a leaf; 0, 1, 2 split on red, green, blue
// A split numbers two children for each non-empty box above the leaf depth:
// at most 2^9 - 1 nodes for a depth of 8.
constexpr std::int32_t kMaxNodes = 512;

// One node of the split tree. Instead of the box mean itself it keeps the
// largest component value that the split sent to the lower side, which for
// whole-number components is the same test.
struct TDivideNode {
    std::uint8_t DivideID;
    std::uint8_t LowerLimit;
    std::uint8_t ColorIndex;
    std::int32_t LowerNode;
    std::int32_t UpperNode;
};

struct TDivideTree {
    std::int32_t NodeCount = 1; // node 0 is the root
    TDivideNode Nodes[kMaxNodes]{};
};

// The box type of the split over the packed pixels: every pixel weighs 1, and
// each box writes its node of the tree.
struct PixelBox {
    using Item = RGBTRIPLE;
    RGBTRIPLE* pixels;
    TDivideTree& tree;

    Item* Items() const { return pixels; }
    static int Component(const Item& p, SplitAxis axis)
    {
        switch (axis) {
        case SplitAxis::Red: return p.rgbtRed;
        case SplitAxis::Green: return p.rgbtGreen;
        default: return p.rgbtBlue;
        }
    }
    static void AddTo(ColorSums& sums, const Item& p) { sums.Add(p.rgbtRed, p.rgbtGreen, p.rgbtBlue, 1); }
    void Leaf(std::size_t, std::size_t, int node, std::uint8_t index) const
    {
        tree.Nodes[node] = TDivideNode{kLeafNode, 0, index, 0, 0};
    }
    void Split(int node, SplitAxis axis, int lowerLimit) const
    {
        tree.Nodes[node] = TDivideNode{static_cast<std::uint8_t>(axis), static_cast<std::uint8_t>(lowerLimit), 0, 0, 0};
    }
    int UpperChild(int node) const { return tree.Nodes[node].UpperNode = NewNode(); }
    int LowerChild(int node) const { return tree.Nodes[node].LowerNode = NewNode(); }
    int NewNode() const
    {
        QvAssert(tree.NodeCount < kMaxNodes, "BuildDivideTree: Too Many Nodes");
        return tree.NodeCount++;
    }
};

// Packs every pixel, row after row in storage order, splits them into the tree
// and the palette; the pixel list is freed on every path.
void MakeTrueColorDivideTree(const TQvDIBInfos& source, SplitPalette& palette, TDivideTree& tree)
{
    const std::size_t width = static_cast<std::size_t>(source.Header.biWidth);
    const std::size_t rows = static_cast<std::size_t>(DIBRows(source.Header));
    const std::size_t stride = static_cast<std::size_t>(DIBStride(24, source.Header.biWidth));
    const auto pixels = UninitialisedWork<RGBTRIPLE>(width * rows);
    for (std::size_t y = 0; y < rows; ++y)
        std::memcpy(pixels.get() + y * width, source.Bits + y * stride, width * sizeof(RGBTRIPLE));
    ColorSums sums;
    for (std::size_t i = 0; i < width * rows; ++i)
        PixelBox::AddTo(sums, pixels[i]);
    PixelBox box{pixels.get(), tree};
    SplitBox(box, 0, width * rows, sums, 0, 0, palette);
}

// Walks from the root to the pixel's leaf: exactly maxDepth steps in a tree
// built above, so a longer walk means the tree is broken.
std::uint8_t WalkDivideTree(const TDivideTree& tree, const std::uint8_t* bgr, int maxDepth)
{
    std::int32_t n = 0;
    for (int step = 0; step <= maxDepth; ++step) {
        const TDivideNode& node = tree.Nodes[n];
        if (node.DivideID == kLeafNode)
            return node.ColorIndex;
        QvAssert(node.DivideID < kLeafNode, "WalkDivideTree: Invalid DivideID");
        n = bgr[2 - node.DivideID] <= node.LowerLimit ? node.LowerNode : node.UpperNode;
    }
    QvAssert(false, "WalkDivideTree: No Leaf Reached");
    return 0;
}

void ConvertTrueColorHigh(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                          const TQvProgressProc& progress, int bitCount, std::string_view routine)
{
    if (source.Header.biBitCount != 24)
        throw EQvDIBBadDIBType(std::string(routine) + ": Invalid Bitcount");
    CheckSourcePixels(source, routine);
    PixelBuffer memory(ConvertedImageSize(source, bitCount), useFMO);
    const int maxDepth = bitCount; // 2^depth leaves: 256 entries for 8 bits, 16 for 4
    SplitPalette palette(progress, maxDepth);
    TDivideTree tree;
    MakeTrueColorDivideTree(source, palette, tree);
    // Neighbouring pixels often share a colour; the last walk is remembered.
    std::uint32_t lastColor = UINT32_MAX;
    std::uint8_t lastIndex = 0;
    WriteIndexRows(source, memory.Bits(), bitCount, [&](const std::uint8_t* row, std::int64_t x) {
        const std::uint8_t* p = row + 3 * x;
        const std::uint32_t color = std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16;
        if (color != lastColor) {
            lastColor = color;
            lastIndex = WalkDivideTree(tree, p, maxDepth);
        }
        return lastIndex;
    });
    FinishConversion(source, destination, memory, bitCount);
    palette.CopyInto(destination);
}

} // namespace

void ConvertTrueColorTo8BitRGBHigh(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                   const TQvProgressProc& progress)
{
    ConvertTrueColorHigh(source, destination, useFMO, progress, 8, "ConvertTrueColorTo8BitRGBHigh");
}

void ConvertTrueColorTo4BitRGBHigh(const TQvDIBInfos& source, TQvDIBInfos& destination, bool useFMO,
                                   const TQvProgressProc& progress)
{
    ConvertTrueColorHigh(source, destination, useFMO, progress, 4, "ConvertTrueColorTo4BitRGBHigh");
}
