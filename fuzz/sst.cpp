// The shared string table reader: an SST body and its CONTINUE pieces.
// The first byte chooses the piece size, so splits land everywhere; what
// was read is written again and must read back to the same texts.
#include "SrcXLS/model/SST.h"
#include "SrcXLS/XLSDefs.h"

#include <cstdint>
#include <cstdlib>
#include <vector>

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 1) return 0;
    size_t pieceSize = 1 + size_t(data[0]) * 33;
    std::vector<std::vector<uint8_t>> pieces;
    for (size_t at = 1; at < size; at += pieceSize)
        pieces.emplace_back(data + at, data + std::min(size, at + pieceSize));
    if (pieces.empty()) pieces.emplace_back();
    xls::TXFonts fonts;
    for (int i = 0; i < 3; ++i) fonts.Add()->Height = 220 + 20 * i;
    xls::TSST2 sst(&fonts);
    try {
        sst.ParseSST(pieces);
    } catch (const xls::XLSError&) {
        return 0;
    }
    for (int i = 0; i < sst.ReadCount(); ++i) sst.AddUse(sst.GetEntry(i));
    sst.EndRead();
    std::vector<uint8_t> image = sst.BuildSST(0);
    std::vector<std::vector<uint8_t>> again;
    for (size_t at = 0; at + 4 <= image.size();) {
        uint16_t id = uint16_t(image[at] | (image[at + 1] << 8));
        size_t len = size_t(image[at + 2] | (image[at + 3] << 8));
        if (id != xls::BIFF_EXTSST)
            again.emplace_back(image.begin() + long(at + 4), image.begin() + long(at + 4 + len));
        at += 4 + len;
    }
    xls::TSST2 back(&fonts);
    back.ParseSST(again);
    if (size_t(back.ReadCount()) != sst.Count()) std::abort();
    return 0;
}
