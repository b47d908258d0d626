// A goods-group CSV file as the import reads it: its lines, each parsed under
// every combination of the CSV options; every group taken, exported again,
// reads back the same.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "exchange/CsvOptions.h"
#include "exchange/GroupCsvLine.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::string_view text(reinterpret_cast<const char*>(data), size);
    // A UTF-8 file is refused whole; it is told from any bytes.
    (void)exchange::IsUtf8Text(text, true);
    for (std::string_view line : exchange::SplitTextLines(text)) {
        for (int bits = 0; bits < 48; ++bits) {
            console::CsvOptionsRecord options;
            options.Delimiter = exchange::DelimiterOfItem(bits % 3);
            options.Quotes = (bits / 3) & 1;
            options.Cp866 = (bits / 6) & 1;
            options.LRBlanks = (bits / 12) & 1;
            options.IgnoreEmptyLines = (bits / 24) & 1;
            exchange::GroupLine parsed = exchange::ParseGroupCsvLine(line, options);
            // A name the register gets is whole: no NUL byte would cut it.
            if (parsed.kind == exchange::GroupLineKind::Group &&
                (parsed.number < 1 || parsed.number > 100 || parsed.name.size() > 20 ||
                 parsed.name.find('\0') != std::string::npos))
                __builtin_trap();
            // The export of the group reads back as the same group.
            if (parsed.kind == exchange::GroupLineKind::Group && !options.Cp866) {
                const std::string exported =
                    std::to_string(parsed.number) + options.Delimiter +
                    exchange::CsvFieldText(parsed.name, options.Delimiter, options.Quotes);
                exchange::GroupLine again = exchange::ParseGroupCsvLine(exported, options);
                if (again.kind != exchange::GroupLineKind::Group || again.number != parsed.number ||
                    again.name != parsed.name)
                    __builtin_trap();
            }
        }
    }
    return 0;
}
