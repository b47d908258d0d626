// The CSV goods reader: a file under every set of CSV options, every answer.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/CsvOptions.h"
#include "goods_run.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size < 2) return 0;
    // First byte: the run (see Run); second: delimiter and options.
    fuzzgoods::Run r(data[0]);
    const uint8_t o = data[1];
    console::CsvOptionsRecord options;
    options.Delimiter = ";,\t"[o % 3];
    options.Cp866 = (o & 0x04) != 0;
    options.Quotes = (o & 0x08) != 0;
    options.LRBlanks = (o & 0x10) != 0;
    options.IgnoreEmptyLines = (o & 0x20) != 0;
    const std::string_view file(reinterpret_cast<const char*>(data + 2), size - 2);
    (void)exchange::IsUtf8Text(file, true);
    bool done = exchange::ReadGoodsCsv(r.run, file, options);
    r.Check();
    for (const GoodsProg& g : r.goods)
        if (g.payoutOperation > 3 || (g.weighed != 0 && g.weighed != -1)) __builtin_trap();
    (void)done;
    return 0;
}
