// A goods import run for the fuzz targets: answers from the input's first
// byte, and the checks every accepted row must pass.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "exchange/GoodsImport.h"
#include "platform/ui/Ui.h"

namespace fuzzgoods {

struct Run {
    // Bit 0: kind 4; bit 1: always Yes, else Yes and No by turns; bits 2-3:
    // the register's table size (5269, 1, 0, 65535).
    explicit Run(uint8_t control)
        : run(
              kSizes[(control >> 2) & 3], (control & 1) != 0, goods, dupCheck,
              [this, control](const std::string&, const std::string&, unsigned) {
                  return (control & 2) != 0 || (++asked & 1) != 0 ? platform::IdYes : platform::IdNo;
              },
              [] { return false; }) {}

    // Every accepted row has a duplicate-check entry and values the record holds.
    void Check() const {
        if (goods.size() != dupCheck.size()) __builtin_trap();
        for (std::size_t i = 0; i < goods.size(); ++i) {
            const GoodsProg& g = goods[i];
            if (g.group < 1 || g.group > 100 || g.tax > 4) __builtin_trap();
            if (g.plu != dupCheck[i].Plu || g.barcode != dupCheck[i].Barcode) __builtin_trap();
            if (!g.IsComplete() || g.Name().find('\0') != std::string_view::npos) __builtin_trap();
        }
    }

    static constexpr uint16_t kSizes[4] = {5269, 1, 0, 65535};
    std::vector<GoodsProg> goods;
    std::vector<exchange::GoodsDupCheckRecord> dupCheck;
    int asked = 0;
    exchange::GoodsImportRun run;
};

} // namespace fuzzgoods
